// Signature tests of camera RAW files.
//
// CR2, ORF and RW2 carry their own mark in the header. NEF, ARW, DNG and PEF begin as plain
// TIFF, so the first directory tells them apart: the DNGVersion tag makes a DNG whoever made
// the camera; otherwise the Make names the maker of the format (NIKON: NEF, SONY: ARW, PENTAX,
// ASAHI or RICOH, who now makes Pentax cameras: PEF), but only when IFD0 also shows a raw
// image: SubIFDs (where NEF and ARW keep the sensor data), the CFA photometric of TIFF/EP, or a
// compression no picture writer uses. A developed TIFF from the same camera has none of these
// and stays a TIFF.
#include <algorithm>
#include <cstring>
#include <vector>

#include "carving/file_type_judge.h"
#include "carving/signature_match.h"
#include "carving/tiff_first_directory.h"

namespace {

using J = CFileTypeJudge;

// IFD0 and the Make text are looked for this far into the file at most.
constexpr size_t RAW_FIRST_DIRECTORY_WINDOW = 65536;
constexpr int RAW_MIN_HEAD_BYTES = 16;

constexpr uint32_t PHOTOMETRIC_CFA = 32803;         // TIFF/EP colour filter array
constexpr uint32_t PHOTOMETRIC_LINEAR_RAW = 34892;  // DNG linear raw
// Compression codes from here up are the camera makers' own (Sony 32767, Nikon 34713, Pentax
// 65535); picture writers use the registered codes below it.
constexpr uint32_t FIRST_VENDOR_COMPRESSION = 32767;

struct MAKER_FORMAT {
    const char* szMakePrefix;
    EXTEND_NAME_TYPE nType;
};
constexpr MAKER_FORMAT MAKER_FORMATS[] = {
    {"NIKON", EXT_NEF}, {"SONY", EXT_ARW}, {"PENTAX", EXT_PEF}, {"ASAHI", EXT_PEF}, {"RICOH", EXT_PEF},
};

// IFD0 from the buffer, or from the device when it lies further in (once, within the window).
bool ReadFirstDirectory(const unsigned char* pBuf, int nLen, TIFF_FIRST_DIRECTORY& dir) {
    size_t nNeeded = 0;
    TIFF_FIRST_DIRECTORY_ANSWER nAnswer = ReadTiffFirstDirectory(pBuf, static_cast<size_t>(nLen), dir, nNeeded);
    if (nAnswer != TIFF_NEEDS_MORE) return nAnswer == TIFF_READ;
    const int nSector = J::m_nBytesPerSector;
    if (nNeeded > RAW_FIRST_DIRECTORY_WINDOW || nSector <= 0) return false;
    const int nSectors = static_cast<int>((nNeeded + nSector - 1) / nSector);
    std::vector<unsigned char> vecHead(static_cast<size_t>(nSectors) * nSector);
    if (!J::ReadContextSectors(vecHead.data(), static_cast<int>(vecHead.size()), J::m_u64CurrentSector, nSectors))
        return false;
    // The device must hold the very bytes the test was handed.
    const size_t nCompared = std::min(vecHead.size(), static_cast<size_t>(nLen));
    if (memcmp(vecHead.data(), pBuf, nCompared) != 0) return false;
    return ReadTiffFirstDirectory(vecHead.data(), vecHead.size(), dir, nNeeded) == TIFF_READ;
}

bool ShowsRawImage(const TIFF_FIRST_DIRECTORY& dir) {
    return dir.bSubIfds || dir.nPhotometric == PHOTOMETRIC_CFA || dir.nPhotometric == PHOTOMETRIC_LINEAR_RAW ||
           dir.nCompression >= FIRST_VENDOR_COMPRESSION;
}

}  // namespace

EXTEND_NAME_TYPE CFileTypeJudge::IsCameraRawType(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, RAW_MIN_HEAD_BYTES)) return EXT_UNKNOWN;
    const bool bTiff = TextAt(pBuf, nLen, 0, "II*\0") || TextAt(pBuf, nLen, 0, "MM\0*");
    EXTEND_NAME_TYPE nMarked = EXT_UNKNOWN;
    if (TextAt(pBuf, nLen, 0, "IIRO") || TextAt(pBuf, nLen, 0, "IIRS") || TextAt(pBuf, nLen, 0, "MMOR"))
        nMarked = EXT_ORF;
    else if (TextAt(pBuf, nLen, 0, "IIU\0"))
        nMarked = EXT_RW2;
    else if (bTiff && TextAt(pBuf, nLen, 8, "CR\x02"))
        nMarked = EXT_CR2;
    else if (!bTiff)
        return EXT_UNKNOWN;

    TIFF_FIRST_DIRECTORY dir;
    if (!ReadFirstDirectory(pBuf, nLen, dir)) return EXT_UNKNOWN;
    if (nMarked != EXT_UNKNOWN) return nMarked;
    if (dir.bDngVersion) return EXT_DNG;
    if (!ShowsRawImage(dir)) return EXT_UNKNOWN;
    for (const MAKER_FORMAT& format : MAKER_FORMATS)
        if (strncmp(dir.szMake, format.szMakePrefix, strlen(format.szMakePrefix)) == 0) return format.nType;
    return EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsRafType(const unsigned char* pBuf, int nLen) {
    // The fixed header: the mark, then a four-digit format version.
    if (!HasBytes(pBuf, nLen, 20) || !TextAt(pBuf, nLen, 0, "FUJIFILMCCD-RAW ")) return EXT_UNKNOWN;
    for (int i = 16; i < 20; ++i)
        if (pBuf[i] < '0' || pBuf[i] > '9') return EXT_UNKNOWN;
    return EXT_RAF;
}
