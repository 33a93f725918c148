#include "util/app_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex g_overrideMutex;
std::string g_strOverride;

std::string WithSlash(std::string strFolder) {
    if (!strFolder.empty() && strFolder.back() != '/') strFolder += '/';
    return strFolder;
}

std::string NonEmptyEnv(const char* szName) {
    const char* szValue = getenv(szName);
    return szValue != nullptr ? std::string(szValue) : std::string();
}

}  // namespace

std::string rsb_getConfiguredAppFolder() {
    const std::string strHome = NonEmptyEnv("KORVALO_HOME");
    if (!strHome.empty()) return WithSlash(strHome);
    if (geteuid() == 0) return KORVALO_ROOT_APP_FOLDER;
    // Only absolute locations count, as the XDG rules say.
    const std::string strState = NonEmptyEnv("XDG_STATE_HOME");
    if (!strState.empty() && strState[0] == '/') return WithSlash(strState) + "korvalo/";
    const std::string strUserHome = NonEmptyEnv("HOME");
    if (!strUserHome.empty() && strUserHome[0] == '/') return WithSlash(strUserHome) + ".local/state/korvalo/";
    return std::string();
}

void rsb_setAppFolderOverride(const std::string& strFolder) {
    std::lock_guard<std::mutex> lock(g_overrideMutex);
    g_strOverride = WithSlash(strFolder);
}

std::string rsb_getAppFolder() {
    {
        std::lock_guard<std::mutex> lock(g_overrideMutex);
        if (!g_strOverride.empty()) return g_strOverride;
    }
    return rsb_getConfiguredAppFolder();
}

std::string rsb_getScanLogFolder() {
    const std::string strFolder = rsb_getAppFolder();
    return strFolder.empty() ? std::string() : strFolder + "ScanLog/";
}

int rsb_makeDirs(const std::string& strPath, unsigned int nMode) {
    if (strPath.empty()) return EINVAL;
    for (size_t nPos = 1; nPos <= strPath.size(); ++nPos) {
        if (nPos != strPath.size() && strPath[nPos] != '/') continue;
        std::string strPrefix = strPath.substr(0, nPos);
        if (mkdir(strPrefix.c_str(), static_cast<mode_t>(nMode)) != 0 && errno != EEXIST) return errno;
    }
    struct stat st;
    if (stat(strPath.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int rsb_createAppFolders() {
    // 0755: root writes here, so nobody else may plant files or links.
    const std::string strScanLog = rsb_getScanLogFolder();
    if (strScanLog.empty()) return ENOENT;
    return rsb_makeDirs(strScanLog, 0755);
}
