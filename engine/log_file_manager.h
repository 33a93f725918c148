#pragma once
// The scan-log folder and its catalogue. Every scan writes its result stores into a numbered
// sub-folder of the scan-log folder; the catalogue file "config" remembers, per scanned area,
// where the sweep got to and which sub-folder holds the stores, so a later scan of the same
// area on the unchanged source can continue (or, when it was finished, simply reuse them)
// instead of starting over.
//
// Each device scan's folder also holds "Source", the source's path, so the scans of one source
// can be found and bounded: the catalogue keeps the most recent KEEP_SCANS_PER_SOURCE scans of
// a source and KEEP_SCANS_IN_ALL scans in all; older ones are forgotten with their folders.
//
// "config": an unsigned 64-bit little-endian folder counter, then 592-byte _LOG_FILE_INFO_
// records back to back. It is always replaced whole through "config.tmp".
//
// One process-wide instance. Used by one thread at a time (jobs never overlap); no locking.
#include <cstddef>
#include <string>
#include <vector>

#include "engine/log_file_info.h"

class CLogFileManager {
public:
    static constexpr size_t KEEP_SCANS_PER_SOURCE = 4;
    static constexpr size_t KEEP_SCANS_IN_ALL = 32;

    // The fingerprint of the source at a device path (util/source_identity.h); 0 when unknown.
    typedef unsigned long long (*FINGERPRINT_PROBE)(const char* szDevicePath);

    // The instance, created (and its catalogue loaded) on first use.
    static CLogFileManager& GetInstance();

    CLogFileManager(const CLogFileManager&) = delete;
    CLogFileManager& operator=(const CLogFileManager&) = delete;

    // Forgets all state, takes the scan-log folder of the current application folder and loads
    // its catalogue. When "config" is missing but "config.tmp" is a regular file, an interrupted
    // save is completed first. Returns 0; 87 when "config" cannot be opened, is not a regular
    // file, is empty or shorter than the counter; 30 when the file ended while being read; or
    // the errno of a failed read. On any failure the manager holds no records and counter 0.
    int Init();

    // The folder for the current scan's stores, ending with "/": the saved scan's folder while
    // one is being continued, else the scan-log folder plus the folder counter. Returns 0, or
    // ENAMETOOLONG (szOut empty) when it does not fit in nCapacity bytes; 87 for a null szOut.
    int GetLogFileDirPath(char* szOut, size_t nCapacity = LOG_FILE_PATH_SIZE) const;

    // Starts a new numbered folder for a fresh scan: the counter goes up by one, continuing a
    // saved scan ends, and any leftover folder of that number (and its record) is removed. The
    // folder itself is created by the first store that opens in it.
    void AddDirIndex();
    // Takes back the last AddDirIndex (a scan that ends without a catalogue record). Stays at 0.
    void ReduceDirIndex();

    // Copies into szOut (which must hold LOG_FILE_PATH_SIZE bytes) the smallest name, in byte
    // order, among the entries of szFolder that contain szPrefix. A store's name sorts before
    // its "_DirInfo" and "_Relation" companions, so the store itself is found. szOut is left as
    // it was when nothing matches. Returns 0.
    int GetLogFileNameByFileType(const char* szFolder, const char* szPrefix, char* szOut) const;

    // Records a scan's state and rewrites the catalogue. The record of the same disk and area
    // that names szLogDir is updated (its fingerprint too: this scan's stores belong to it) and
    // becomes the most recent; otherwise a new record is appended. A new device scan supersedes
    // the older scans of the same source and area, whose folders are deleted; then the bounds are
    // applied. An image scan (szImagePath not empty) always appends, without a fingerprint.
    // szDevicePath is the disk's node path; null or empty means the disk map's path of nDiskNo.
    // While reuse-only is set nothing changes and 0 is returned.
    // Returns 0, 87 for a null szLogDir, ENAMETOOLONG when a path does not fit its field, or the
    // error of writing the catalogue.
    int SaveLogFileInfo(const char* szDevicePath, int nDiskNo, unsigned long long u64StartSector,
                        unsigned long long u64SectorCount, unsigned long long u64RunStartSector,
                        unsigned long long u64RunSectorCount, unsigned long long u64RunOffset,
                        unsigned long long u64SweptSectorCount, unsigned long long u64FindFileCount,
                        const char* szLogDir, const char* szImagePath);

    // Returns 1 and copies the record to pOut (when not null) when a saved scan of exactly this
    // disk and area, with the source's current fingerprint, names one of our scan folders (the
    // most recent such); GetLogFileDirPath then answers that folder. While reuse-only is set the
    // copy says nothing is left to sweep. Otherwise returns 0 and continuing a saved scan ends;
    // records of a changed source are kept until a new scan of theirs supersedes them.
    int LoadRecoveryLogInfo(const char* szDevicePath, int nDiskNo, unsigned long long u64StartSector,
                            unsigned long long u64SectorCount, _LOG_FILE_INFO_* pOut);

    // Forgets every saved scan of the source at szSourcePath (compared as CanonicalSourcePath)
    // with its folder, and rewrites the catalogue. nForgotten receives how many. 0 or the first
    // error.
    int ForgetSource(const char* szSourcePath, size_t& nForgotten);

    // While set, a saved scan is used as it stands: not swept further, its record not changed.
    void SetReuseOnly(bool bReuseOnly) { m_bReuseOnly = bReuseOnly; }

    // The source a record was made from: the image path, or the path in its folder's "Source"
    // note; empty when unknown.
    std::string SourceOf(const _LOG_FILE_INFO_& info) const;

    // Forgets the first record naming szFolder (ignoring ASCII case; the catalogue file is
    // rewritten only by the next save) and deletes the folder with everything in it. Only a
    // numbered folder directly inside the scan-log folder is ever deleted; symbolic links are
    // removed, never followed. Returns 0 (also when there was nothing to delete), or the errno
    // of the first entry that could not be removed.
    int DeleteLogFileDir(const char* szFolder);

    // Writes the catalogue to "config.tmp" and renames it over "config", so "config" is always
    // either the old or the new catalogue. Returns 0 or the errno of the failing call; on
    // failure "config" is untouched and no "config.tmp" is left behind.
    int SaveLogConfigFile();

    // The fingerprint stored in (u64FreeSpace) and compared with records: the probe's answer for
    // the device path (the disk map's path of nDiskNo when szDevicePath is null or empty).
    unsigned long long GetSourceFingerprint(const char* szDevicePath, int nDiskNo) const;
    // Replaces the fingerprint probe (null restores the default, SourceFingerprint).
    void SetFingerprintProbe(FINGERPRINT_PROBE pProbe);

    // Read-only views of the state.
    const std::vector<_LOG_FILE_INFO_>& GetLogFileInfos() const { return m_vecLogFileInfo; }
    unsigned long long GetDirIndex() const { return m_u64DirIndex; }
    const std::string& GetBaseDirPath() const { return m_strBaseDir; }

private:
    CLogFileManager();
    ~CLogFileManager() = default;

    int LoadConfigFile();
    // The device path of a scan: szDevicePath, or the disk map's path of nDiskNo.
    std::string DevicePathOf(const char* szDevicePath, int nDiskNo) const;
    // Index of the most recent record of this disk and area with this fingerprint, or -1.
    int FindLogFileInfo(int nDiskNo, unsigned long long u64StartSector, unsigned long long u64SectorCount,
                        unsigned long long u64Fingerprint) const;
    // Index of the record of this disk and area naming szFolder, or -1.
    int FindRecordOfFolder(int nDiskNo, unsigned long long u64StartSector, unsigned long long u64SectorCount,
                           const char* szFolder) const;
    // Writes the "Source" note into one of our scan folders (made when missing).
    void WriteSourceNote(const char* szFolder, const std::string& strSource) const;
    // Forgets the scans the newest record (the last) supersedes or pushes over a bound.
    void ApplyBounds(bool bSupersede);
    // Forgets record nIndex; deletes its folder too unless it is szKeepFolder.
    void ForgetLogFileInfo(size_t nIndex, const char* szKeepFolder);
    // Deletes szFolder when it is one of our numbered scan folders. 0 or errno.
    int RemoveScanFolder(const char* szFolder) const;
    // The numbered folder name when szFolder is base + digits (+ "/"), else empty.
    std::string OwnScanFolderName(const char* szFolder) const;
    void ClearExplicitDir();

    std::vector<_LOG_FILE_INFO_> m_vecLogFileInfo;  // the catalogue, in file order
    std::string m_strBaseDir;                       // the scan-log folder, ending with "/"
    unsigned long long m_u64DirIndex = 0;           // number of the current scan folder
    int m_bUseExplicitDir = 0;                      // set while a saved scan is continued
    std::string m_strExplicitDir;                   // that scan's folder
    bool m_bReuseOnly = false;
    FINGERPRINT_PROBE m_pFingerprintProbe;
};
