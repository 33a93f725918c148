#pragma once
// One sink for every engine debug line. The window program routes it to its log,
// the command line to stderr when asked, tests capture it or drop it.

typedef void (*DEBUG_SINK)(void* pParam, const char* szLine);

// Installs the sink (null drops every line). Returns the previous one.
DEBUG_SINK SetDebugSink(DEBUG_SINK pSink, void* pParam);

// printf-style; the formatted line is handed to the sink as it stands (lines carry their own "\n").
void DebugLog(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
