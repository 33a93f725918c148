#pragma once
// Creating recovered files and folders as root without being led astray by links. The
// destination is opened once; everything below it is reached one component at a time through
// descriptors, never following a link, and files are only ever created new (O_EXCL), so a link
// or file planted in the destination can neither redirect a write nor be overwritten. What is
// created is given to the user who started the program through sudo or pkexec.
#include <sys/types.h>

#include <cstddef>
#include <string>

// Whom created files and folders are given to.
struct RecoveryOwner {
    bool bGive = false;  // false: they stay the process's own
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);  // -1: the group is left alone
};

// The owner from the values of SUDO_UID, SUDO_GID and PKEXEC_UID (null when unset) for a process
// that runs as root (bRoot) or not. Values that are no plain decimal number are ignored. sudo
// wins over pkexec; without a group of its own the user's primary group is taken from the
// password database.
RecoveryOwner RecoveryOwnerFrom(bool bRoot, const char* szSudoUid, const char* szSudoGid, const char* szPkexecUid);
// The same from this process's environment and effective user.
RecoveryOwner RecoveryOwnerFromEnvironment();

class CSafeWriter {
public:
    CSafeWriter();
    ~CSafeWriter();  // closes the root descriptor
    CSafeWriter(const CSafeWriter&) = delete;
    CSafeWriter& operator=(const CSafeWriter&) = delete;

    // Opens the destination folder strRoot once (O_DIRECTORY), creating it and its missing
    // parents 0755 first. The user chose this path, so links in it are followed; nothing below
    // it ever is. Reads the owner from the environment. 0 or errno.
    int Open(const std::string& strRoot);
    bool IsOpen() const { return m_hRoot >= 0; }
    // As given to Open, without a trailing '/' ("/" stays "/").
    const std::string& Root() const { return m_strRoot; }

    // Folders strRelative ("a/b/c"; "..", "." or empty components give EINVAL) below the root,
    // made 0755 where missing. A component that exists as anything but a real folder (a link, a
    // file) is passed by under a unique name: "a(1)", "a(2)", ... strUsed receives the relative
    // path actually used. 0 or errno.
    int MakeFolders(const std::string& strRelative, std::string& strUsed);
    // A new file strRelative (its folders made as by MakeFolders), created 0644 with
    // O_EXCL|O_NOFOLLOW. A name that is taken by anything becomes "name(1).ext", "name(2).ext", ...
    // hFile receives the descriptor (the caller closes it), strUsed the relative path used.
    // 0 or errno (EEXIST when no free name was found).
    int CreateFile(const std::string& strRelative, int& hFile, std::string& strUsed);
    // A file of a fixed name: whatever is there is removed (a link itself, never what it points
    // to; an empty folder), then the file is created as above without renaming. Its folders must
    // be real folders (ENOTDIR otherwise). 0 or errno.
    int ReplaceFile(const std::string& strRelative, int& hFile);
    // Removes the file strRelative (a link itself, never its target). 0 or errno.
    int RemoveFile(const std::string& strRelative);

private:
    enum class FolderRule {
        kPassBy,    // make missing folders; pass anything else by under a unique name
        kStrict,    // make missing folders; anything else is ENOTDIR
        kExisting,  // only walk folders that are there
    };
    // Opens the folders vecParts[0 .. nCount) below the root by rule; hFolder is a descriptor the
    // caller closes, strUsed the relative path used ("" for the root itself).
    int WalkFolders(const std::string* pParts, size_t nCount, FolderRule rule, int& hFolder, std::string& strUsed);
    // Splits strRelative and opens its folder by rule: strName gets the last component, hFolder
    // (closed by the caller) and strFolder as WalkFolders gives them. 0 or errno.
    int OpenParentFolder(const std::string& strRelative, FolderRule rule, std::string& strName, int& hFolder,
                         std::string& strFolder);
    // One step of WalkFolders: the folder strName in hParent.
    int EnterFolder(int hParent, const std::string& strName, FolderRule rule, int& hFolder, std::string& strUsed);
    // Gives what was just created to the owner and sets its mode, whatever the umask.
    void Adopt(int hCreated, mode_t mode) const;
    void Close();

    int m_hRoot = -1;
    std::string m_strRoot;
    RecoveryOwner m_owner;
};

// The writer the running recovery job goes through; the session sets it for the length of a
// job (one job runs at a time). Null when none is set.
void SetActiveRecoveryWriter(CSafeWriter* pWriter);
CSafeWriter* GetActiveRecoveryWriter();

// Makes a writer the active one for a scope and puts the previous one back at its end, also
// when the scope is left early.
class CActiveRecoveryWriterScope {
public:
    explicit CActiveRecoveryWriterScope(CSafeWriter& writer) : m_pPrevious(GetActiveRecoveryWriter()) {
        SetActiveRecoveryWriter(&writer);
    }
    ~CActiveRecoveryWriterScope() { SetActiveRecoveryWriter(m_pPrevious); }
    CActiveRecoveryWriterScope(const CActiveRecoveryWriterScope&) = delete;
    CActiveRecoveryWriterScope& operator=(const CActiveRecoveryWriterScope&) = delete;

private:
    CSafeWriter* m_pPrevious;
};

// What the engines call with the absolute paths they are handed (SaveFileData's target): through
// the active writer when strPath lies below its root, otherwise through a writer opened on
// strPath's parent folder for this one call. strUsedPath receives the path used (it differs when a
// name was taken or a link was passed by). 0 or errno.
int CreateRecoveredFile(const std::string& strPath, int& hFile, std::string& strUsedPath);
int MakeRecoveredFolder(const std::string& strPath, std::string& strUsedPath);

// Writes all nLen bytes to hFile, going on after interruptions and short writes. 0 or errno.
int WriteAll(int hFile, const void* pData, size_t nLen);
