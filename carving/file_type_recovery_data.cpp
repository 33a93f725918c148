// The data of carved files: recovery into a file and preview. A carved file is its size in
// bytes read straight from its head sector on.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>

#include "carving/file_type_recovery.h"
#include "engine/file_categories.h"
#include "util/debug_log.h"
#include "util/path.h"
#include "util/preview_file.h"
#include "util/progress.h"
#include "util/safe_writer.h"
#include "util/text.h"

namespace {

constexpr int CARVED_DATA_CHUNK_BYTES = 65536;
constexpr size_t PREVIEW_PATH_CAPACITY = 256;

// Receives each chunk: the bytes that belong to the file (the last sector cut to the size) and
// how many bytes came before them. Answers 0 to go on, anything else ends the copy with it.
typedef std::function<int(const unsigned char* pData, size_t nLen, unsigned long long u64Before)> CHUNK_SINK;

// Reads u64Bytes of the file that starts at u64FirstSector, chunk by chunk, into pBuf
// (CARVED_DATA_CHUNK_BYTES long). 0, the reader's error, 30 when a sector cannot be read (also
// one past the reader's area; GetLastUnreadableSector() names it), or the sink's answer.
// Sectors that did arrive before a failed read are handed over first.
int ReadCarvedBytes(CDiskReader& reader, int nBytesPerSector, unsigned long long u64FirstSector,
                    unsigned long long u64Bytes, unsigned char* pBuf, const CHUNK_SINK& sink) {
    if (nBytesPerSector <= 0 || nBytesPerSector > CARVED_DATA_CHUNK_BYTES) return KR_ERROR_INVALID_PARAMETER;
    const unsigned long long u64Sector = static_cast<unsigned long long>(nBytesPerSector);
    const unsigned long long u64ChunkSectors = CARVED_DATA_CHUNK_BYTES / u64Sector;
    unsigned long long u64SectorsLeft = u64Bytes / u64Sector + (u64Bytes % u64Sector != 0 ? 1 : 0);
    unsigned long long u64Done = 0;
    unsigned long long u64Next = u64FirstSector;
    while (u64SectorsLeft > 0) {
        if (u64Next > static_cast<unsigned long long>(LLONG_MAX)) return KR_ERROR_INVALID_PARAMETER;
        // Nothing past the area is asked for, so the sectors before its end still arrive.
        const unsigned long long u64End = reader.GetEndSector();
        if (u64Next >= u64End) {
            SetLastUnreadableSector(u64Next);
            return KR_ERROR_READ_FAULT;
        }
        const unsigned long long u64Want = std::min({u64SectorsLeft, u64ChunkSectors, u64End - u64Next});
        unsigned int nGot = 0;
        int nRet = reader.ReadData(pBuf, static_cast<int>(u64Want), static_cast<long long>(u64Next),
                                   nBytesPerSector, &nGot);
        if (nRet != KR_SUCCESS && nRet != KR_ERROR_READ_FAULT) return nRet;
        if (nGot == 0) return KR_ERROR_READ_FAULT;
        const size_t nBytes = static_cast<size_t>(std::min<unsigned long long>(nGot * u64Sector, u64Bytes - u64Done));
        int nAnswer = sink(pBuf, nBytes, u64Done);
        u64Done += nBytes;
        if (nAnswer != 0) return nAnswer;
        if (nRet != KR_SUCCESS) return nRet;
        u64SectorsLeft -= nGot;
        u64Next += nGot;
    }
    return KR_SUCCESS;
}

// The lower-case extension of a carved name when it is a picture type, else empty.
std::string PictureExtension(const char* szFileName) {
    char szExt[KORVALO_PATH_PART_SIZE] = {};
    if (GetExtendName(szFileName, szExt) != 0 || szExt[0] == '\0') return std::string();
    GetCharLowerA(szExt);
    return ListHoldsEntry(szPhotoFileTypeList, szExt) ? std::string(szExt) : std::string();
}

}  // namespace

int CFileTypeRecovery::SaveDataToTargetFile(_FILE_NODE_* pNode, wchar_t* pTargetPath) {
    std::unique_ptr<unsigned char[]> pBuf(new (std::nothrow) unsigned char[CARVED_DATA_CHUNK_BYTES]);
    if (!pBuf) return ENOMEM;
    if (pNode == nullptr || pTargetPath == nullptr) return KR_ERROR_INVALID_PARAMETER;

    int hFile = -1;
    std::string strUsed;
    const int nCreated = CreateRecoveredFile(Unicode2Path(pTargetPath), hFile, strUsed);
    if (nCreated != 0) {
        DebugLog("open Recovery File  erro = %d\n", nCreated);
        return nCreated;
    }
    // The callbacks are told the name the file was actually written under.
    std::wstring wstrUsed = Path2Unicode(strUsed.c_str());

    const unsigned long long u64Size = pNode->u64FileSize;
    int nResult = ReadCarvedBytes(
        m_diskReader, m_nBytesPerSector, pNode->u64RecordSector, u64Size, pBuf.get(),
        [&](const unsigned char* pData, size_t nLen, unsigned long long u64Before) {
            int nError = WriteAll(hFile, pData, nLen);
            if (nError != 0) return nError;
            if (m_pRecoveryCallBack == nullptr) return 0;
            return m_pRecoveryCallBack(m_pCallBackParam, ProgressPercent(u64Before + nLen, u64Size), 100, 0,
                                       &wstrUsed[0]);
        });
    // Errors are reported once more; a stop answer was the caller's own and is not echoed.
    if (nResult > 0 && m_pRecoveryCallBack != nullptr)
        m_pRecoveryCallBack(m_pCallBackParam, 100, 100, nResult, &wstrUsed[0]);
    close(hFile);
    return nResult;
}

int CFileTypeRecovery::PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                               PREVIEW_CALLBACK pPreViewCallBack, void* pParam) {
    std::unique_ptr<unsigned char[]> pChunk(new (std::nothrow) unsigned char[CARVED_DATA_CHUNK_BYTES]);
    if (!pChunk) return ENOMEM;
    if (pNode == nullptr) {
        nBufLen = 0;
        return KR_ERROR_INVALID_PARAMETER;
    }

    int nResult = KR_SUCCESS;
    CPreviewFile previewFile;
    bool bToFile = false;
    const std::string strExt = PictureExtension(pNode->szFileName);
    if (!strExt.empty()) {
        const std::string strPath = CPreviewFile::PathFor(strExt);
        if (strPath.size() < PREVIEW_PATH_CAPACITY && pPreviewPath != nullptr) {
            bToFile = true;
            Ansi2Unicode(strPath.c_str(), pPreviewPath, static_cast<int>(PREVIEW_PATH_CAPACITY));
            nResult = previewFile.Create(strExt);
        }
    }

    // Memory previews read only what the caller's buffer can take.
    const unsigned long long u64Size = pNode->u64FileSize;
    const unsigned long long u64Wanted =
        bToFile ? u64Size : std::min<unsigned long long>(u64Size, pBuf == nullptr ? 0 : static_cast<unsigned long long>(std::max(nBufLen, 0)));
    size_t nCopied = 0;
    if (nResult == KR_SUCCESS) {
        nResult = ReadCarvedBytes(
            m_diskReader, m_nBytesPerSector, pNode->u64RecordSector, u64Wanted, pChunk.get(),
            [&](const unsigned char* pData, size_t nLen, unsigned long long u64Before) {
                if (bToFile) {
                    int nError = WriteAll(previewFile.Handle(), pData, nLen);
                    if (nError != 0) return nError;
                } else {
                    memcpy(pBuf + nCopied, pData, nLen);
                    nCopied += nLen;
                }
                if (pPreViewCallBack == nullptr) return 0;
                return pPreViewCallBack(pParam, ProgressPercent(u64Before + nLen, u64Wanted), 0);
            });
    }

    if (pPreViewCallBack != nullptr) pPreViewCallBack(pParam, 100, nResult);
    previewFile.Finish(nResult == KR_SUCCESS);
    nBufLen = bToFile ? 0 : static_cast<int>(nCopied);
    return nResult;
}
