#include "cli/same_device.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

std::string WholeDiskOfDevice(unsigned int nMajor, unsigned int nMinor) {
    std::string strLink = "/sys/dev/block/" + std::to_string(nMajor) + ":" + std::to_string(nMinor);
    char szReal[PATH_MAX];
    if (realpath(strLink.c_str(), szReal) == nullptr) return std::string();
    // .../block/<disk> for a whole disk, .../block/<disk>/<partition> for a partition.
    std::string strReal = szReal;
    size_t nPos = strReal.rfind("/block/");
    if (nPos == std::string::npos) return std::string();
    std::string strRest = strReal.substr(nPos + 7);
    return strRest.substr(0, strRest.find('/'));
}

bool IsTargetOnSourceDevice(const std::string& strSource, const std::string& strTargetDir) {
    struct stat stSource;
    if (stat(strSource.c_str(), &stSource) != 0 || !S_ISBLK(stSource.st_mode)) return false;
    std::string strSourceDisk = WholeDiskOfDevice(major(stSource.st_rdev), minor(stSource.st_rdev));

    // The folder may not exist yet: its nearest existing parent decides where it will be.
    std::string strProbe = strTargetDir.empty() ? std::string(".") : strTargetDir;
    struct stat stTarget;
    while (stat(strProbe.c_str(), &stTarget) != 0) {
        size_t nSlash = strProbe.find_last_of('/');
        if (nSlash == std::string::npos) {
            strProbe = ".";
        } else if (nSlash == 0) {
            strProbe = "/";
        } else {
            strProbe.resize(nSlash);
        }
        if (stat(strProbe.c_str(), &stTarget) == 0) break;
        if (strProbe == "/" || strProbe == ".") return false;
    }
    if (stTarget.st_dev == stSource.st_rdev) return true;
    std::string strTargetDisk = WholeDiskOfDevice(major(stTarget.st_dev), minor(stTarget.st_dev));
    return !strSourceDisk.empty() && strSourceDisk == strTargetDisk;
}
