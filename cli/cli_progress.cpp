#include "cli/cli_progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "util/format.h"
#include "util/rsb.h"

namespace {
// Redrawing more often than this only costs terminal time.
constexpr unsigned long long REDRAW_INTERVAL_MS = 100;
}

CProgressLine::CProgressLine(bool bEnabled) : m_bEnabled(bEnabled && isatty(STDERR_FILENO) == 1) {}

void CProgressLine::Draw(int nPercent, int nSecondsLeft, const char* szText) {
    if (!m_bEnabled) return;
    const unsigned long long u64Now = static_cast<unsigned long long>(rsb_getTickCount());
    const int nBar = std::min(100, std::max(0, nPercent));
    if (m_bDrawn && nBar < 100 && u64Now - m_u64LastDrawMs < REDRAW_INTERVAL_MS) return;
    m_u64LastDrawMs = u64Now;
    std::string strLeft = nSecondsLeft < 0 ? std::string("estimating") : GetTimeString(nSecondsLeft) + " left";
    if (nBar >= 100) strLeft = "done";
    fprintf(stderr, "\r\033[K[%3d%%] %s, %s", nBar, szText, strLeft.c_str());
    fflush(stderr);
    m_bDrawn = true;
}

void CProgressLine::ShowScan(int nPercent, int nSecondsLeft, unsigned long long u64SectorsDone,
                             unsigned long long u64SectorsTotal, unsigned long long u64Found) {
    if (!m_bEnabled) return;
    char szText[160];
    snprintf(szText, sizeof(szText), "%llu/%llu sectors, %llu files found", u64SectorsDone, u64SectorsTotal, u64Found);
    Draw(nPercent, nSecondsLeft, szText);
}

void CProgressLine::ShowRecovery(size_t nFile, size_t nFiles, unsigned long long u64BytesDone,
                                 unsigned long long u64BytesTotal, int nSecondsLeft) {
    if (!m_bEnabled) return;
    char szText[200];
    snprintf(szText, sizeof(szText), "file %zu of %zu, %s of %s", nFile + 1, nFiles,
             GetFileSizeString(static_cast<long long>(u64BytesDone)).c_str(),
             GetFileSizeString(static_cast<long long>(u64BytesTotal)).c_str());
    const int nPercent = u64BytesTotal == 0 ? 100 : static_cast<int>(u64BytesDone * 100 / u64BytesTotal);
    Draw(nPercent, nSecondsLeft, szText);
}

void CProgressLine::Finish() {
    if (m_bEnabled && m_bDrawn) fputc('\n', stderr);
    m_bDrawn = false;
}
