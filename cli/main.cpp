// korvalo: the command line of the recovery engine.
#include <signal.h>

#include <cstdio>
#include <string>

#include "cli/cli_commands.h"
#include "cli/cli_options.h"

namespace {
void OnInterrupt(int) {
    RequestStop();
}
}  // namespace

int main(int argc, char** argv) {
    CLI_OPTIONS options;
    std::string strError;
    if (!ParseCommandLine(argc, argv, options, strError)) {
        fprintf(stderr, "korvalo: %s\n%s", strError.c_str(), GetUsageText());
        return CLI_EXIT_USAGE;
    }
    if (options.eCommand == CLI_COMMAND_HELP) {
        fputs(GetUsageText(), stdout);
        return CLI_EXIT_OK;
    }
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    if (options.eCommand == CLI_COMMAND_DISKS) return RunDisksCommand(options);
    return RunScanCommand(options);
}
