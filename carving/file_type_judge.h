#pragma once
// CFileTypeJudge: what the carver knows about file formats. Everything is static: the signature
// tests, the detection walk over the type table, and the judge context that the tests and the
// size rules share. Objects exist only to keep the shared read buffer alive: every engine embeds
// one, and the buffer lives while any of them does.
//
// One thread at a time: the context is plain shared state without locks (scans, previews and
// recoveries run as one job at a time).
#include <vector>

#include "carving/extend_name_type.h"
#include "carving/ts_file_range.h"
#include "engine/recovery_parse.h"

class CDiskReader;

// Size of the read buffer the size walks share.
constexpr int FILE_TYPE_JUDGE_READ_BUF_BYTES = 65536;
// Largest sector size the tests accept; a sector must fit the shared read buffer.
constexpr int FILE_TYPE_JUDGE_MAX_BYTES_PER_SECTOR = FILE_TYPE_JUDGE_READ_BUF_BYTES;

class CFileTypeJudge {
public:
    CFileTypeJudge();
    CFileTypeJudge(const CFileTypeJudge&);
    CFileTypeJudge& operator=(const CFileTypeJudge&) { return *this; }
    ~CFileTypeJudge();

    // Objects alive now (the read buffer exists exactly while this is above 0).
    static int GetInstanceCount();

    // --- detection ---------------------------------------------------------------------------
    // The detection walk: the first answer other than EXT_UNKNOWN of the type table's tests, in
    // table order. Skips tests whose signature cannot start with the buffer's first byte; the
    // answer is always that of GetDataBufTypeInTableOrder.
    static EXTEND_NAME_TYPE GetDataBufType(const unsigned char* pBuf, int nLen);
    // The same walk calling every row's test in turn: the reference the fast walk is held to.
    static EXTEND_NAME_TYPE GetDataBufTypeInTableOrder(const unsigned char* pBuf, int nLen);
    // nFileType of the first row whose extension equals szExt ignoring ASCII case, or EXT_UNKNOWN.
    static EXTEND_NAME_TYPE GetExtendNameType(const char* szExt);
    // 1 when the buffer carries the signature its extension promises, or when no row has that
    // extension; 0 otherwise. Points the judge context at the given reader and sector and turns
    // the transport-stream range check off, so a stream is judged on its own bytes.
    static int IsFileTypeMatching(const unsigned char* pBuf, int nLen, const char* szExt,
                                  CDiskReader* pReader, int nBytesPerSector,
                                  unsigned long long u64StartSector);
    // 1 when the sector holds NTFS, FAT or exFAT metadata rather than file content. Directory
    // sectors are told by the test an engine above carving hands in (SetDirectorySectorTest).
    static int IsFileSystemSector(const unsigned char* pSector, int nLen);
    // The file systems' own directory test (the FAT engines know what a directory sector looks
    // like; carving does not). Null: no sector counts as a directory. Process-wide.
    typedef bool (*PFN_DIRECTORY_SECTOR_TEST)(const unsigned char* pSector, int nLen);
    static void SetDirectorySectorTest(PFN_DIRECTORY_SECTOR_TEST pfnTest) { m_pfnDirectorySectorTest = pfnTest; }

    // --- Office sub-types (read the device through the context) ------------------------------
    // OLE compound file at m_u64CurrentSector: EXT_DOC, EXT_XLS, EXT_PPT, or EXT_OLE when the
    // kind cannot be told (also when the device cannot be read). pHead holds nLen bytes of the
    // file's first sector; the first directory sector number is taken from it.
    static EXTEND_NAME_TYPE GetOffice2003Type(const unsigned char* pHead, int nLen);
    // ZIP package at m_u64CurrentSector: EXT_DOCX, EXT_XLSX or EXT_PPTX when a part name in its
    // first 20 sectors says so, else EXT_UNKNOWN. The buffer is not read.
    static EXTEND_NAME_TYPE GetOffice2007Type(const unsigned char* pBuf, int nLen);
    // The part-name rule: "word" (name of 5+ bytes) gives EXT_DOCX, "ppt" (4+) EXT_PPTX, "xl"
    // (3+) EXT_XLSX, prefixes ignoring ASCII case; anything else EXT_UNKNOWN.
    static EXTEND_NAME_TYPE ReturnFileType(const char* pName, unsigned int nLen);

    // --- signature tests: the type code, or EXT_UNKNOWN; never read past nLen ----------------
    // video
    static EXTEND_NAME_TYPE IsMpgType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsMp4Type(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsRmvbType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsAsfType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsSwfType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsAviType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsFlvType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE Is3pgType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsMkvType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsTsType(const unsigned char* pBuf, int nLen);  // reads the device
    static EXTEND_NAME_TYPE IsMtsType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsMxfType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsMovType(const unsigned char* pBuf, int nLen);
    // IsMovType's answer; failing that, ISO base media by brand: EXT_HEIC, EXT_AVIF, EXT_CR3 or
    // EXT_M4A.
    static EXTEND_NAME_TYPE IsMovOrIsoBrandType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsWebmType(const unsigned char* pBuf, int nLen);
    // audio and pictures
    static EXTEND_NAME_TYPE IsMp3Type(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsMidType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsApeType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsWavType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsMp2Type(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsMmfType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsFlaType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsGifType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsBmpType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsJpgType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsPngType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsPsdType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsTifType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsIcoType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsWebpType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsFlacType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsOggType(const unsigned char* pBuf, int nLen);  // EXT_OGG or EXT_OPUS
    // camera RAW: CR2, NEF, ARW, DNG, ORF, RW2 or PEF in a TIFF container (reads the device
    // when the first directory lies past the buffer), and RAF
    static EXTEND_NAME_TYPE IsCameraRawType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsRafType(const unsigned char* pBuf, int nLen);
    // documents, archives and the rest
    static EXTEND_NAME_TYPE IsOffice2003Type(const unsigned char* pBuf, int nLen);  // reads the device
    static EXTEND_NAME_TYPE IsOffice2007Type(const unsigned char* pBuf, int nLen);  // reads the device
    static EXTEND_NAME_TYPE IsPdfType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsGzipType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE Is7zType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsZipType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsRarType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsCabType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsPeType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsGhoType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsSqlType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsDbxEmailType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsPstEmailType(const unsigned char* pBuf, int nLen);
    static EXTEND_NAME_TYPE IsTtfType(const unsigned char* pBuf, int nLen);

    // --- carving a head sector (parse_file_buf.cpp) -----------------------------------------
    // Sets the judge context for the sector u64StartSector held in pBuf, runs the detection walk
    // and, when a type with a size rule matched, writes "%lld.%s" (start sector, extension of the
    // first row of the detected code) into szName (nNameLen bytes), the code into nType and the
    // rule's answer into u64Size. Returns 0, 87 (nothing carvable, or bad arguments) or -9527
    // (the progress callback stopped the size walk). A rule that answers 0 (nothing
    // usable) gives one sector: a carved file always has its head sector.
    static int ParseFileBuf(const unsigned char* pBuf, int nLen, unsigned long long u64StartSector,
                            unsigned long long u64ScanSectorCount,
                            unsigned long long u64SectorTotalCount, int nRemainSecond,
                            unsigned long long u64FileCount, CDiskReader* pReader,
                            int nBytesPerSector, char* szName, int nNameLen,
                            EXTEND_NAME_TYPE& nType, unsigned long long& u64Size);
    // Installs the callbacks the size walks report through; returns 0.
    static int InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack,
                            void* pParam, int nPercent);

    // --- end searches of the forward walk (forward_walk.cpp) --------------------------------
    // Each examines the chunk sector by sector (nLen / m_nBytesPerSector sectors), advancing
    // m_u64CurrentSector to the sector examined. A sector that starts another known file, or
    // holds file-system metadata, ends the file: u64Size grows by the bytes before that sector
    // and the answer is 1. 0 (u64Size untouched) when no sector of the chunk ends it.
    static int IsEndOfFile(const unsigned char* pBuf, int nLen, unsigned long long& u64Size);
    static int IsEndOfVedioFile(const unsigned char* pBuf, int nLen, unsigned long long& u64Size);
    // As IsEndOfFile, but MPEG pack and sequence headers (code 15) recur inside a stream and do
    // not end it.
    static int IsEndOfMPGFile(const unsigned char* pBuf, int nLen, unsigned long long& u64Size);

    // --- end-marker searches (forward_walk.cpp) ---------------------------------------------
    // A marker counts only when it ends on a sector boundary or the rest of its sector is zero.
    // 1 with u64Offset = the offset just past the marker, else 0.
    // JPEG: only the first FF D9 of the buffer is considered.
    static int GetJPGFileTailOffset(const unsigned char* pBuf, int nLen, unsigned long long& u64Offset);
    // PNG (IEND chunk and its CRC) and GIF (00 3B): the first occurrence that counts.
    static int GetPNGFileTailOffset(const unsigned char* pBuf, int nLen, unsigned long long& u64Offset);
    static int GetGIFFileTailOffset(const unsigned char* pBuf, int nLen, unsigned long long& u64Offset);

    // --- the judge context -------------------------------------------------------------------
    static int m_nBytesPerSector;                    // sector size of the device being carved
    static CDiskReader* m_pDiskReader;               // reader of that device (may be null)
    static unsigned long long m_u64StartSector;      // where the candidate file begins
    static unsigned long long m_u64CurrentSector;    // sector under examination; device reads
                                                     // of the tests are relative to it
    static int m_bIsNeedCheckTsFileRange;            // IsTsType rejects continuations and heads
                                                     // inside carved streams
    static int m_bIsMtsFileHead;                     // the previous carve found an MTS head
    static std::vector<_TS_FILE_RANGE_> m_tsFileRangeVec;  // streams carved in this scan
    static PFN_DIRECTORY_SECTOR_TEST m_pfnDirectorySectorTest;

    // Progress and stop state of the size walks.
    static unsigned long long m_u64ScanSectorCount;
    static unsigned long long m_u64SectorTotalCount;
    static int m_nRemaidSecond;
    static unsigned long long m_u64FileCount;
    static SCAN_CALLBACK m_progressFunc;
    static RECOVERY_CALLBACK m_pRecoveryFunc;
    static void* m_pParam;
    static int m_nPercent;
    // FILE_TYPE_JUDGE_READ_BUF_BYTES bytes while an object exists, else null. The signature
    // tests never use it: the end searches run the detection walk while a size walk holds
    // data here.
    static unsigned char* m_pReadBuf;
    static int m_ErrorCode;

    // Reads nSectorCount sectors of m_nBytesPerSector bytes at u64Sector through the context's
    // reader into pBuf (nBufBytes long). true only when every sector arrived; no reader, an
    // unusable sector size or too small a buffer give false without reading.
    static bool ReadContextSectors(unsigned char* pBuf, int nBufBytes, unsigned long long u64Sector,
                                   int nSectorCount);

private:
    static int sm_nInstanceCount;
};
