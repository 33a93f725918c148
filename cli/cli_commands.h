#pragma once
// The three commands of korvalo. Each returns the process exit status.
#include "cli/cli_options.h"

constexpr int CLI_EXIT_OK = 0;
constexpr int CLI_EXIT_USAGE = 1;
constexpr int CLI_EXIT_CANNOT_OPEN = 2;
constexpr int CLI_EXIT_STOPPED = 3;
constexpr int CLI_EXIT_SOME_FAILED = 4;

int RunDisksCommand(const CLI_OPTIONS& options);
int RunScanCommand(const CLI_OPTIONS& options);  // scan and recover

// Set from the SIGINT handler: the scan stops at its next report, a recovery after the file in
// progress.
void RequestStop();
