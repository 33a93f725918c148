#pragma once
// Reading back the contents of a file an NTFS engine found: saving files and whole folder trees,
// previewing, and the first-bytes health test. Both NTFS engines own one and differ only in how
// they read a node's record, which they lend through INtfsFileDataSource.
#include <deque>
#include <string>
#include <vector>

#include "engine/file_node.h"
#include "engine/recovery_parse.h"
#include "ntfs/run_list.h"

class CDiskReader;

// Bytes of the work buffer every data read goes through; one read asks for at most this much.
constexpr int NTFS_DATA_PIECE_BYTES = 65536;
// Wide characters the preview-path argument of PreView must hold.
constexpr int NTFS_PREVIEW_PATH_CHARS = 256;

class INtfsFileDataSource {
public:
    virtual ~INtfsFileDataSource() = default;
    // The resident $DATA bytes of the node's record (with their alignment padding): 0, -101 when
    // the data are not resident, or the code of a failed record read. pOut holds
    // NTFS_DATA_PIECE_BYTES bytes.
    virtual int ReadNodeResidentData(_FILE_NODE_* pNode, unsigned char* pOut, unsigned int& nLength) = 0;
    // The $DATA run list used to read the file.
    virtual int ReadNodeDataRunList(_FILE_NODE_* pNode, std::vector<__RUNLIST__>& vecRuns) = 0;
    // The $DATA run list used by the health test.
    virtual int ReadNodeHealthRunList(_FILE_NODE_* pNode, std::vector<__RUNLIST__>& vecRuns) = 0;
    // The folder's children at that level (the engine's GetChildrenFileNode).
    virtual int ListNodeChildren(_FILE_NODE_* pParent, unsigned int nLevel, std::vector<_FILE_NODE_>& vecChildren) = 0;
};

class CNtfsFileData {
public:
    CNtfsFileData(INtfsFileDataSource& source, CDiskReader& reader, int nBytesPerSector);

    void SetRecoveryCallBack(RECOVERY_CALLBACK pCallBack, void* pParam);

    // A file to pTargetPath, or a folder with everything below it into the folder pTargetPath
    // (nBaseLevel: the "/" count of the destination root). 0, an errno, 30, 87, the record
    // readers' codes, KR_ERROR_DATA_MISSING when the runs end before the file's size, 30 when a
    // sector cannot be read (what came before it is written; GetLastUnreadableSector() names
    // it), or the callback's non-zero answer, which also stops a folder save. A folder gives its
    // first failure.
    int SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel);
    // One node: a folder is made (0755) and queued for SaveFileData's walk; a file's data are
    // written to a new file (0644). Both go through the safe writer (util/safe_writer.h): a name
    // that is taken, or a link in the way, gives a unique name, which the callback is told.
    int SaveDataToTargetFile(_FILE_NODE_* pNode, const wchar_t* pTargetPath);
    // Pictures go to "tmp.<ext>" in the scan-log folder (path returned in pPreviewPath, which
    // must hold NTFS_PREVIEW_PATH_CHARS characters), anything else into pBuf; nBufLen is the
    // capacity on entry and the bytes placed in pBuf on return.
    int PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                PREVIEW_CALLBACK pPreViewCallBack, void* pParam);
    // 1 healthy or not checkable, 0 when the first bytes do not match the file's extension.
    int IsFileDataHealth(_FILE_NODE_* pNode);

private:
    struct SAVE_DIR_ENTRY {
        _FILE_NODE_ node;
        std::wstring strPath;  // the path the queued folder was made under
    };
    // Receives each piece of file data; answers 0 to go on or the code that stops the copy.
    class IPieceSink {
    public:
        // bResident: the piece is the whole resident value (no progress between pieces then).
        virtual int Take(const unsigned char* pData, size_t nLen, unsigned long long u64Remaining, bool bResident) = 0;

    protected:
        ~IPieceSink() = default;
    };

    // Hands at most u64Total bytes of the node's data to sink, resident or through its runs.
    // bResident tells which way was taken.
    int ReadNodeData(_FILE_NODE_* pNode, unsigned long long u64Total, IPieceSink& sink, bool& bResident);
    class CFileSink;
    class CMemorySink;
    int ReadRuns(_FILE_NODE_* pNode, const std::vector<__RUNLIST__>& vecRuns, unsigned long long u64Total,
                 IPieceSink& sink, unsigned char* pBuf);
    // Tells the callback; any non-zero answer is kept as the save's stop answer.
    int ReportRecovery(int nProgress, int nError, const std::wstring& strPath);
    int SaveFileDataToFile(_FILE_NODE_* pNode, const std::wstring& strPath);

    INtfsFileDataSource& m_source;
    CDiskReader& m_diskReader;
    int m_nBytesPerSector;
    RECOVERY_CALLBACK m_pRecoveryCallBack = nullptr;
    void* m_pCallBackParam = nullptr;
    int m_nStopAnswer = 0;  // the callback's first non-zero answer during this save
    std::deque<SAVE_DIR_ENTRY> m_dequeSaveDir;
    std::wstring m_strCurDirPath;
};
