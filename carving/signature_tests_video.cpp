// Signature tests of the video formats.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "carving/file_type_judge.h"
#include "carving/signature_constants.h"
#include "carving/signature_match.h"
#include "util/le.h"

namespace {

constexpr int TS_PACKET_BYTES = 188;
constexpr unsigned char TS_SYNC_BYTE = 0x47;
// A stream head must be followed by this many whole packets read from the device.
constexpr int TS_CONFIRM_BYTES = 4096;
constexpr int TS_CONFIRM_PACKETS = 22;

// True when the 4-byte pattern stands at some offset of the first min(nLen, 32) bytes.
bool MpegCodeInHead(const unsigned char* pBuf, int nLen, const unsigned char (&ucCode)[4]) {
    int nSpan = nLen < 32 ? nLen : 32;
    for (int i = 0; i + 4 <= nSpan; ++i)
        if (BytesAt(pBuf, nLen, i, ucCode, 4)) return true;
    return false;
}

// True when the previous sector shows packet starts where a stream running into this sector
// would have them.
bool PreviousSectorContinuesStream(const unsigned char* pPrev, int nBytesPerSector) {
    for (int k = 1; k <= nBytesPerSector / TS_PACKET_BYTES; ++k)
        if (pPrev[nBytesPerSector - TS_PACKET_BYTES * k] == TS_SYNC_BYTE) return true;
    return false;
}

bool InsideCarvedStream(unsigned long long u64Sector) {
    for (const _TS_FILE_RANGE_& range : CFileTypeJudge::m_tsFileRangeVec)
        if (u64Sector >= range.u64StartSector && u64Sector <= range.u64EndSector) return true;
    return false;
}

}  // namespace

EXTEND_NAME_TYPE CFileTypeJudge::IsMpgType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucSequence[4] = {0x00, 0x00, 0x01, 0xB3};
    static constexpr unsigned char ucGroup[4] = {0x00, 0x00, 0x01, 0xB8};
    static constexpr unsigned char ucPack[4] = {0x00, 0x00, 0x01, 0xBA};
    static constexpr unsigned char ucSystem[4] = {0x00, 0x00, 0x01, 0xBB};
    if (!HasBytes(pBuf, nLen, 16)) return EXT_UNKNOWN;
    if (SignatureAt(pBuf, nLen, 0, ucSequence) && MpegCodeInHead(pBuf, nLen, ucGroup)) return EXT_MPG;
    if (SignatureAt(pBuf, nLen, 0, ucPack) && MpegCodeInHead(pBuf, nLen, ucSystem)) return EXT_MPG;
    return EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsMp4Type(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 32) || !TextAt(pBuf, nLen, 4, "ftyp")) return EXT_UNKNOWN;
    return TextAt(pBuf, nLen, 8, "iso") || TextAt(pBuf, nLen, 8, "mp42") ? EXT_MP4 : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsRmvbType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 4) && TextAt(pBuf, nLen, 0, ".RMF") ? EXT_RMVB : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsAsfType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 24) && SignatureAt(pBuf, nLen, 0, sm_Asf_file_head_guid)
               ? EXT_ASF
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsSwfType(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 8)) return EXT_UNKNOWN;
    unsigned char ucVersion = pBuf[3];
    if (TextAt(pBuf, nLen, 0, "CWS") && ucVersion >= 6 && ucVersion <= 15) return EXT_SWF;
    if (TextAt(pBuf, nLen, 0, "FWS") && ucVersion < 6) return EXT_SWF;
    return EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsAviType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 16) && TextAt(pBuf, nLen, 0, "RIFF") &&
                   TextAt(pBuf, nLen, 8, "AVI ") && TextAt(pBuf, nLen, 12, "LIST")
               ? EXT_AVI
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsFlvType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucHead[4] = {'F', 'L', 'V', 0x01};
    static constexpr unsigned char ucHeaderSize[4] = {0x00, 0x00, 0x00, 0x09};
    return HasBytes(pBuf, nLen, 16) && SignatureAt(pBuf, nLen, 0, ucHead) &&
                   SignatureAt(pBuf, nLen, 5, ucHeaderSize)
               ? EXT_FLV
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::Is3pgType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 32) && TextAt(pBuf, nLen, 4, "ftyp") && TextAt(pBuf, nLen, 8, "3gp")
               ? EXT_3GP
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsMkvType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucEbml[4] = {0x1A, 0x45, 0xDF, 0xA3};
    return HasBytes(pBuf, nLen, 16) && SignatureAt(pBuf, nLen, 0, ucEbml) ? EXT_MKV : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsTsType(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, TS_PACKET_BYTES) || pBuf[0] != TS_SYNC_BYTE) return EXT_UNKNOWN;
    if (pBuf[1] == 0 && pBuf[2] == 0 && pBuf[3] == 0) return EXT_UNKNOWN;
    // Every packet start the buffer holds must carry the sync byte. (Only starts inside the
    // buffer: a buffer of whole packets has no byte at the next start.)
    for (int nOffset = 0; nOffset < nLen; nOffset += TS_PACKET_BYTES)
        if (pBuf[nOffset] != TS_SYNC_BYTE) return EXT_UNKNOWN;

    // The device must show a run of packets from here, not one lucky sector.
    if (m_nBytesPerSector <= 0 || m_nBytesPerSector > TS_CONFIRM_BYTES) return EXT_UNKNOWN;
    unsigned char ucConfirm[TS_CONFIRM_BYTES] = {};
    if (!ReadContextSectors(ucConfirm, sizeof(ucConfirm), m_u64CurrentSector,
                            TS_CONFIRM_BYTES / m_nBytesPerSector))
        return EXT_UNKNOWN;
    for (int k = 0; k < TS_CONFIRM_PACKETS; ++k)
        if (ucConfirm[k * TS_PACKET_BYTES] != TS_SYNC_BYTE) return EXT_UNKNOWN;

    if (m_bIsNeedCheckTsFileRange) {
        // The device's first sector has nothing before it to continue from.
        if (m_u64CurrentSector > 0) {
            std::vector<unsigned char> vecPrev(static_cast<size_t>(m_nBytesPerSector));
            if (!ReadContextSectors(vecPrev.data(), m_nBytesPerSector, m_u64CurrentSector - 1, 1))
                return EXT_UNKNOWN;
            if (PreviousSectorContinuesStream(vecPrev.data(), m_nBytesPerSector)) return EXT_UNKNOWN;
        }
        if (InsideCarvedStream(m_u64StartSector)) return EXT_UNKNOWN;
    }
    return EXT_TS;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsMtsType(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 16) || !SignatureAt(pBuf, nLen, 8, szMtsHead)) return EXT_UNKNOWN;
    // While an MTS file is being sized its recurring tables (behind a non-zero time-code
    // prefix) are not new heads.
    bool bPrefixSet = pBuf[0] != 0 || pBuf[1] != 0 || pBuf[2] != 0 || pBuf[3] != 0;
    if (bPrefixSet && m_bIsMtsFileHead) return EXT_UNKNOWN;
    return EXT_MTS;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsMxfType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 16) && SignatureAt(pBuf, nLen, 0, szXmfHead) ? EXT_MXF : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsMovType(const unsigned char* pBuf, int nLen) {
    return IsMovOrIsoBrandType(pBuf, nLen) == EXT_MOV ? EXT_MOV : EXT_UNKNOWN;
}

// --- ISO base media kinds told by their brand, and WebM -------------------------------------
namespace {

constexpr int ISO_FTYP_MIN_BYTES = 16;  // size, "ftyp", major brand, minor version
constexpr uint32_t ISO_FTYP_MAX_BYTES = 255;
constexpr int ISO_MAJOR_BRAND_OFFSET = 8;
constexpr int ISO_COMPATIBLE_BRANDS_OFFSET = 16;

const char* const HEIF_BRANDS[] = {"heic", "heix", "hevc", "heim", "heis", "hevm", "hevs", "mif1", "msf1"};
const char* const AVIF_BRANDS[] = {"avif", "avis"};
const char* const M4A_BRANDS[] = {"M4A ", "M4B ", "M4P "};


// The generic HEIF brands say only "image file"; the compatible brands tell AVIF from HEVC.
EXTEND_NAME_TYPE KindOfGenericHeif(const unsigned char* pBuf, int nLen) {
    const int nBoxEnd = std::min(nLen, static_cast<int>(std::min<uint32_t>(ReadBe32(pBuf), INT32_MAX)));
    for (int nAt = ISO_COMPATIBLE_BRANDS_OFFSET; nAt + 4 <= nBoxEnd; nAt += 4)
        if (FourCcIn(pBuf + nAt, AVIF_BRANDS)) return EXT_AVIF;
    return EXT_HEIC;
}

constexpr unsigned char EBML_MAGIC[4] = {0x1A, 0x45, 0xDF, 0xA3};
constexpr unsigned char EBML_DOCTYPE_ID[2] = {0x42, 0x82};
constexpr int EBML_HEADER_SCAN_BYTES = 64;  // writers put DocType within the first few elements

// The kind a file type box names (the buffer holds at least its first 16 bytes). Kept out of
// line: the test below runs on every sector, and stays a small leaf that way.
__attribute__((noinline)) EXTEND_NAME_TYPE KindOfFileTypeBox(const unsigned char* pBuf, int nLen) {
    if (TextAt(pBuf, nLen, ISO_MAJOR_BRAND_OFFSET, "qt  ")) return EXT_MOV;
    // Writers' file type boxes are a few dozen bytes. Below 256 the size field starts 00 00 00,
    // which no head of a later row (ICO, TrueType, ...) begins with, so no later answer changes.
    const uint32_t u32BoxBytes = ReadBe32(pBuf);
    if (u32BoxBytes < ISO_FTYP_MIN_BYTES || u32BoxBytes > ISO_FTYP_MAX_BYTES) return EXT_UNKNOWN;
    const unsigned char* pMajor = pBuf + ISO_MAJOR_BRAND_OFFSET;
    if (TextAt(pBuf, nLen, ISO_MAJOR_BRAND_OFFSET, "mif1") || TextAt(pBuf, nLen, ISO_MAJOR_BRAND_OFFSET, "msf1"))
        return KindOfGenericHeif(pBuf, nLen);
    if (FourCcIn(pMajor, HEIF_BRANDS)) return EXT_HEIC;
    if (FourCcIn(pMajor, AVIF_BRANDS)) return EXT_AVIF;
    if (TextAt(pBuf, nLen, ISO_MAJOR_BRAND_OFFSET, "crx ")) return EXT_CR3;
    if (FourCcIn(pMajor, M4A_BRANDS)) return EXT_M4A;
    return EXT_UNKNOWN;
}

}  // namespace

EXTEND_NAME_TYPE CFileTypeJudge::IsMovOrIsoBrandType(const unsigned char* pBuf, int nLen) {
    // One test with QuickTime's, which every sector meets anyway, so the walk makes no extra call;
    // nearly every sector is turned away by the two fixed-size compares.
    if (!HasBytes(pBuf, nLen, ISO_FTYP_MIN_BYTES)) return EXT_UNKNOWN;
    if (memcmp(pBuf + 4, "ftyp", 4) != 0) return memcmp(pBuf, "moov", 4) == 0 ? EXT_MOV : EXT_UNKNOWN;
    return KindOfFileTypeBox(pBuf, nLen);
}

EXTEND_NAME_TYPE CFileTypeJudge::IsWebmType(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 16) || !SignatureAt(pBuf, nLen, 0, EBML_MAGIC)) return EXT_UNKNOWN;
    // DocType: its ID, a one-byte size (0x80 | length) and the text.
    const int nSpan = std::min(nLen, EBML_HEADER_SCAN_BYTES);
    for (int nAt = 4; nAt + 3 + 4 <= nSpan; ++nAt)
        if (SignatureAt(pBuf, nSpan, nAt, EBML_DOCTYPE_ID))
            return pBuf[nAt + 2] == 0x84 && TextAt(pBuf, nSpan, nAt + 3, "webm") ? EXT_WEBM : EXT_UNKNOWN;
    return EXT_UNKNOWN;
}
