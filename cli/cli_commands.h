#pragma once
// The commands of korvalo. Each returns the process exit status.
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
constexpr int CLI_EXIT_UNREADABLE = SESSION_UNREADABLE;

int RunDisksCommand(const CLI_OPTIONS& options);
int RunScanCommand(const CLI_OPTIONS& options);  // scan and recover
int RunForgetCommand(const CLI_OPTIONS& options);

// From the first SIGINT's handler: the running step (scan or recovery) stops at its next report.
void RequestStop();
