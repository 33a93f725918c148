#pragma once
// The three commands of korvalo. Each returns the process exit status.
#include "cli/cli_options.h"
#include "session/recovery_result.h"

// The exit statuses are the session's results.
constexpr int CLI_EXIT_OK = SESSION_OK;
constexpr int CLI_EXIT_USAGE = SESSION_BAD_REQUEST;
constexpr int CLI_EXIT_CANNOT_OPEN = SESSION_CANNOT_OPEN;
constexpr int CLI_EXIT_STOPPED = SESSION_STOPPED;
constexpr int CLI_EXIT_SOME_FAILED = SESSION_SOME_FAILED;
constexpr int CLI_EXIT_REFUSED = SESSION_REFUSED;
constexpr int CLI_EXIT_NO_WORK_FOLDER = SESSION_NO_WORK_FOLDER;

int RunDisksCommand(const CLI_OPTIONS& options);
int RunScanCommand(const CLI_OPTIONS& options);  // scan and recover

// From the SIGINT handler: the scan stops at its next report, a recovery after the file in
// progress.
void RequestStop();
