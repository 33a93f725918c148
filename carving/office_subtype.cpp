// Which Office application made an OLE compound file or a ZIP package. Both decisions read the
// device through the judge context: the head sector alone does not tell.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "carving/file_type_judge.h"
#include "carving/signature_constants.h"
#include "carving/signature_match.h"
#include "util/le.h"
#include "util/text.h"

namespace {

// --- OLE compound files (512-byte compound sectors right after the 512-byte header) ---------
constexpr int OLE_WORK_BYTES = 4096;
constexpr int OLE_FIRST_DIR_SECTOR_OFFSET = 0x30;
constexpr int OLE_DIR_ENTRY_BYTES = 128;
constexpr int OLE_DIR_NAME_UNITS = 32;
constexpr int OLE_ROOT_CLSID_OFFSET = 80;

// An Excel BIFF8 workbook stream starts with this BOF record; a Word stream with this FIB id.
constexpr unsigned int BIFF8_BOF_RECORD = 0x0809;
constexpr unsigned int BIFF8_BOF_LENGTH = 0x0010;
constexpr unsigned int BIFF8_VERSION = 0x0600;
constexpr unsigned int WORD_FIB_IDENT = 0xA5EC;

struct OLE_CLASS_ID {
    uint32_t dw[4];
    EXTEND_NAME_TYPE nType;
};
// Class identifiers of the root entry, as four little-endian 32-bit values.
constexpr OLE_CLASS_ID OLE_ROOT_CLASS_IDS[] = {
    {{0x00020906, 0x00000000, 0x000000C0, 0x46000000}, EXT_DOC},   // Word 97-2003
    {{0x00020810, 0x00000000, 0x000000C0, 0x46000000}, EXT_XLS},   // Excel 5/95
    {{0x00020820, 0x00000000, 0x000000C0, 0x46000000}, EXT_XLS},   // Excel 97-2003
    {{0x64818D10, 0x11CF4F9B, 0xAA00EA86, 0xE829B900}, EXT_PPT},   // PowerPoint 97-2003
};

struct OLE_STREAM_NAME {
    const wchar_t* wszLowerPrefix;
    EXTEND_NAME_TYPE nType;
};
// Compared in this order within one directory entry.
constexpr OLE_STREAM_NAME OLE_STREAM_NAMES[] = {
    {L"worddocument", EXT_DOC},
    {L"workbook", EXT_XLS},
    {L"powerpoint document", EXT_PPT},
};

EXTEND_NAME_TYPE TypeOfRootClassId(const unsigned char* pRootEntryClsid) {
    for (const OLE_CLASS_ID& clsid : OLE_ROOT_CLASS_IDS) {
        bool bSame = true;
        for (int i = 0; i < 4 && bSame; ++i) bSame = ReadLe32(pRootEntryClsid + 4 * i) == clsid.dw[i];
        if (bSame) return clsid.nType;
    }
    return EXT_UNKNOWN;
}

// The entry's UTF-16LE name, lower-cased, then matched against the known stream names.
EXTEND_NAME_TYPE TypeOfStreamName(const unsigned char* pEntry) {
    wchar_t wszName[OLE_DIR_NAME_UNITS + 1] = {};
    for (int i = 0; i < OLE_DIR_NAME_UNITS; ++i) {
        unsigned int nUnit = ReadLe16(pEntry + 2 * i);
        if (nUnit == 0) break;
        wszName[i] = static_cast<wchar_t>(nUnit);
    }
    GetCharLowerW(wszName);
    for (const OLE_STREAM_NAME& stream : OLE_STREAM_NAMES)
        if (wcsncmp(wszName, stream.wszLowerPrefix, wcslen(stream.wszLowerPrefix)) == 0)
            return stream.nType;
    return EXT_UNKNOWN;
}

// --- ZIP packages ------------------------------------------------------------------------------
constexpr int OOXML_WINDOW_SECTORS = 4;
constexpr int OOXML_MAX_SECTORS = 20;
constexpr int OOXML_CARRY_BYTES = 4;  // a signature split between two reads is still found

struct ZIP_HEADER_KIND {
    const unsigned char* pSignature;
    int nMinBytesLeft;       // fewer bytes left in the window end the scan
    int nNameLengthOffset;
    int nNameOffset;
};
constexpr ZIP_HEADER_KIND ZIP_LOCAL_HEADER = {szZipLocalHeader, 9, 26, 30};
constexpr ZIP_HEADER_KIND ZIP_CENTRAL_HEADER = {szZipCentralHeader, 48, 28, 46};

// Offset of the first sig at or after nFrom in the window, or -1.
int FindSignature(const unsigned char* pWindow, int nWindow, int nFrom, const unsigned char* pSig) {
    if (nFrom >= nWindow) return -1;
    const void* pHit = memmem(pWindow + nFrom, static_cast<size_t>(nWindow - nFrom), pSig, 4);
    return pHit == nullptr ? -1 : static_cast<int>(static_cast<const unsigned char*>(pHit) - pWindow);
}

// Applies the part-name rule to every header of one kind in the window, up to the end of the
// central directory when the window holds it.
EXTEND_NAME_TYPE ScanZipHeaders(const unsigned char* pWindow, int nWindow, int nEndOfCentralDir,
                                const ZIP_HEADER_KIND& kind) {
    for (int nFrom = 0;;) {
        int nHeader = FindSignature(pWindow, nWindow, nFrom, kind.pSignature);
        if (nHeader < 0) return EXT_UNKNOWN;
        if (nEndOfCentralDir >= 0 && nHeader > nEndOfCentralDir) return EXT_UNKNOWN;
        if (nWindow - nHeader < kind.nMinBytesLeft) return EXT_UNKNOWN;
        int nName = nHeader + kind.nNameOffset;
        if (nName < nWindow) {
            // The name as long as the header says, cut at the window's end; a header cut before
            // its length field gives the rest of the window.
            unsigned int nNameLen = static_cast<unsigned int>(nWindow - nName);
            if (nHeader + kind.nNameLengthOffset + 2 <= nWindow) {
                unsigned int nStated = ReadLe16(pWindow + nHeader + kind.nNameLengthOffset);
                if (nStated < nNameLen) nNameLen = nStated;
            }
            EXTEND_NAME_TYPE nType = CFileTypeJudge::ReturnFileType(
                reinterpret_cast<const char*>(pWindow + nName), nNameLen);
            if (nType != EXT_UNKNOWN) return nType;
        }
        nFrom = nHeader + 4;
    }
}

}  // namespace

EXTEND_NAME_TYPE CFileTypeJudge::GetOffice2003Type(const unsigned char* pHead, int nLen) {
    int nWork = m_nBytesPerSector > OLE_WORK_BYTES ? m_nBytesPerSector : OLE_WORK_BYTES;
    std::unique_ptr<unsigned char[]> pWork(new (std::nothrow) unsigned char[nWork]());
    if (!pWork) return EXT_OLE;

    // The first stream usually follows the header directly; its first bytes often tell.
    if (!ReadContextSectors(pWork.get(), nWork, m_u64CurrentSector + 1, 1)) return EXT_OLE;
    if (ReadLe16(pWork.get()) == BIFF8_BOF_RECORD && ReadLe16(pWork.get() + 2) == BIFF8_BOF_LENGTH &&
        ReadLe16(pWork.get() + 4) == BIFF8_VERSION)
        return EXT_XLS;
    if (ReadLe16(pWork.get()) == WORD_FIB_IDENT) return EXT_DOC;

    // Otherwise the directory: the root entry's class, then the stream names.
    if (!HasBytes(pHead, nLen, OLE_FIRST_DIR_SECTOR_OFFSET + 4)) return EXT_OLE;
    unsigned long long u64DirSector = ReadLe32(pHead + OLE_FIRST_DIR_SECTOR_OFFSET);
    if (!ReadContextSectors(pWork.get(), nWork, m_u64CurrentSector + 1 + u64DirSector, 1))
        return EXT_OLE;
    EXTEND_NAME_TYPE nType = TypeOfRootClassId(pWork.get() + OLE_ROOT_CLSID_OFFSET);
    if (nType != EXT_UNKNOWN) return nType;
    for (int nEntry = 0; nEntry < m_nBytesPerSector / OLE_DIR_ENTRY_BYTES; ++nEntry) {
        nType = TypeOfStreamName(pWork.get() + nEntry * OLE_DIR_ENTRY_BYTES);
        if (nType != EXT_UNKNOWN) return nType;
    }
    return EXT_OLE;
}

EXTEND_NAME_TYPE CFileTypeJudge::GetOffice2007Type(const unsigned char*, int) {
    if (m_nBytesPerSector <= 0 || m_nBytesPerSector > FILE_TYPE_JUDGE_MAX_BYTES_PER_SECTOR)
        return EXT_UNKNOWN;
    const int nReadBytes = OOXML_WINDOW_SECTORS * m_nBytesPerSector;
    const int nWindow = OOXML_CARRY_BYTES + nReadBytes;
    std::unique_ptr<unsigned char[]> pWindow(new (std::nothrow) unsigned char[nWindow]());
    if (!pWindow) return EXT_UNKNOWN;

    for (int nSector = 0; nSector < OOXML_MAX_SECTORS; nSector += OOXML_WINDOW_SECTORS) {
        if (!ReadContextSectors(pWindow.get() + OOXML_CARRY_BYTES, nReadBytes,
                                m_u64CurrentSector + nSector, OOXML_WINDOW_SECTORS))
            return EXT_UNKNOWN;
        int nEndOfCentralDir = FindSignature(pWindow.get(), nWindow, 0, szZipEndOfCentralDir);
        EXTEND_NAME_TYPE nType =
            ScanZipHeaders(pWindow.get(), nWindow, nEndOfCentralDir, ZIP_LOCAL_HEADER);
        if (nType == EXT_UNKNOWN)
            nType = ScanZipHeaders(pWindow.get(), nWindow, nEndOfCentralDir, ZIP_CENTRAL_HEADER);
        if (nType != EXT_UNKNOWN) return nType;
        memcpy(pWindow.get(), pWindow.get() + nWindow - OOXML_CARRY_BYTES, OOXML_CARRY_BYTES);
    }
    return EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::ReturnFileType(const char* pName, unsigned int nLen) {
    if (pName == nullptr) return EXT_UNKNOWN;
    // Only the first four bytes decide; lower-case a copy of them.
    char szPrefix[5] = {};
    memcpy(szPrefix, pName, nLen < 4 ? nLen : 4);
    GetCharLowerA(szPrefix);
    if (nLen >= 5 && strncmp(szPrefix, "word", 4) == 0) return EXT_DOCX;
    if (nLen >= 4 && strncmp(szPrefix, "ppt", 3) == 0) return EXT_PPTX;
    if (nLen >= 3 && strncmp(szPrefix, "xl", 2) == 0) return EXT_XLSX;
    return EXT_UNKNOWN;
}
