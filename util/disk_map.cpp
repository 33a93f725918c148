#include "util/disk_map.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_overrideLock;
std::vector<std::string> g_vecOverride;

bool StartsWith(const std::string& str, const char* szPrefix) {
    return str.compare(0, strlen(szPrefix), szPrefix) == 0;
}

bool AllDigits(const std::string& str, size_t nFrom) {
    if (nFrom >= str.size()) return false;
    return std::all_of(str.begin() + static_cast<long>(nFrom), str.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// nvme0n1 is a namespace (a whole disk); nvme0n1p1 would be a partition.
bool IsNvmeNamespace(const std::string& strName) {
    if (!StartsWith(strName, "nvme")) return false;
    size_t nPos = strName.find('n', 4);
    if (nPos == std::string::npos) return false;
    std::string strController = strName.substr(4, nPos - 4);
    return AllDigits(strController, 0) && AllDigits(strName, nPos + 1);
}

bool IsLetters(const std::string& str, size_t nFrom) {
    if (nFrom >= str.size()) return false;
    return std::all_of(str.begin() + static_cast<long>(nFrom), str.end(),
                       [](char c) { return c >= 'a' && c <= 'z'; });
}

bool IsWholeDiskName(const std::string& strSysBlockDir, const std::string& strName) {
    if (StartsWith(strName, "xvd")) return IsLetters(strName, 3);
    if (StartsWith(strName, "sd") || StartsWith(strName, "hd") || StartsWith(strName, "vd"))
        return IsLetters(strName, 2);
    if (StartsWith(strName, "mmcblk")) return AllDigits(strName, 6);
    if (IsNvmeNamespace(strName)) return true;
    if (StartsWith(strName, "loop") && AllDigits(strName, 4)) {
        // Only loop devices that are attached to something.
        std::string strBacking = strSysBlockDir + "/" + strName + "/loop/backing_file";
        return access(strBacking.c_str(), F_OK) == 0;
    }
    return false;
}

// Length of the family prefix of a disk named by letters (sd, hd, vd, xvd), else 0.
size_t LetterDiskPrefix(const std::string& strName) {
    if (StartsWith(strName, "xvd") && IsLetters(strName, 3)) return 3;
    if ((StartsWith(strName, "sd") || StartsWith(strName, "hd") || StartsWith(strName, "vd")) &&
        IsLetters(strName, 2))
        return 2;
    return 0;
}

// Version order keeps loop2 before loop10. The kernel names the 27th disk sdaa, after sdz, so
// within one letter family a shorter suffix comes first; strverscmp alone would put sdaa before sdb.
bool DiskNameLess(const std::string& a, const std::string& b) {
    size_t nPrefixA = LetterDiskPrefix(a);
    size_t nPrefixB = LetterDiskPrefix(b);
    if (nPrefixA != 0 && nPrefixA == nPrefixB && a.compare(0, nPrefixA, b, 0, nPrefixB) == 0 &&
        a.size() != b.size())
        return a.size() < b.size();
    return strverscmp(a.c_str(), b.c_str()) < 0;
}

std::vector<std::string> SplitColonList(const char* szList) {
    std::vector<std::string> vecPaths;
    std::string strItem;
    for (const char* p = szList;; ++p) {
        if (*p == ':' || *p == '\0') {
            if (!strItem.empty()) vecPaths.push_back(strItem);
            strItem.clear();
            if (*p == '\0') break;
        } else {
            strItem += *p;
        }
    }
    return vecPaths;
}

}  // namespace

std::vector<std::string> ListWholeDisks(const std::string& strSysBlockDir) {
    std::vector<std::string> vecNames;
    DIR* pDir = opendir(strSysBlockDir.c_str());
    if (pDir == nullptr) return vecNames;
    while (dirent* pEntry = readdir(pDir)) {
        std::string strName = pEntry->d_name;
        if (strName == "." || strName == "..") continue;
        if (IsWholeDiskName(strSysBlockDir, strName)) vecNames.push_back(strName);
    }
    closedir(pDir);
    std::sort(vecNames.begin(), vecNames.end(), DiskNameLess);
    std::vector<std::string> vecPaths;
    for (const std::string& strName : vecNames) vecPaths.push_back("/dev/" + strName);
    return vecPaths;
}

void rsb_setDiskList(const std::vector<std::string>& vecPaths) {
    std::lock_guard<std::mutex> guard(g_overrideLock);
    g_vecOverride = vecPaths;
}

std::vector<std::string> rsb_getDiskList() {
    {
        std::lock_guard<std::mutex> guard(g_overrideLock);
        if (!g_vecOverride.empty()) return g_vecOverride;
    }
    const char* szEnv = getenv("KORVALO_DISKS");
    if (szEnv != nullptr) return SplitColonList(szEnv);
    return ListWholeDisks("/sys/block");
}

bool rsb_getDiskPath(int nDiskNo, std::string& strPath) {
    if (nDiskNo < 0 || nDiskNo >= KORVALO_MAX_DISKS) return false;
    std::vector<std::string> vecPaths = rsb_getDiskList();
    if (static_cast<size_t>(nDiskNo) >= vecPaths.size()) return false;
    strPath = vecPaths[static_cast<size_t>(nDiskNo)];
    return true;
}

int rsb_openDisk(int nDiskNo) {
    std::string strPath;
    if (!rsb_getDiskPath(nDiskNo, strPath)) {
        errno = ENXIO;
        return -1;
    }
    int hDisk;
    do {
        hDisk = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    } while (hDisk < 0 && errno == EINTR);
    return hDisk;
}
