// Signature tests of documents, archives, executables, databases, mail stores and fonts.
#include "carving/file_type_judge.h"
#include "carving/signature_constants.h"
#include "carving/signature_match.h"
#include "util/le.h"

namespace {

constexpr int PE_LFANEW_OFFSET = 60;
// The PE signature and the file header up to its characteristics must lie in the first sector.
constexpr unsigned int PE_MAX_LFANEW = 488;
constexpr int PE_CHARACTERISTICS_OFFSET = 22;
constexpr unsigned int PE_FILE_EXECUTABLE_IMAGE = 0x0002;
constexpr unsigned int PE_FILE_SYSTEM = 0x1000;
constexpr unsigned int PE_FILE_DLL = 0x2000;

constexpr int OOXML_CONTENT_TYPES_OFFSET = 30;  // name of the first local header

constexpr unsigned char GZIP_RESERVED_FLAGS = 0xE0;  // above text, header CRC, extra, name, comment

}  // namespace

EXTEND_NAME_TYPE CFileTypeJudge::IsOffice2003Type(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 8) || !SignatureAt(pBuf, nLen, 0, szOleHead)) return EXT_UNKNOWN;
    return GetOffice2003Type(pBuf, nLen);
}

EXTEND_NAME_TYPE CFileTypeJudge::IsOffice2007Type(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 49)) return EXT_UNKNOWN;
    if (!SignatureAt(pBuf, nLen, 0, szZipLocalHeader) &&
        !TextAt(pBuf, nLen, OOXML_CONTENT_TYPES_OFFSET, "[Content_Types].xml"))
        return EXT_UNKNOWN;
    return GetOffice2007Type(pBuf, nLen);
}

EXTEND_NAME_TYPE CFileTypeJudge::IsPdfType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 5) && TextAt(pBuf, nLen, 0, "%PDF-") ? EXT_PDF : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsGzipType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucHead[3] = {0x1F, 0x8B, 0x08};
    if (!HasBytes(pBuf, nLen, 16) || !SignatureAt(pBuf, nLen, 0, ucHead)) return EXT_UNKNOWN;
    unsigned char ucFlags = pBuf[3], ucExtraFlags = pBuf[8], ucOs = pBuf[9];
    if ((ucFlags & GZIP_RESERVED_FLAGS) != 0) return EXT_UNKNOWN;
    // 2 and 4 mark the slowest and fastest levels; every other level leaves 0.
    if (ucExtraFlags != 0x00 && ucExtraFlags != 0x02 && ucExtraFlags != 0x04) return EXT_UNKNOWN;
    return ucOs <= 13 || ucOs == 0xFF ? EXT_GZIP : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::Is7zType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucHead[5] = {0x37, 0x7A, 0xBC, 0xAF, 0x27};
    return HasBytes(pBuf, nLen, 5) && SignatureAt(pBuf, nLen, 0, ucHead) ? EXT_7Z : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsZipType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 48) && SignatureAt(pBuf, nLen, 0, szZipLocalHeader) ? EXT_ZIP
                                                                                    : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsRarType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 7) && SignatureAt(pBuf, nLen, 0, szWinrarHeadMagic) ? EXT_RAR
                                                                                    : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsCabType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 36) && TextAt(pBuf, nLen, 0, "MSCF") ? EXT_CAB : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsPeType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucPe[4] = {'P', 'E', 0x00, 0x00};
    if (!HasBytes(pBuf, nLen, 512) || !TextAt(pBuf, nLen, 0, "MZ")) return EXT_UNKNOWN;
    unsigned int nPeOffset = ReadLe32(pBuf + PE_LFANEW_OFFSET);
    if (nPeOffset > PE_MAX_LFANEW) return EXT_UNKNOWN;
    int nPe = static_cast<int>(nPeOffset);
    if (!SignatureAt(pBuf, nLen, nPe, ucPe)) return EXT_UNKNOWN;
    unsigned int nCharacteristics = ReadLe16(pBuf + nPe + PE_CHARACTERISTICS_OFFSET);
    if ((nCharacteristics & PE_FILE_EXECUTABLE_IMAGE) == 0) return EXT_UNKNOWN;
    if (nCharacteristics & PE_FILE_SYSTEM) return EXT_SYS;
    if (nCharacteristics & PE_FILE_DLL) return EXT_DLL;
    return EXT_EXE;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsGhoType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucHead[4] = {0xFE, 0xEF, 0x00, 0x00};
    return HasBytes(pBuf, nLen, 4) && SignatureAt(pBuf, nLen, 0, ucHead) ? EXT_GHO : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsSqlType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 16) && SignatureAt(pBuf, nLen, 0, szSqliteHead) ? EXT_DB : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsDbxEmailType(const unsigned char* pBuf, int nLen) {
    static constexpr unsigned char ucHead[4] = {0xCF, 0xAD, 0x12, 0xFE};
    return HasBytes(pBuf, nLen, 16) && SignatureAt(pBuf, nLen, 0, ucHead) ? EXT_DBX : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsPstEmailType(const unsigned char* pBuf, int nLen) {
    return HasBytes(pBuf, nLen, 16) && TextAt(pBuf, nLen, 0, "!BDN") && TextAt(pBuf, nLen, 8, "SM")
               ? EXT_PST
               : EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::IsTtfType(const unsigned char* pBuf, int nLen) {
    if (!HasBytes(pBuf, nLen, 16) || !SignatureAt(pBuf, nLen, 0, szTtfHead)) return EXT_UNKNOWN;
    unsigned int nTables = ReadBe16(pBuf + 4);
    if (nTables == 0 || ReadLe16(pBuf + 6) == 0 || ReadLe16(pBuf + 8) == 0 ||
        ReadLe16(pBuf + 10) == 0)
        return EXT_UNKNOWN;
    int nDirEnd = 16 * static_cast<int>(nTables) + 12;
    if (nDirEnd + 4 > nLen) return EXT_UNKNOWN;
    return SignatureAt(pBuf, nLen, nDirEnd, szTtfHead) ? EXT_TTF : EXT_UNKNOWN;
}
