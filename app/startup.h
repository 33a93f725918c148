#pragma once
// Start-up of the window program. It reads raw devices, so the instance a user starts only asks
// for administrator rights and starts a second instance of itself with them and the single
// argument "start"; that one runs the window.
#include <functional>
#include <string>
#include <vector>

enum STARTUP_ACTION {
    STARTUP_RUN_WINDOW,           // exactly one argument: this is the privileged instance
    STARTUP_RELAUNCH_DIRECTLY,    // already root: start the privileged instance without asking
    STARTUP_RELAUNCH_THROUGH_PKEXEC,
};

STARTUP_ACTION DecideStartup(int argc, bool bRunningAsRoot);

// The pkexec command that starts strExecutable with "start" as root. pkexec clears the
// environment, so what a window needs to reach the user's display is handed over through env(1):
// DISPLAY, XAUTHORITY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR, where getEnv knows them.
std::vector<std::string> PkexecCommand(const std::string& strExecutable,
                                       const std::function<const char*(const char*)>& getEnv);

// Carries out a relaunch: replaces this process by the privileged instance when root, else runs
// pkexec and waits for it. Returns the exit status for this instance: always 0; when pkexec is
// missing or the user refuses, one line on stderr says why.
int RelaunchElevated(STARTUP_ACTION eAction, const std::string& strExecutable);

// Removes the preview files ("tmp." anywhere in the name) of szFolder, never following a link.
// 1 when the folder could be listed, 0 otherwise.
int DeleteTmpFile(const char* szFolder);
