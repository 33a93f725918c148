#include "util/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {
struct SinkSlot {
    DEBUG_SINK pSink = nullptr;
    void* pParam = nullptr;
};
// Installed once by the front end before any worker thread starts.
SinkSlot g_sink;
}  // namespace

DEBUG_SINK SetDebugSink(DEBUG_SINK pSink, void* pParam) {
    DEBUG_SINK pOld = g_sink.pSink;
    g_sink.pSink = pSink;
    g_sink.pParam = pParam;
    return pOld;
}

void DebugLog(const char* szFormat, ...) {
    if (g_sink.pSink == nullptr || szFormat == nullptr) return;
    char szSmall[512];
    va_list args;
    va_start(args, szFormat);
    va_list argsCopy;
    va_copy(argsCopy, args);
    int nLen = vsnprintf(szSmall, sizeof(szSmall), szFormat, args);
    va_end(args);
    if (nLen < 0) {
        va_end(argsCopy);
        return;
    }
    if (static_cast<size_t>(nLen) < sizeof(szSmall)) {
        va_end(argsCopy);
        g_sink.pSink(g_sink.pParam, szSmall);
        return;
    }
    std::string strLine(static_cast<size_t>(nLen) + 1, '\0');
    vsnprintf(&strLine[0], strLine.size(), szFormat, argsCopy);
    va_end(argsCopy);
    strLine.resize(static_cast<size_t>(nLen));
    g_sink.pSink(g_sink.pParam, strLine.c_str());
}
