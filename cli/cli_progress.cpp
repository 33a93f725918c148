#include "cli/cli_progress.h"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "util/format.h"
#include "util/rsb.h"

namespace {
// Redrawing more often than this only costs terminal time.
constexpr unsigned long long REDRAW_INTERVAL_MS = 100;
}

CProgressLine::CProgressLine(bool bEnabled) : m_bEnabled(bEnabled && isatty(STDERR_FILENO) == 1) {}

void CProgressLine::Update(int nProgress, int nPercent, int nRemainSecond, unsigned long long u64Done,
                          unsigned long long u64Total, unsigned long long u64Found) {
    if (!m_bEnabled) return;
    unsigned long long u64Now = static_cast<unsigned long long>(rsb_getTickCount());
    int nBar = std::min(100, std::max(0, nProgress * nPercent / 100));
    if (m_bDrawn && nBar < 100 && u64Now - m_u64LastDrawMs < REDRAW_INTERVAL_MS) return;
    m_u64LastDrawMs = u64Now;
    std::string strLeft = nRemainSecond < 0 ? std::string("estimating") : GetTimeString(nRemainSecond) + " left";
    if (nBar >= 100) strLeft = "done";
    fprintf(stderr, "\r\033[K[%3d%%] %llu/%llu sectors, %llu files found, %s", nBar, u64Done, u64Total, u64Found,
            strLeft.c_str());
    fflush(stderr);
    m_bDrawn = true;
}

void CProgressLine::Finish() {
    if (m_bEnabled && m_bDrawn) fputc('\n', stderr);
    m_bDrawn = false;
}
