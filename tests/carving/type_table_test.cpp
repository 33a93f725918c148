// The type table's shape and the lookups built on it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "carving/file_type_judge.h"
#include "carving/type_table.h"

namespace {

using J = CFileTypeJudge;

TEST(TypeTable, EndsWithTheTerminatorAfter95Rows) {
    int nRows = 0;
    while (szExtendNameAndType[nRows].szExtendName != nullptr) ++nRows;
    EXPECT_EQ(nRows, 95);
    const _EXTEND_NAME_AND_TYPE_& end = szExtendNameAndType[95];
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
    EXPECT_EQ(RowOf("fla"), 24);
    EXPECT_EQ(RowOf("doc"), 45);
    EXPECT_EQ(RowOf("docx"), 60);
    EXPECT_EQ(RowOf("zip"), 82);
    EXPECT_EQ(RowOf("exe"), 85);
    EXPECT_EQ(RowOf("ico"), 44);
    // Camera RAW stands right before TIFF, which would claim its heads.
    EXPECT_EQ(RowOf("cr2"), 34);
    EXPECT_EQ(RowOf("tif"), 42);
    // "xlsx" stands twice (rows 65 and 68, counting from 1), identical both times.
    EXPECT_STREQ(szExtendNameAndType[64].szExtendName, "xlsx");
    EXPECT_STREQ(szExtendNameAndType[67].szExtendName, "xlsx");
    EXPECT_EQ(szExtendNameAndType[64].pfnIsType, szExtendNameAndType[67].pfnIsType);
    // fla and ico have second rows near the end, identical to the first ones.
    EXPECT_STREQ(szExtendNameAndType[92].szExtendName, "fla");
    EXPECT_EQ(szExtendNameAndType[92].pfnIsType, szExtendNameAndType[24].pfnIsType);
    EXPECT_STREQ(szExtendNameAndType[94].szExtendName, "ico");
    EXPECT_EQ(szExtendNameAndType[94].pfnGetFileBytesSize, szExtendNameAndType[44].pfnGetFileBytesSize);
    // Executables and ghost images have no size rule; every other format has one.
    for (int i = 0; szExtendNameAndType[i].szExtendName != nullptr; ++i) {
        std::string strExt = szExtendNameAndType[i].szExtendName;
        bool bNoRule = strExt == "exe" || strExt == "dll" || strExt == "sys" || strExt == "gho";
        EXPECT_EQ(szExtendNameAndType[i].pfnGetFileBytesSize == nullptr, bNoRule) << strExt;
    }
}

TEST(TypeTable, EveryCodeHasAFirstRowThatNamesIt) {
    const char* szNames[EXT_UNKNOWN] = {
        "doc", "docx", "ole", "xls", "xlsx", "ppt", "pptx", "mso07", "pdf", "gho", "jpg", "mp2", "mp3",
        "mid", "mmf", "mpeg", "3gp", "mov", "mp4", "mkv", "ts", "wav", "avi", "rmvb", "wmv", "ape",
        "swf", "flv", "psd", "bmp", "png", "gif", "tif", "cab", "7z", "zip", "gz", "rar", "pst", "db",
        "dbx", "exe", "dll", "sys", "fla", "ttf", "ico", "mts", "mxf"};
    for (int nCode = 0; nCode < EXT_UNKNOWN; ++nCode) {
        const _EXTEND_NAME_AND_TYPE_* pRow = FindFirstRowOfType(static_cast<EXTEND_NAME_TYPE>(nCode));
        ASSERT_NE(pRow, nullptr) << nCode;
        EXPECT_STREQ(pRow->szExtendName, szNames[nCode]) << nCode;
    }
    EXPECT_EQ(FindFirstRowOfType(EXT_UNKNOWN), nullptr);
    const char* szRawNames[] = {"cr2", "nef", "arw", "dng", "orf", "rw2", "pef", "raf"};
    for (int nCode = EXT_CR2; nCode <= EXT_LARGEST_CODE; ++nCode) {
        const _EXTEND_NAME_AND_TYPE_* pRow = FindFirstRowOfType(static_cast<EXTEND_NAME_TYPE>(nCode));
        ASSERT_NE(pRow, nullptr) << nCode;
        EXPECT_STREQ(pRow->szExtendName, szRawNames[nCode - EXT_CR2]);
    }
}

TEST(TypeTable, ExtensionLookupIgnoresCaseAndKnowsOnlyTableRows) {
    EXPECT_EQ(J::GetExtendNameType("JPEG"), EXT_JPG);
    EXPECT_EQ(J::GetExtendNameType("jPe"), EXT_JPG);
    EXPECT_EQ(J::GetExtendNameType("ETT"), EXT_XLS);
    EXPECT_EQ(J::GetExtendNameType("Mso07"), EXT_MSO07);
    EXPECT_EQ(J::GetExtendNameType("sys"), EXT_SYS);
    EXPECT_EQ(J::GetExtendNameType("m4a"), EXT_UNKNOWN);
    EXPECT_EQ(J::GetExtendNameType(""), EXT_UNKNOWN);
    EXPECT_EQ(J::GetExtendNameType(".jpg"), EXT_UNKNOWN);  // the dot is not part of it
    EXPECT_EQ(J::GetExtendNameType(nullptr), EXT_UNKNOWN);
    std::string strLong(5000, 'a');
    EXPECT_EQ(J::GetExtendNameType(strLong.c_str()), EXT_UNKNOWN);
}

}  // namespace
