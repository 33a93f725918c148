#include "session/same_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/btrfs.h>
#include <linux/magic.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>

namespace {

// Deeper than any real stack; loop devices over files on loop devices must still end somewhere.
constexpr int MAX_STACK_DEPTH = 32;
// sysfs attributes are one page at most.
constexpr size_t MAX_SYSFS_TEXT = 4096;
const char MOUNT_INFO_PATH[] = "/proc/self/mountinfo";

// File systems whose files live in memory: nothing written there reaches a disk.
const char* const MEMORY_FS_TYPES[] = {"tmpfs", "ramfs", "devtmpfs"};
// File systems whose files live on another machine.
const char* const NETWORK_FS_TYPES[] = {"nfs",        "nfs4",        "cifs",      "smb3",           "smbfs",
                                        "ncpfs",      "afs",         "ceph",      "glusterfs",      "lustre",
                                        "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.glusterfs", "fuse.davfs"};

template <size_t N>
bool IsOneOf(const std::string& str, const char* const (&arrNames)[N]) {
    for (const char* szName : arrNames)
        if (str == szName) return true;
    return false;
}

// One piece of storage that bytes end up on: a whole disk, or one file (an image, a loop
// device's backing file) known by its identity.
struct STORAGE_LEAF {
    bool bFile;
    dev_t dev;  // the disk; for a file, the file system holding it
    ino_t ino;  // 0 for a disk
    // How the side reaches it, for the user: "dm-0 over loop0 over the file /a.img".
    std::string strRoute;
    // The leaf is the side itself (the disk or image named), not something below it.
    bool bSelf;
};

std::vector<std::string> Split(const std::string& strText, char cSeparator) {
    std::vector<std::string> vecParts;
    size_t nStart = 0;
    for (;;) {
        size_t nEnd = strText.find(cSeparator, nStart);
        vecParts.push_back(strText.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart));
        if (nEnd == std::string::npos) return vecParts;
        nStart = nEnd + 1;
    }
}

bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }

// The kernel writes a space as \040, a backslash as \134 and so on.
std::string UnescapeOctal(const std::string& strText) {
    std::string strOut;
    for (size_t i = 0; i < strText.size(); ++i) {
        if (strText[i] == '\\' && i + 3 < strText.size() && IsOctalDigit(strText[i + 1]) &&
            IsOctalDigit(strText[i + 2]) && IsOctalDigit(strText[i + 3])) {
            int nValue = (strText[i + 1] - '0') * 64 + (strText[i + 2] - '0') * 8 + (strText[i + 3] - '0');
            if (nValue <= 0xFF) {
                strOut.push_back(static_cast<char>(nValue));
                i += 3;
                continue;
            }
        }
        strOut.push_back(strText[i]);
    }
    return strOut;
}

bool ParseUnsigned(const std::string& strText, unsigned int& nValue) {
    if (strText.empty()) return false;
    nValue = 0;
    for (char c : strText) {
        if (c < '0' || c > '9') return false;
        unsigned int nDigit = static_cast<unsigned int>(c - '0');
        if (nValue > (UINT_MAX - nDigit) / 10) return false;
        nValue = nValue * 10 + nDigit;
    }
    return true;
}

bool ParseMajorMinor(const std::string& strText, unsigned int& nMajor, unsigned int& nMinor) {
    size_t nColon = strText.find(':');
    if (nColon == std::string::npos) return false;
    return ParseUnsigned(strText.substr(0, nColon), nMajor) && ParseUnsigned(strText.substr(nColon + 1), nMinor);
}

bool ReadSmallFile(const std::string& strPath, std::string& strText) {
    int fd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char szBuffer[MAX_SYSFS_TEXT];
    ssize_t nRead = read(fd, szBuffer, sizeof(szBuffer));
    close(fd);
    if (nRead < 0) return false;
    strText.assign(szBuffer, static_cast<size_t>(nRead));
    if (!strText.empty() && strText.back() == '\n') strText.pop_back();
    return true;
}

bool Exists(const std::string& strPath) { return access(strPath.c_str(), F_OK) == 0; }

std::string CanonicalPath(const std::string& strPath) {
    char* szReal = realpath(strPath.c_str(), nullptr);
    if (szReal == nullptr) return std::string();
    std::string strReal = szReal;
    free(szReal);
    return strReal;
}

std::vector<std::string> ListFolder(const std::string& strPath) {
    std::vector<std::string> vecNames;
    DIR* pDir = opendir(strPath.c_str());
    if (pDir == nullptr) return vecNames;
    while (const dirent* pEntry = readdir(pDir)) {
        if (strcmp(pEntry->d_name, ".") != 0 && strcmp(pEntry->d_name, "..") != 0) vecNames.push_back(pEntry->d_name);
    }
    closedir(pDir);
    return vecNames;
}

std::string BaseName(const std::string& strPath) { return strPath.substr(strPath.find_last_of('/') + 1); }

std::string DeviceNumberText(dev_t dev) { return std::to_string(major(dev)) + ":" + std::to_string(minor(dev)); }

// The folder does not have to exist yet: its nearest existing parent tells where it will be.
std::string NearestExistingPath(const std::string& strPath) {
    std::string strProbe = strPath.empty() ? std::string(".") : strPath;
    struct stat st;
    while (stat(strProbe.c_str(), &st) != 0 && strProbe != "/" && strProbe != ".") {
        while (strProbe.size() > 1 && strProbe.back() == '/') strProbe.pop_back();
        size_t nSlash = strProbe.find_last_of('/');
        if (nSlash == std::string::npos)
            strProbe = ".";
        else
            strProbe.resize(nSlash == 0 ? 1 : nSlash);
    }
    return strProbe;
}

// Gathers the storage leaves below one side. Reading a source asks what its bytes are; writing a
// folder also asks where writes into a file (a loop device's backing file) land on the disk.
class CStorageResolver {
public:
    CStorageResolver(const std::string& strSysRoot, bool bWriting) : m_strSysRoot(strSysRoot), m_bWriting(bWriting) {}

    const std::vector<STORAGE_LEAF>& Leaves() const { return m_vecLeaves; }
    // The first part that could not be resolved; empty when everything was.
    const std::string& Unresolved() const { return m_strUnresolved; }

    void AddBlockDevice(dev_t dev, const std::string& strPrefix, int nDepth) {
        std::string strDir = CanonicalPath(m_strSysRoot + "/dev/block/" + DeviceNumberText(dev));
        if (strDir.empty()) return Fail("no entry for block device " + DeviceNumberText(dev) + " in " + m_strSysRoot);
        AddSysfsBlock(strDir, strPrefix, nDepth);
    }

    void AddFile(const struct stat& st, const std::string& strPath, const std::string& strPrefix, int nDepth) {
        std::string strRoute = strPrefix + "the file " + strPath;
        m_vecLeaves.push_back({true, st.st_dev, st.st_ino, strRoute, strPrefix.empty()});
        // Writes into the file land on the file system holding it.
        if (m_bWriting) AddFileSystemOf(strPath, strRoute + " on ", nDepth + 1);
    }

    void AddFileSystemOf(const std::string& strPath, const std::string& strPrefix, int nDepth) {
        if (nDepth > MAX_STACK_DEPTH)
            return Fail("stacked more than " + std::to_string(MAX_STACK_DEPTH) + " levels deep");
        struct stat st;
        if (stat(strPath.c_str(), &st) != 0) return Fail(strPath + ": " + strerror(errno));
        struct statfs fs;
        // btrfs gives every subvolume its own device number, which no block device and not
        // even mountinfo knows.
        if (statfs(strPath.c_str(), &fs) == 0 && fs.f_type == BTRFS_SUPER_MAGIC)
            return AddBtrfs(strPath, st, strPrefix, nDepth);
        if (Exists(m_strSysRoot + "/dev/block/" + DeviceNumberText(st.st_dev)))
            return AddBlockDevice(st.st_dev, strPrefix, nDepth);

        const MOUNT_INFO_ENTRY* pMount = FindMount(st.st_dev, strPath);
        if (pMount == nullptr) return Fail("no mount entry for " + strPath);
        const std::string& strType = pMount->strFsType;
        if (IsOneOf(strType, MEMORY_FS_TYPES) || IsOneOf(strType, NETWORK_FS_TYPES)) return;
        if (strType == "overlay") {
            std::vector<std::string> vecLayers = ParseOverlayLayers(pMount->strSuperOptions);
            // Without an upper folder nothing can be written there at all.
            if (vecLayers.empty()) return;
            for (const std::string& strLayer : vecLayers)
                AddFileSystemOf(strLayer, strPrefix + "overlay folder " + strLayer + " on ", nDepth + 1);
            return;
        }
        // A FUSE file system (ntfs-3g, exfat-fuse) over an image file or a device.
        struct stat stSource;
        if ((strType == "fuse" || strType == "fuseblk" || strType.compare(0, 5, "fuse.") == 0) &&
            !pMount->strSource.empty() && pMount->strSource[0] == '/' &&
            stat(pMount->strSource.c_str(), &stSource) == 0) {
            if (S_ISBLK(stSource.st_mode))
                return AddBlockDevice(stSource.st_rdev, strPrefix + strType + " over ", nDepth + 1);
            if (S_ISREG(stSource.st_mode))
                return AddFile(stSource, pMount->strSource, strPrefix + strType + " over ", nDepth + 1);
        }
        Fail("file system " + strType);
    }

private:
    void Fail(const std::string& strWhy) {
        if (m_strUnresolved.empty()) m_strUnresolved = strWhy;
    }

    void AddSysfsBlock(const std::string& strDir, const std::string& strPrefix, int nDepth) {
        std::string strName = DeviceLabel(strDir);
        if (nDepth > MAX_STACK_DEPTH)
            return Fail("stacked more than " + std::to_string(MAX_STACK_DEPTH) + " levels deep");
        if (m_setOnPath.count(strDir) != 0) return Fail(strName + " is stacked on itself");
        if (!m_setDone.insert(strDir).second) return;  // reached before through another member
        m_setOnPath.insert(strDir);
        std::vector<std::string> vecSlaves = ListFolder(strDir + "/slaves");
        if (Exists(strDir + "/partition")) {
            // A partition counts as its whole disk.
            AddSysfsBlock(strDir.substr(0, strDir.find_last_of('/')), strPrefix + strName + " on disk ", nDepth + 1);
        } else if (Exists(strDir + "/loop/backing_file")) {
            AddLoopDevice(strDir, strName, strPrefix, nDepth);
        } else if (!vecSlaves.empty()) {
            // device-mapper (LVM, dm-crypt) and md RAID list the devices they are made of.
            for (const std::string& strSlave : vecSlaves) {
                std::string strSlaveDir = CanonicalPath(strDir + "/slaves/" + strSlave);
                if (strSlaveDir.empty())
                    Fail("cannot follow " + strName + " to " + strSlave);
                else
                    AddSysfsBlock(strSlaveDir, strPrefix + strName + " over ", nDepth + 1);
            }
        } else {
            AddDiskLeaf(strDir, strPrefix + strName, strPrefix.empty());
        }
        m_setOnPath.erase(strDir);
    }

    void AddLoopDevice(const std::string& strDir, const std::string& strName, const std::string& strPrefix,
                       int nDepth) {
        // The loop device itself is a leaf too, so that it matches even when its file is gone.
        AddDiskLeaf(strDir, strPrefix + strName, strPrefix.empty());
        std::string strBacking;
        struct stat st;
        if (!ReadSmallFile(strDir + "/loop/backing_file", strBacking) || strBacking.empty() ||
            stat(strBacking.c_str(), &st) != 0)
            return Fail("the backing file " + strBacking + " of " + strName + " is not found");
        if (S_ISBLK(st.st_mode)) return AddBlockDevice(st.st_rdev, strPrefix + strName + " over ", nDepth + 1);
        AddFile(st, strBacking, strPrefix + strName + " over ", nDepth + 1);
    }

    void AddDiskLeaf(const std::string& strDir, const std::string& strRoute, bool bSelf) {
        std::string strText;
        dev_t dev;
        if (!ReadSmallFile(strDir + "/dev", strText) || !ParseDeviceNumber(strText, dev))
            return Fail("cannot read " + strDir + "/dev");
        m_vecLeaves.push_back({false, dev, 0, strRoute, bSelf});
    }

    void AddBtrfs(const std::string& strPath, const struct stat& st, const std::string& strPrefix, int nDepth) {
        // Only a folder or a plain file is opened: opening a device node or a pipe could act.
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return Fail("cannot open " + strPath + " on btrfs");
        int fd = open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        btrfs_ioctl_fs_info_args info;
        memset(&info, 0, sizeof(info));
        bool bOk = fd >= 0 && ioctl(fd, BTRFS_IOC_FS_INFO, &info) == 0;
        if (fd >= 0) close(fd);
        if (!bOk) return Fail("cannot ask btrfs about " + strPath);
        std::string strDevices = m_strSysRoot + "/fs/btrfs/" + FormatBtrfsFsid(info.fsid) + "/devices";
        std::vector<std::string> vecMembers = ListFolder(strDevices);
        if (vecMembers.empty()) return Fail("file system btrfs lists no devices in " + strDevices);
        for (const std::string& strMember : vecMembers) {
            std::string strText;
            dev_t dev;
            if (!ReadSmallFile(strDevices + "/" + strMember + "/dev", strText) || !ParseDeviceNumber(strText, dev))
                Fail("cannot read btrfs member " + strMember);
            else
                AddBlockDevice(dev, strPrefix + "btrfs over ", nDepth + 1);
        }
    }

    std::string DeviceLabel(const std::string& strDir) const {
        std::string strName = BaseName(strDir);
        std::string strMapped;
        if (ReadSmallFile(strDir + "/dm/name", strMapped) && !strMapped.empty()) strName += " (" + strMapped + ")";
        return strName;
    }

    // The mount whose device number the path has; else the deepest mount point above the path.
    const MOUNT_INFO_ENTRY* FindMount(dev_t dev, const std::string& strPath) {
        if (!m_bMountsRead) {
            m_bMountsRead = true;
            std::ifstream in(MOUNT_INFO_PATH);
            MOUNT_INFO_ENTRY entry;
            for (std::string strLine; std::getline(in, strLine);)
                if (ParseMountInfoLine(strLine, entry)) m_vecMounts.push_back(entry);
        }
        for (const MOUNT_INFO_ENTRY& entry : m_vecMounts)
            if (makedev(entry.nMajor, entry.nMinor) == dev) return &entry;
        std::string strReal = CanonicalPath(strPath);
        const MOUNT_INFO_ENTRY* pBest = nullptr;
        for (const MOUNT_INFO_ENTRY& entry : m_vecMounts) {
            const std::string& strPoint = entry.strMountPoint;
            bool bAbove = strPoint == "/" || strReal == strPoint ||
                          (strReal.compare(0, strPoint.size(), strPoint) == 0 && strReal[strPoint.size()] == '/');
            // Later entries are mounted over earlier ones at the same point.
            if (bAbove && (pBest == nullptr || strPoint.size() >= pBest->strMountPoint.size())) pBest = &entry;
        }
        return pBest;
    }

    std::string m_strSysRoot;
    bool m_bWriting;
    std::vector<STORAGE_LEAF> m_vecLeaves;
    std::string m_strUnresolved;
    std::set<std::string> m_setDone;
    std::set<std::string> m_setOnPath;
    bool m_bMountsRead = false;
    std::vector<MOUNT_INFO_ENTRY> m_vecMounts;
};

SAME_DEVICE_VERDICT Judge(const CStorageResolver& source, const std::string& strSourceName, bool bSourceIsImage,
                          const CStorageResolver& target, const std::string& strTargetName) {
    for (const STORAGE_LEAF& targetLeaf : target.Leaves()) {
        for (const STORAGE_LEAF& sourceLeaf : source.Leaves()) {
            if (targetLeaf.bFile != sourceLeaf.bFile || targetLeaf.dev != sourceLeaf.dev ||
                targetLeaf.ino != sourceLeaf.ino)
                continue;
            std::string strReason = strTargetName + " is on " + targetLeaf.strRoute;
            if (sourceLeaf.bSelf)
                strReason += bSourceIsImage ? ", the image being read" : ", the device being read";
            else
                strReason += ", and " + strSourceName + " is on " + sourceLeaf.strRoute;
            return {SAME_DEVICE_YES, strReason};
        }
    }
    if (!source.Unresolved().empty())
        return {SAME_DEVICE_CANNOT_TELL,
                "cannot tell which disks hold " + strSourceName + " (" + source.Unresolved() + ")"};
    if (!target.Unresolved().empty())
        return {SAME_DEVICE_CANNOT_TELL,
                "cannot tell which disks hold " + strTargetName + " (" + target.Unresolved() + ")"};
    return {SAME_DEVICE_NO, std::string()};
}

}  // namespace

SAME_DEVICE_VERDICT CheckSameDevice(const std::string& strSource, const std::string& strTargetDir) {
    struct stat st;
    if (stat(strSource.c_str(), &st) != 0)
        return {SAME_DEVICE_CANNOT_TELL, "cannot tell which disks hold " + strSource + " (" + strerror(errno) + ")"};
    CStorageResolver source("/sys", false);
    if (S_ISBLK(st.st_mode))
        source.AddBlockDevice(st.st_rdev, std::string(), 0);
    else if (S_ISREG(st.st_mode))
        source.AddFile(st, strSource, std::string(), 0);
    else
        return {SAME_DEVICE_CANNOT_TELL,
                "cannot tell which disks hold " + strSource + " (neither a device nor a file)"};
    CStorageResolver target("/sys", true);
    target.AddFileSystemOf(NearestExistingPath(strTargetDir), std::string(), 0);
    return Judge(source, strSource, S_ISREG(st.st_mode), target, strTargetDir);
}

SAME_DEVICE_VERDICT CheckSameBlockStorage(dev_t devSource, dev_t devTarget, const std::string& strSysRoot) {
    CStorageResolver source(strSysRoot, false);
    source.AddBlockDevice(devSource, std::string(), 0);
    CStorageResolver target(strSysRoot, true);
    target.AddBlockDevice(devTarget, std::string(), 0);
    return Judge(source, "block device " + DeviceNumberText(devSource), false, target,
                 "block device " + DeviceNumberText(devTarget));
}

bool ParseMountInfoLine(const std::string& strLine, MOUNT_INFO_ENTRY& entry) {
    std::string strText = strLine;
    if (!strText.empty() && strText.back() == '\n') strText.pop_back();
    // id, parent id, MAJOR:MINOR, root, mount point, mount options, optional fields, "-",
    // type, source, super options. An empty source shows as an empty field.
    std::vector<std::string> vecFields = Split(strText, ' ');
    size_t nDash = 6;
    while (nDash < vecFields.size() && vecFields[nDash] != "-") ++nDash;
    unsigned int nId = 0;
    if (nDash + 4 != vecFields.size() || !ParseUnsigned(vecFields[0], nId) || !ParseUnsigned(vecFields[1], nId) ||
        !ParseMajorMinor(vecFields[2], entry.nMajor, entry.nMinor) || vecFields[4].empty() ||
        vecFields[nDash + 1].empty())
        return false;
    entry.strMountPoint = UnescapeOctal(vecFields[4]);
    entry.strFsType = UnescapeOctal(vecFields[nDash + 1]);
    entry.strSource = UnescapeOctal(vecFields[nDash + 2]);
    entry.strSuperOptions = vecFields[nDash + 3];
    return true;
}

std::vector<std::string> ParseOverlayLayers(const std::string& strSuperOptions) {
    std::vector<std::string> vecLayers;
    for (const std::string& strOption : Split(strSuperOptions, ',')) {
        size_t nEquals = strOption.find('=');
        if (nEquals == std::string::npos) continue;
        std::string strKey = strOption.substr(0, nEquals);
        std::string strValue = UnescapeOctal(strOption.substr(nEquals + 1));
        // Writes land in the upper and work folders only; the lower layers are read-only.
        if ((strKey == "upperdir" || strKey == "workdir") && !strValue.empty()) vecLayers.push_back(strValue);
    }
    return vecLayers;
}

bool ParseDeviceNumber(const std::string& strText, dev_t& dev) {
    std::string strNumber = strText;
    if (!strNumber.empty() && strNumber.back() == '\n') strNumber.pop_back();
    unsigned int nMajor = 0;
    unsigned int nMinor = 0;
    if (!ParseMajorMinor(strNumber, nMajor, nMinor)) return false;
    dev = makedev(nMajor, nMinor);
    return true;
}

std::string FormatBtrfsFsid(const unsigned char* pFsid) {
    std::string strText;
    char szByte[3];
    for (int i = 0; i < BTRFS_FSID_SIZE; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) strText.push_back('-');
        snprintf(szByte, sizeof(szByte), "%02x", pFsid[i]);
        strText += szByte;
    }
    return strText;
}
