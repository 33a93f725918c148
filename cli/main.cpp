// korvalo: the command line of the recovery engine.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/cli_commands.h"
#include "cli/cli_options.h"

namespace {

volatile sig_atomic_t g_nInterrupts = 0;

// Only async-signal-safe calls here: write, _exit and an atomic store.
void OnInterrupt(int) {
    if (++g_nInterrupts >= 2) {
        static const char s_szQuit[] = "\nkorvalo: quitting at once\n";
        (void)!write(STDERR_FILENO, s_szQuit, sizeof(s_szQuit) - 1);
        _exit(130);
    }
    static const char s_szStop[] = "\nkorvalo: stopping; what was found is kept (press Ctrl-C again to quit at once)\n";
    (void)!write(STDERR_FILENO, s_szStop, sizeof(s_szStop) - 1);
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
    if (options.eCommand == CLI_COMMAND_FORGET) return RunForgetCommand(options);
    return RunScanCommand(options);
}
