#include "app/startup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "util/debug_log.h"

namespace {
// pkexec's exit status when the user dismissed the dialog or was not authorised.
constexpr int PKEXEC_DISMISSED = 126;
constexpr int PKEXEC_NOT_AUTHORISED = 127;
// What the privileged instance needs to reach the user's display, and the disks the user named
// (pkexec starts it with a clean environment; an administrator's password is asked either way).
const char* const PASSED_VARIABLES[] = {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "KORVALO_DISKS"};
constexpr const char* PRIVILEGED_ARGUMENT = "start";

std::vector<char*> ArgumentVector(std::vector<std::string>& vecArgs) {
    std::vector<char*> vecArgv;
    for (std::string& str : vecArgs) vecArgv.push_back(&str[0]);
    vecArgv.push_back(nullptr);
    return vecArgv;
}
}  // namespace

STARTUP_ACTION DecideStartup(int argc, bool bRunningAsRoot) {
    if (argc == 2) return STARTUP_RUN_WINDOW;
    return bRunningAsRoot ? STARTUP_RELAUNCH_DIRECTLY : STARTUP_RELAUNCH_THROUGH_PKEXEC;
}

std::vector<std::string> PkexecCommand(const std::string& strExecutable,
                                       const std::function<const char*(const char*)>& getEnv) {
    std::vector<std::string> vecArgs = {"pkexec", "env"};
    for (const char* szName : PASSED_VARIABLES) {
        const char* szValue = getEnv(szName);
        if (szValue != nullptr && szValue[0] != '\0') vecArgs.push_back(std::string(szName) + "=" + szValue);
    }
    vecArgs.push_back(strExecutable);
    vecArgs.push_back(PRIVILEGED_ARGUMENT);
    return vecArgs;
}

int RelaunchElevated(STARTUP_ACTION eAction, const std::string& strExecutable) {
    if (eAction == STARTUP_RELAUNCH_DIRECTLY) {
        std::vector<std::string> vecArgs = {strExecutable, PRIVILEGED_ARGUMENT};
        std::vector<char*> vecArgv = ArgumentVector(vecArgs);
        execv(strExecutable.c_str(), vecArgv.data());
        fprintf(stderr, "korvalo-gui: cannot start %s: %s\n", strExecutable.c_str(), strerror(errno));
        return 0;
    }
    std::vector<std::string> vecArgs = PkexecCommand(strExecutable, [](const char* szName) { return getenv(szName); });
    std::vector<char*> vecArgv = ArgumentVector(vecArgs);
    const pid_t pid = fork();
    if (pid < 0) {
        fprintf(stderr, "korvalo-gui: cannot ask for administrator rights: %s\n", strerror(errno));
        return 0;
    }
    if (pid == 0) {
        execvp("pkexec", vecArgv.data());
        _exit(PKEXEC_NOT_AUTHORISED + 1);  // pkexec itself is missing
    }
    int nStatus = 0;
    while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    const int nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    if (nExit == PKEXEC_NOT_AUTHORISED + 1)
        fputs("korvalo-gui: pkexec is missing (install policykit-1), so it cannot read disks; run it as root\n", stderr);
    else if (nExit == PKEXEC_DISMISSED || nExit == PKEXEC_NOT_AUTHORISED)
        fputs("korvalo-gui: administrator rights were refused, and without them no disk can be read\n", stderr);
    return 0;
}

int DeleteTmpFile(const char* szFolder) {
    if (szFolder == nullptr) return 0;
    const int hFolder = open(szFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (hFolder < 0) return 0;
    DIR* pDir = fdopendir(hFolder);
    if (pDir == nullptr) {
        close(hFolder);
        DebugLog("open dir failed\n");
        return 0;
    }
    while (struct dirent* pEntry = readdir(pDir)) {
        if (strstr(pEntry->d_name, "tmp.") == nullptr) continue;
        // Relative to the folder itself: a link planted in its place cannot redirect the removal.
        unlinkat(dirfd(pDir), pEntry->d_name, 0);
    }
    closedir(pDir);
    return 1;
}
