// The type table's shape and the lookups built on it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "carving/file_type_judge.h"
#include "carving/type_table.h"

namespace {

using J = CFileTypeJudge;

TEST(TypeTable, EndsWithTheTerminatorAfter107Rows) {
    int nRows = 0;
    while (szExtendNameAndType[nRows].szExtendName != nullptr) ++nRows;
    EXPECT_EQ(nRows, 107);
    const _EXTEND_NAME_AND_TYPE_& end = szExtendNameAndType[107];
    EXPECT_EQ(end.nFileType, EXT_UNKNOWN);
    EXPECT_EQ(end.pfnIsType, nullptr);
    EXPECT_EQ(end.pfnGetFileBytesSize, nullptr);
    for (int i = 0; i < nRows; ++i) {
        SCOPED_TRACE(szExtendNameAndType[i].szExtendName);
        EXPECT_NE(szExtendNameAndType[i].pfnIsType, nullptr);
        EXPECT_NE(szExtendNameAndType[i].nFileType, EXT_UNKNOWN);
        // Extensions are stored in lower case.
        for (const char* p = szExtendNameAndType[i].szExtendName; *p; ++p) EXPECT_FALSE(*p >= 'A' && *p <= 'Z');
        // Rows of one test name the same first bytes, so a row added later cannot narrow or
        // widen the walk's prefilter by accident.
        for (int j = 0; j < i; ++j) {
            const _EXTEND_NAME_AND_TYPE_& a = szExtendNameAndType[i];
            const _EXTEND_NAME_AND_TYPE_& b = szExtendNameAndType[j];
            if (a.pfnIsType != b.pfnIsType) continue;
            EXPECT_EQ(std::string(a.pLeadBytes ? a.pLeadBytes : "*", a.pLeadBytes ? a.nLeadBytes : 1),
                      std::string(b.pLeadBytes ? b.pLeadBytes : "*", b.pLeadBytes ? b.nLeadBytes : 1))
                << "with " << b.szExtendName;
            break;
        }
    }
}

TEST(TypeTable, WalkOrderPutsOverlappingSignaturesInTheirPlace) {
    auto RowOf = [](const char* szExt) {
        for (int i = 0; szExtendNameAndType[i].szExtendName != nullptr; ++i)
            if (strcmp(szExtendNameAndType[i].szExtendName, szExt) == 0) return i;
        return -1;
    };
    // Rows pinned by the order the walk relies on.
    EXPECT_EQ(RowOf("mpeg"), 0);
    EXPECT_EQ(RowOf("webm"), RowOf("mkv") - 1);
    EXPECT_EQ(RowOf("fla"), 25);
    EXPECT_EQ(RowOf("doc"), 46);
    EXPECT_EQ(RowOf("docx"), 61);
    EXPECT_EQ(RowOf("zip"), 83);
    EXPECT_EQ(RowOf("exe"), 86);
    EXPECT_EQ(RowOf("ico"), 45);
    // Camera RAW stands right before TIFF, which would claim its heads.
    EXPECT_EQ(RowOf("cr2"), 35);
    EXPECT_EQ(RowOf("tif"), 43);
    // "xlsx" stands twice (rows 66 and 69, counting from 1), identical both times.
    EXPECT_STREQ(szExtendNameAndType[65].szExtendName, "xlsx");
    EXPECT_STREQ(szExtendNameAndType[68].szExtendName, "xlsx");
    EXPECT_EQ(szExtendNameAndType[65].pfnIsType, szExtendNameAndType[68].pfnIsType);
    // fla and ico have second rows near the end, identical to the first ones.
    EXPECT_STREQ(szExtendNameAndType[93].szExtendName, "fla");
    EXPECT_EQ(szExtendNameAndType[93].pfnIsType, szExtendNameAndType[25].pfnIsType);
    EXPECT_STREQ(szExtendNameAndType[95].szExtendName, "ico");
    EXPECT_EQ(szExtendNameAndType[95].pfnGetFileBytesSize, szExtendNameAndType[45].pfnGetFileBytesSize);
    // The heads no earlier row accepts follow them.
    EXPECT_EQ(RowOf("heic"), 96);
    // Executables and ghost images have no size rule; every other format has one.
    for (int i = 0; szExtendNameAndType[i].szExtendName != nullptr; ++i) {
        std::string strExt = szExtendNameAndType[i].szExtendName;
        bool bNoRule = strExt == "exe" || strExt == "dll" || strExt == "sys" || strExt == "gho";
        EXPECT_EQ(szExtendNameAndType[i].pfnGetFileBytesSize == nullptr, bNoRule) << strExt;
    }
}

TEST(TypeTable, EveryCodeHasAFirstRowThatNamesIt) {
    // Codes without a name (EXT_UNKNOWN, the unused 59) have no row.
    const char* szNames[EXT_LARGEST_CODE + 1] = {
        "doc", "docx", "ole", "xls", "xlsx", "ppt", "pptx", "mso07", "pdf", "gho", "jpg", "mp2", "mp3",
        "mid", "mmf", "mpeg", "3gp", "mov", "mp4", "mkv", "ts", "wav", "avi", "rmvb", "wmv", "ape",
        "swf", "flv", "psd", "bmp", "png", "gif", "tif", "cab", "7z", "zip", "gz", "rar", "pst", "db",
        "dbx", "exe", "dll", "sys", "fla", "ttf", "ico", "mts", "mxf", nullptr, "heic", "avif", "cr3", "m4a",
        "webp", "webm", "flac", "ogg", "opus", nullptr, "cr2", "nef", "arw", "dng", "orf", "rw2", "pef", "raf"};
    for (int nCode = 0; nCode <= EXT_LARGEST_CODE; ++nCode) {
        const _EXTEND_NAME_AND_TYPE_* pRow = FindFirstRowOfType(static_cast<EXTEND_NAME_TYPE>(nCode));
        if (szNames[nCode] == nullptr) {
            EXPECT_EQ(pRow, nullptr) << nCode;
            continue;
        }
        ASSERT_NE(pRow, nullptr) << nCode;
        EXPECT_STREQ(pRow->szExtendName, szNames[nCode]) << nCode;
    }
}

TEST(TypeTable, ExtensionLookupIgnoresCaseAndKnowsOnlyTableRows) {
    EXPECT_EQ(J::GetExtendNameType("JPEG"), EXT_JPG);
    EXPECT_EQ(J::GetExtendNameType("jPe"), EXT_JPG);
    EXPECT_EQ(J::GetExtendNameType("ETT"), EXT_XLS);
    EXPECT_EQ(J::GetExtendNameType("Mso07"), EXT_MSO07);
    EXPECT_EQ(J::GetExtendNameType("sys"), EXT_SYS);
    EXPECT_EQ(J::GetExtendNameType("HEIF"), EXT_HEIC);
    EXPECT_EQ(J::GetExtendNameType("m4p"), EXT_UNKNOWN);
    EXPECT_EQ(J::GetExtendNameType(""), EXT_UNKNOWN);
    EXPECT_EQ(J::GetExtendNameType(".jpg"), EXT_UNKNOWN);  // the dot is not part of it
    EXPECT_EQ(J::GetExtendNameType(nullptr), EXT_UNKNOWN);
    std::string strLong(5000, 'a');
    EXPECT_EQ(J::GetExtendNameType(strLong.c_str()), EXT_UNKNOWN);
}

}  // namespace
