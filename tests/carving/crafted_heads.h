#pragma once
// Hand-made file heads, one or more per buffer-only signature test, each the shortest buffer
// its test accepts. Shared by the signature tests (acceptance and short-buffer checks) and the
// fast-walk comparison.
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "carving/file_type_judge.h"
#include "carving/signature_constants.h"
#include "carving/type_table.h"
#include "util/le.h"

struct CRAFTED_HEAD {
    const char* szWhat;
    PFN_IS_TYPE pfnTest;
    std::vector<unsigned char> vecHead;  // exactly the bytes the test needs
    EXTEND_NAME_TYPE nExpected;
};

namespace crafted {

inline std::vector<unsigned char> Bytes(int nLen, std::initializer_list<std::pair<int, std::string>> parts) {
    std::vector<unsigned char> vec(static_cast<size_t>(nLen), 0);
    for (const auto& part : parts) memcpy(vec.data() + part.first, part.second.data(), part.second.size());
    return vec;
}
inline std::string Raw(std::initializer_list<unsigned char> bytes) {
    return std::string(bytes.begin(), bytes.end());
}
template <size_t N>
inline std::string Raw(const unsigned char (&bytes)[N]) {
    return std::string(reinterpret_cast<const char*>(bytes), N);
}

inline std::vector<unsigned char> PeHead(unsigned int nLfanew, unsigned int nCharacteristics) {
    std::vector<unsigned char> vec = Bytes(512, {{0, "MZ"}});
    WriteLe32(vec.data() + 60, nLfanew);
    if (nLfanew <= 512 - 24) {
        memcpy(vec.data() + nLfanew, "PE\0\0", 4);
        WriteLe16(vec.data() + nLfanew + 22, static_cast<uint16_t>(nCharacteristics));
    }
    return vec;
}

inline std::vector<unsigned char> IcoHead(int nImages, int nLen) {
    std::vector<unsigned char> vec = Bytes(nLen, {{0, Raw(szIcoHead)}});
    WriteLe16(vec.data() + 4, static_cast<uint16_t>(nImages));
    uint32_t dwOffset = 16u * nImages + 6;
    for (int i = 0; i < nImages; ++i) {
        unsigned char* e = vec.data() + 6 + 16 * i;
        e[0] = 16;
        e[1] = 16;
        WriteLe32(e + 8, 1000u + i);  // image size
        WriteLe32(e + 12, dwOffset);
        dwOffset += 1000u + i;
    }
    return vec;
}

inline std::vector<unsigned char> TtfHead(int nTables) {
    int nLen = 16 * nTables + 16;
    std::vector<unsigned char> vec = Bytes(nLen, {{0, Raw(szTtfHead)}});
    vec[4] = static_cast<unsigned char>(nTables >> 8);
    vec[5] = static_cast<unsigned char>(nTables);
    vec[6] = 0x00, vec[7] = 0x80, vec[8] = 0x00, vec[9] = 0x03, vec[10] = 0x00, vec[11] = 0x20;
    memcpy(vec.data() + 16 * nTables + 12, szTtfHead, 4);
    return vec;
}

}  // namespace crafted

inline std::vector<CRAFTED_HEAD> CraftedHeads() {
    using namespace crafted;
    using J = CFileTypeJudge;
    std::vector<CRAFTED_HEAD> vec = {
        {"mpeg sequence", J::IsMpgType, Bytes(16, {{0, Raw({0, 0, 1, 0xB3})}, {12, Raw({0, 0, 1, 0xB8})}}), EXT_MPG},
        {"mpeg pack", J::IsMpgType, Bytes(16, {{0, Raw({0, 0, 1, 0xBA})}, {12, Raw({0, 0, 1, 0xBB})}}), EXT_MPG},
        {"mp4 isom", J::IsMp4Type, Bytes(32, {{4, "ftypisom"}}), EXT_MP4},
        {"mp4 mp42", J::IsMp4Type, Bytes(32, {{4, "ftypmp42"}}), EXT_MP4},
        {"rmvb", J::IsRmvbType, Bytes(4, {{0, ".RMF"}}), EXT_RMVB},
        {"asf", J::IsAsfType, Bytes(24, {{0, Raw(sm_Asf_file_head_guid)}}), EXT_ASF},
        {"swf zlib", J::IsSwfType, Bytes(8, {{0, Raw({'C', 'W', 'S', 10})}}), EXT_SWF},
        {"swf plain", J::IsSwfType, Bytes(8, {{0, Raw({'F', 'W', 'S', 5})}}), EXT_SWF},
        {"avi", J::IsAviType, Bytes(16, {{0, "RIFF"}, {8, "AVI LIST"}}), EXT_AVI},
        {"flv", J::IsFlvType, Bytes(16, {{0, Raw({'F', 'L', 'V', 1, 5, 0, 0, 0, 9})}}), EXT_FLV},
        {"3gp", J::Is3pgType, Bytes(32, {{4, "ftyp3gp5"}}), EXT_3GP},
        {"mkv", J::IsMkvType, Bytes(16, {{0, Raw({0x1A, 0x45, 0xDF, 0xA3})}}), EXT_MKV},
        {"mts", J::IsMtsType, Bytes(16, {{4, Raw({0x47, 0x40, 0x00, 0x10})}, {8, Raw(szMtsHead)}}), EXT_MTS},
        {"mxf", J::IsMxfType, Bytes(16, {{0, Raw(szXmfHead)}}), EXT_MXF},
        {"mov moov", J::IsMovType, Bytes(16, {{0, "moov"}}), EXT_MOV},
        {"mov qt", J::IsMovType, Bytes(16, {{4, "ftypqt  "}}), EXT_MOV},
        {"mp3", J::IsMp3Type, Bytes(10, {{0, Raw({'I', 'D', '3', 4, 0, 0, 0, 0, 0x12, 0x7F})}}), EXT_MP3},
        {"mid", J::IsMidType, Bytes(18, {{0, Raw({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 1, 0xE0})}, {14, "MTrk"}}), EXT_MID},
        {"ape", J::IsApeType, Bytes(4, {{0, "MAC "}}), EXT_APE},
        {"wav", J::IsWavType, Bytes(16, {{0, "RIFF"}, {8, "WAVEfmt "}}), EXT_WAV},
        {"mp2", J::IsMp2Type, Bytes(4, {{0, Raw({0xFF, 0xFD, 0xE4, 0x00})}}), EXT_MP2},
        {"mmf", J::IsMmfType, Bytes(4, {{0, "MMMD"}}), EXT_MMF},
        {"fla", J::IsFlaType, Bytes(16, {{0, Raw(szOleHead)}}), EXT_FLA},
        {"gif89a", J::IsGifType, Bytes(8, {{0, "GIF89a"}}), EXT_GIF},
        {"bmp", J::IsBmpType, Bytes(40, {{0, "BM"}, {10, Raw({54})}, {14, Raw({40})}}), EXT_BMP},
        {"bmp os2 array", J::IsBmpType, Bytes(40, {{0, "BA"}, {10, Raw({54})}, {14, Raw({40})}}), EXT_BMP},
        {"jpg jfif", J::IsJpgType, Bytes(16, {{0, Raw({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10})}, {6, "JFIF"}}), EXT_JPG},
        {"jpg exif", J::IsJpgType, Bytes(16, {{0, Raw({0xFF, 0xD8, 0xFF, 0xE1, 0x12, 0x34})}, {6, "Exif"}}), EXT_JPG},
        {"png", J::IsPngType, Bytes(8, {{0, Raw({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})}}), EXT_PNG},
        {"psd", J::IsPsdType, Bytes(40, {{0, "8BPS"}}), EXT_PSD},
        {"tif intel", J::IsTifType, Bytes(4, {{0, Raw({'I', 'I', 0x2A, 0})}}), EXT_TIF},
        {"tif motorola", J::IsTifType, Bytes(4, {{0, Raw({'M', 'M', 0, 0x2A})}}), EXT_TIF},
        {"ico", J::IsIcoType, IcoHead(2, 38), EXT_ICO},
        {"pdf", J::IsPdfType, Bytes(5, {{0, "%PDF-"}}), EXT_PDF},
        {"gzip", J::IsGzipType, Bytes(16, {{0, Raw({0x1F, 0x8B, 0x08, 0x08, 1, 2, 3, 4, 0x02, 0x03})}}), EXT_GZIP},
        {"7z", J::Is7zType, Bytes(5, {{0, Raw({0x37, 0x7A, 0xBC, 0xAF, 0x27})}}), EXT_7Z},
        {"zip", J::IsZipType, Bytes(48, {{0, Raw(szZipLocalHeader)}}), EXT_ZIP},
        {"rar", J::IsRarType, Bytes(7, {{0, Raw(szWinrarHeadMagic)}}), EXT_RAR},
        {"cab", J::IsCabType, Bytes(36, {{0, "MSCF"}}), EXT_CAB},
        {"exe", J::IsPeType, PeHead(0x80, 0x0102), EXT_EXE},
        {"dll", J::IsPeType, PeHead(0x80, 0x2102), EXT_DLL},
        {"sys", J::IsPeType, PeHead(0x80, 0x1002), EXT_SYS},
        {"gho", J::IsGhoType, Bytes(4, {{0, Raw({0xFE, 0xEF, 0, 0})}}), EXT_GHO},
        {"sqlite", J::IsSqlType, Bytes(16, {{0, Raw(szSqliteHead)}}), EXT_DB},
        {"dbx", J::IsDbxEmailType, Bytes(16, {{0, Raw({0xCF, 0xAD, 0x12, 0xFE})}}), EXT_DBX},
        {"pst", J::IsPstEmailType, Bytes(16, {{0, "!BDN"}, {8, "SM"}}), EXT_PST},
        {"ttf", J::IsTtfType, TtfHead(1), EXT_TTF},
    };
    return vec;
}
