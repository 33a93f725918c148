#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "fixtures/temp_dir.h"
#include "util/path.h"
#include "util/text.h"

namespace {

void ExpectSplit(const char* szPath, const char* szDir, const char* szFname, const char* szExt) {
    SCOPED_TRACE(szPath != nullptr ? szPath : "(null)");
    char szParts[4][KORVALO_PATH_PART_SIZE];
    memset(szParts, 'X', sizeof(szParts));
    _splitpath(szPath, szParts[0], szParts[1], szParts[2], szParts[3]);
    EXPECT_STREQ("", szParts[0]);
    EXPECT_STREQ(szDir, szParts[1]);
    EXPECT_STREQ(szFname, szParts[2]);
    EXPECT_STREQ(szExt, szParts[3]);
}

TEST(SplitPath, Parts) {
    ExpectSplit("/a/b/photo.jpg", "/a/b/", "photo", ".jpg");
    ExpectSplit("photo", "", "photo", "");
    ExpectSplit("/a.b/c", "/a.b/", "c", "");
    ExpectSplit("/a/b/", "/a/b/", "", "");
    ExpectSplit("dir/movie.tar.gz", "dir/", "movie.tar", ".gz");
    ExpectSplit("/x/.hidden", "/x/", "", ".hidden");
    ExpectSplit(nullptr, "", "", "");
}

TEST(SplitPath, LongPartsAreCutInsideTheirBuffers) {
    std::string strPath = "/" + std::string(400, 'd') + "/" + std::string(300, 'f') + "." + std::string(260, 'e');
    char szParts[3][KORVALO_PATH_PART_SIZE];
    _splitpath(strPath.c_str(), nullptr, szParts[0], szParts[1], szParts[2]);
    EXPECT_EQ("/" + std::string(KORVALO_PATH_PART_SIZE - 2, 'd'), szParts[0]);
    EXPECT_EQ(std::string(KORVALO_PATH_PART_SIZE - 1, 'f'), szParts[1]);
    EXPECT_EQ("." + std::string(KORVALO_PATH_PART_SIZE - 2, 'e'), szParts[2]);

    char szExt[KORVALO_PATH_PART_SIZE + 8];
    memset(szExt, '#', sizeof(szExt));
    EXPECT_EQ(0, GetExtendName(("x." + std::string(600, 'e')).c_str(), szExt));
    EXPECT_EQ(size_t(KORVALO_PATH_PART_SIZE - 1), strlen(szExt));
    EXPECT_EQ('#', szExt[KORVALO_PATH_PART_SIZE]);
}

TEST(ExtendName, TextAfterTheLastDot) {
    char szExt[KORVALO_PATH_PART_SIZE];
    EXPECT_EQ(0, GetExtendName("archive.tar.gz", szExt));
    EXPECT_STREQ("gz", szExt);
    EXPECT_EQ(0, GetExtendName("name.", szExt));
    EXPECT_STREQ("", szExt);
    EXPECT_EQ(87, GetExtendName("README", szExt));
    EXPECT_EQ(87, GetExtendName(nullptr, szExt));
}

TEST(SafePathComponent, NamesCannotLeaveTheirFolder) {
    EXPECT_EQ(L"_", MakeSafePathComponent(L".."));
    EXPECT_EQ(L"_", MakeSafePathComponent(L"."));
    EXPECT_EQ(L"_", MakeSafePathComponent(L""));
    EXPECT_EQ(L".._etc_passwd", MakeSafePathComponent(L"../etc/passwd"));
    EXPECT_EQ(L"..x", MakeSafePathComponent(L"..x"));
    EXPECT_EQ(L"a_b", MakeSafePathComponent(std::wstring(L"a\0b", 3)));
}

TEST(PathDirIndex, CountsSeparatorsButNotTheLastCharacter) {
    int nCount = -1;
    EXPECT_EQ(0, GetPathDirIndex(L"/Users/x/Desktop", nCount));
    EXPECT_EQ(3, nCount);
    EXPECT_EQ(0, GetPathDirIndex(L"/Users/x/", nCount));
    EXPECT_EQ(2, nCount);
    EXPECT_EQ(0, GetPathDirIndex(L"C:\\a\\b/c", nCount));
    EXPECT_EQ(3, nCount);
    EXPECT_EQ(0, GetPathDirIndex(L"/", nCount));
    EXPECT_EQ(0, nCount);
    EXPECT_EQ(87, GetPathDirIndex(nullptr, nCount));
}

class RealFileName : public ::testing::Test {
protected:
    void Touch(const std::string& strName) { ASSERT_TRUE(WriteWholeFile(m_dir.File(strName), "x", 1)); }
    // The destination chosen for strName in the temporary folder, back as UTF-8.
    std::string Destination(const std::string& strName) {
        wchar_t wszOut[1024];
        EXPECT_EQ(0, GetRealFileName(m_dir.File(strName).c_str(), wszOut, 1024));
        return Unicode2Path(wszOut);
    }
    CTempDir m_dir;
};

TEST_F(RealFileName, NumberGoesBeforeTheLastExtension) {
    EXPECT_EQ(m_dir.File("new.jpg"), Destination("new.jpg"));
    Touch("a.jpg");
    Touch("a(1).jpg");
    EXPECT_EQ(m_dir.File("a(2).jpg"), Destination("a.jpg"));
    Touch("movie.tar.gz");
    EXPECT_EQ(m_dir.File("movie.tar(1).gz"), Destination("movie.tar.gz"));
    Touch("notes");
    EXPECT_EQ(m_dir.File("notes(1)"), Destination("notes"));
    ASSERT_EQ(0, mkdir(m_dir.File("photo").c_str(), 0755));
    EXPECT_EQ(m_dir.File("photo(1)"), Destination("photo"));
    Touch("照片.jpg");
    EXPECT_EQ(m_dir.File("照片(1).jpg"), Destination("照片.jpg"));
}

TEST_F(RealFileName, RefusesWhenTheNameDoesNotFit) {
    Touch("b.jpg");
    const std::string strPath = m_dir.File("b.jpg");
    std::wstring strWanted = Path2Unicode(m_dir.File("b(1).jpg").c_str());
    int nExact = static_cast<int>(strWanted.size()) + 1;
    wchar_t wszOut[1024];
    wmemset(wszOut, L'#', 1024);
    EXPECT_EQ(87, GetRealFileName(strPath.c_str(), wszOut, nExact - 1));
    EXPECT_EQ(87, GetRealFileName(strPath.c_str(), wszOut, 0));
    EXPECT_EQ(L'#', wszOut[0]);  // nothing written on refusal
    EXPECT_EQ(0, GetRealFileName(strPath.c_str(), wszOut, nExact));
    EXPECT_EQ(strWanted, wszOut);
    EXPECT_EQ(L'#', wszOut[nExact]);
    EXPECT_EQ(87, GetRealFileName(nullptr, wszOut, 1024));
}

}  // namespace
