#pragma once
// The progress line of a long scan on stderr, shown only when stderr is a terminal.
#include <cstdio>

class CProgressLine {
public:
    explicit CProgressLine(bool bEnabled);
    // One scan report: the bar shows nProgress x nPercent / 100.
    void Update(int nProgress, int nPercent, int nRemainSecond, unsigned long long u64Done,
                unsigned long long u64Total, unsigned long long u64Found);
    // Ends the line so later output starts on a fresh one.
    void Finish();

private:
    bool m_bEnabled;
    bool m_bDrawn = false;
    unsigned long long m_u64LastDrawMs = 0;
};
