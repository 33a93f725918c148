// Signature tests of the audio and picture formats.
#include "carving/file_type_judge.h"
#include "carving/signature_constants.h"
#include "carving/signature_match.h"
#include "util/le.h"

namespace {

constexpr int ICO_HEADER_BYTES = 6;
constexpr int ICO_ENTRY_BYTES = 16;
constexpr int BMP_FILE_HEADER_BYTES = 14;
constexpr int BMP_DATA_OFFSET_OFFSET = 10;
constexpr int BMP_INFO_HEADER_SIZE_OFFSET = 14;

// Sizes of the information headers writers use: OS/2 core (12), BITMAPINFOHEADER (40), its
// extensions with masks (52, 56), OS/2 2.x (64), and the V4 and V5 headers (108, 124) that
// GIMP and ImageMagick write.
bool IsBmpInfoHeaderSize(uint32_t u32Size) {
    switch (u32Size) {
    case 12: case 40: case 52: case 56: case 64: case 108: case 124:
        return true;
    default:
        return false;
    }
}

constexpr unsigned char JPEG_APP0 = 0xE0;
constexpr unsigned char JPEG_APP1 = 0xE1;
constexpr int JPEG_FIRST_SEGMENT_LENGTH_OFFSET = 4;

// Markers whose segment may come first after the start of image: a frame header (SOF0..15),
// Huffman and quantisation tables, arithmetic conditioning, restart interval, application
// data and comments. Not C8 (reserved), restart markers, start of scan or the end of image.
bool JpegSegmentMayStartFile(unsigned char ucMarker) {
    if (ucMarker >= 0xC0 && ucMarker <= 0xCF) return ucMarker != 0xC8;
    if (ucMarker >= 0xE0 && ucMarker <= 0xEF) return true;
    return ucMarker == 0xDB || ucMarker == 0xDD || ucMarker == 0xFE;
}

}  // namespace

EXTEND_NAME_TYPE CFileTypeJudge::IsMp3Type(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 10) || !TextAt(pBuf, nLen, 0, "ID3")) return EXT_UNKNOWN;
    if (pBuf[3] == 0xFF || pBuf[4] == 0xFF || (pBuf[5] & 0x1F) != 0) return EXT_UNKNOWN;
    // The tag size is four 7-bit groups.
    for (int i = 6; i < 10; ++i)
        if (pBuf[i] >= 0x80) return EXT_UNKNOWN;
    return EXT_MP3;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsMidType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 18) && TextAt(pBuf, nLen, 0, "MThd") && ReadBe32(pBuf + 4) == 6 &&
                   TextAt(pBuf, nLen, 14, "MTrk")
               ? EXT_MID
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsApeType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 4) && TextAt(pBuf, nLen, 0, "MAC ") ? EXT_APE : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsWavType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 16) && TextAt(pBuf, nLen, 0, "RIFF") &&
                   TextAt(pBuf, nLen, 8, "WAVE") && TextAt(pBuf, nLen, 12, "fmt ")
               ? EXT_WAV
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsMp2Type(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucHead[4] = {0xFF, 0xFD, 0xE4, 0x00};
    return HasBytes(pBuf, nLen, 4) && SignatureAt(pBuf, nLen, 0, ucHead) ? EXT_MP2 : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsMmfType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 4) && TextAt(pBuf, nLen, 0, "MMMD") ? EXT_MMF : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsFlaType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 16) && SignatureAt(pBuf, nLen, 0, szFlaHead) ? EXT_FLA : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsGifType(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 8) || !SignatureAt(pBuf, nLen, 0, szGifHead)) return EXT_UNKNOWN;
    auto IsDigit = [](unsigned char c) { return c >= '0' && c <= '9'; };
    return IsDigit(pBuf[3]) && IsDigit(pBuf[4]) && pBuf[5] >= 'a' && pBuf[5] <= 'z' ? EXT_GIF
                                                                                      : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsBmpType(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 40)) return EXT_UNKNOWN;
    if (!TextAt(pBuf, nLen, 0, "BA") && !TextAt(pBuf, nLen, 0, "BM")) return EXT_UNKNOWN;
    const uint32_t u32InfoSize = ReadLe32(pBuf + BMP_INFO_HEADER_SIZE_OFFSET);
    // The pixels start after both headers.
    return ReadLe16(pBuf + 6) == 0 && ReadLe16(pBuf + 8) == 0 && IsBmpInfoHeaderSize(u32InfoSize) &&
                   ReadLe32(pBuf + BMP_DATA_OFFSET_OFFSET) >= BMP_FILE_HEADER_BYTES + u32InfoSize
               ? EXT_BMP
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsJpgType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucStart[3] = {0xFF, 0xD8, 0xFF};
    if (!HasBytes(pBuf, nLen, 16) || !SignatureAt(pBuf, nLen, 0, ucStart)) return EXT_UNKNOWN;
    const unsigned char ucMarker = pBuf[3];
    if (ucMarker == JPEG_APP0 && TextAt(pBuf, nLen, 6, "JFIF")) return EXT_JPG;
    if (ucMarker == JPEG_APP1 && TextAt(pBuf, nLen, 6, "Exif")) return EXT_JPG;
    // Any other segment that may follow the start of image (encoders without JFIF begin with
    // their tables, Adobe's APP14, a comment, ...), whose length leads to the next marker.
    if (!JpegSegmentMayStartFile(ucMarker)) return EXT_UNKNOWN;
    const int nNext = JPEG_FIRST_SEGMENT_LENGTH_OFFSET + ReadBe16(pBuf + JPEG_FIRST_SEGMENT_LENGTH_OFFSET);
    if (nNext < JPEG_FIRST_SEGMENT_LENGTH_OFFSET + 2) return EXT_UNKNOWN;
    return nNext >= nLen || pBuf[nNext] == 0xFF ? EXT_JPG : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsPngType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucHead[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    return HasBytes(pBuf, nLen, 8) && SignatureAt(pBuf, nLen, 0, ucHead) ? EXT_PNG : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsPsdType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 40) && TextAt(pBuf, nLen, 0, "8BPS") ? EXT_PSD : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsTifType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucIntel[4] = {0x49, 0x49, 0x2A, 0x00};
    static constexpr unsigned char ucMotorola[4] = {0x4D, 0x4D, 0x00, 0x2A};
    if (!HasBytes(pBuf, nLen, 4)) return EXT_UNKNOWN;
    return SignatureAt(pBuf, nLen, 0, ucIntel) || SignatureAt(pBuf, nLen, 0, ucMotorola)
               ? EXT_TIF
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsIcoType(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 16) || !SignatureAt(pBuf, nLen, 0, szIcoHead)) return EXT_UNKNOWN;
    unsigned int nImages = ReadLe16(pBuf + 4);
    unsigned long long u64DirEnd =
        static_cast<unsigned long long>(ICO_ENTRY_BYTES) * nImages + ICO_HEADER_BYTES;
    if (nImages == 0 || u64DirEnd > static_cast<unsigned long long>(nLen)) return EXT_UNKNOWN;
    // The images must follow the directory back to back, in directory order.
    unsigned long long u64Expected = u64DirEnd;
    for (unsigned int i = 0; i < nImages; ++i) {
        const unsigned char* pEntry = pBuf + ICO_HEADER_BYTES + ICO_ENTRY_BYTES * i;
        if (pEntry[3] != 0 || ReadLe32(pEntry + 12) != u64Expected) return EXT_UNKNOWN;
        u64Expected += ReadLe32(pEntry + 8);
    }
    return EXT_ICO;
}

// --- WebP, FLAC and Ogg ----------------------------------------------------------------------
namespace {

constexpr int FLAC_STREAMINFO_TYPE = 0;
constexpr uint32_t FLAC_STREAMINFO_BYTES = 34;

constexpr int OGG_PAGE_HEADER_BYTES = 27;
constexpr int OGG_VERSION_OFFSET = 4;
constexpr int OGG_FLAGS_OFFSET = 5;
constexpr int OGG_SEGMENT_COUNT_OFFSET = 26;
constexpr unsigned char OGG_FLAG_FIRST_PAGE = 0x02;
constexpr unsigned char OGG_FLAGS_KNOWN = 0x07;

}  // namespace

EXTEND_NAME_TYPE CFileTypeJudge::IsWebpType(const unsigned char* pBuf, int nLen) {
    // The first chunk is the image data (VP8, VP8L) or the extended header (VP8X).
    return HasBytes(pBuf, nLen, 16) && TextAt(pBuf, nLen, 0, "RIFF") && TextAt(pBuf, nLen, 8, "WEBPVP8")
               ? EXT_WEBP
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsFlacType(const unsigned char* pBuf, int nLen) {
    // "fLaC", then the STREAMINFO block, which must come first.
    if (!HasBytes(pBuf, nLen, 8) || !TextAt(pBuf, nLen, 0, "fLaC")) return EXT_UNKNOWN;
    const uint32_t u32Header = ReadBe32(pBuf + 4);
    return (u32Header >> 24 & 0x7F) == FLAC_STREAMINFO_TYPE && (u32Header & 0xFFFFFF) == FLAC_STREAMINFO_BYTES
               ? EXT_FLAC
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsOggType(const unsigned char* pBuf, int nLen) {
    // The first page of a logical stream, its first packet telling the codec.
    if (!HasBytes(pBuf, nLen, OGG_PAGE_HEADER_BYTES) || !TextAt(pBuf, nLen, 0, "OggS")) return EXT_UNKNOWN;
    const unsigned char ucFlags = pBuf[OGG_FLAGS_OFFSET];
    if (pBuf[OGG_VERSION_OFFSET] != 0 || (ucFlags & ~OGG_FLAGS_KNOWN) != 0 || (ucFlags & OGG_FLAG_FIRST_PAGE) == 0)
        return EXT_UNKNOWN;
    const int nPacketAt = OGG_PAGE_HEADER_BYTES + pBuf[OGG_SEGMENT_COUNT_OFFSET];
    // Vorbis and the other codecs keep the container's name.
    return TextAt(pBuf, nLen, nPacketAt, "OpusHead") ? EXT_OPUS : EXT_OGG;
}
