#include "util/app_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

std::string rsb_getAppFolder() {
    const char* szHome = getenv("KORVALO_HOME");
    std::string strFolder = (szHome != nullptr && szHome[0] != '\0') ? szHome : KORVALO_DEFAULT_APP_FOLDER;
    if (strFolder.back() != '/') strFolder += '/';
    return strFolder;
}

std::string rsb_getScanLogFolder() {
    return rsb_getAppFolder() + "ScanLog/";
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
    return rsb_makeDirs(rsb_getScanLogFolder(), 0755);
}
