#pragma once
// The progress line of a long scan or recovery on stderr, shown only when stderr is a terminal.
#include <cstddef>

class CProgressLine {
public:
    explicit CProgressLine(bool bEnabled);
    void ShowScan(int nPercent, int nSecondsLeft, unsigned long long u64SectorsDone,
                  unsigned long long u64SectorsTotal, unsigned long long u64Found);
    void ShowRecovery(size_t nFile, size_t nFiles, unsigned long long u64BytesDone,
                      unsigned long long u64BytesTotal, int nSecondsLeft);
    // Ends the line so later output starts on a fresh one.
    void Finish();

private:
    // Draws the text (after the percentage) unless the last drawing is too recent.
    void Draw(int nPercent, int nSecondsLeft, const char* szText);

    bool m_bEnabled;
    bool m_bDrawn = false;
    unsigned long long m_u64LastDrawMs = 0;
};
