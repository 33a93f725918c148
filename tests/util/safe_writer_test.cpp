// The safe writer: links and files planted in the destination are passed by, never followed or
// overwritten; taken names, refused paths, modes, and the owner of what it creates.
#include "util/safe_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fixtures/temp_dir.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::set<std::string> Entries(const std::string& strFolder) {
    std::set<std::string> setNames;
    for (const auto& entry : std::filesystem::directory_iterator(strFolder)) setNames.insert(entry.path().filename());
    return setNames;
}

mode_t Mode(const std::string& strPath) {
    struct stat st{};
    return lstat(strPath.c_str(), &st) == 0 ? st.st_mode : 0;
}

// DIR beside OUT, a folder outside it holding one file, "victim", that must never change.
class SafeWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, mkdir(m_strOut.c_str(), 0755));
        ASSERT_TRUE(WriteWholeFile(m_strOut + "/victim", "keep", 4));
        ASSERT_EQ(0, m_writer.Open(m_strDir + "/"));
    }
    void ExpectOutsideUntouched() const {
        EXPECT_EQ(std::set<std::string>{"victim"}, Entries(m_strOut));
        EXPECT_EQ(Bytes({'k', 'e', 'e', 'p'}), ReadWholeFile(m_strOut + "/victim"));
    }

    CTempDir m_tmp;
    const std::string m_strDir = m_tmp.File("DIR");
    const std::string m_strOut = m_tmp.File("OUT");
    CSafeWriter m_writer;
};

enum PlantKind { kFolder, kFile, kLinkToOut, kLinkToVictim, kDanglingLink };
struct PlantCase {
    const char* szWhat;
    std::vector<std::pair<const char*, PlantKind>> vecPlants;  // path below DIR, what is put there
    const char *szRequest, *szUsed;
};

TEST_F(SafeWriterTest, PlantedLinksAndTakenNamesArePassedByUnderUniqueNames) {
    const PlantCase kCases[] = {
        {"category folder is a link", {{"photo", kLinkToOut}}, "photo/x.jpg", "photo(1)/x.jpg"},
        {"file name links to a file", {{"photo", kFolder}, {"photo/x.jpg", kLinkToVictim}}, "photo/x.jpg",
         "photo/x(1).jpg"},
        {"file name is a dangling link", {{"photo", kFolder}, {"photo/x.jpg", kDanglingLink}}, "photo/x.jpg",
         "photo/x(1).jpg"},
        {"parent in a tree is a link", {{"Trip", kFolder}, {"Trip/Sub", kLinkToOut}}, "Trip/Sub/a.jpg",
         "Trip/Sub(1)/a.jpg"},
        {"a file, then a link", {{"photo", kFile}, {"photo(1)", kLinkToOut}}, "photo/x.jpg", "photo(2)/x.jpg"},
        {"taken by a file and a folder", {{"x.jpg", kFile}, {"x(1).jpg", kFolder}}, "x.jpg", "x(2).jpg"},
        {"no extension", {{"notes", kFile}}, "notes", "notes(1)"},
        {"nothing in the way", {}, "a/b/c.tar.gz", "a/b/c.tar.gz"},
    };
    int nCase = 0;
    for (bool bThroughActive : {false, true}) {
        for (const PlantCase& c : kCases) {
            SCOPED_TRACE(std::string(c.szWhat) + (bThroughActive ? " (active writer)" : " (writer)"));
            const std::string strRoot = m_tmp.File("DIR" + std::to_string(nCase++));
            ASSERT_EQ(0, mkdir(strRoot.c_str(), 0755));
            for (const auto& plant : c.vecPlants) {
                const std::string strAt = strRoot + "/" + plant.first;
                const char* szTarget = plant.second == kLinkToOut      ? m_strOut.c_str()
                                       : plant.second == kLinkToVictim ? "../../OUT/victim"
                                                                       : "../../OUT/new.jpg";
                ASSERT_EQ(0, plant.second == kFolder ? mkdir(strAt.c_str(), 0755)
                             : plant.second == kFile ? (WriteWholeFile(strAt, "old", 3) ? 0 : -1)
                                                     : symlink(szTarget, strAt.c_str()));
            }
            const mode_t oldMask = umask(027);  // the modes must not depend on the caller's umask
            CSafeWriter writer;
            ASSERT_EQ(0, writer.Open(strRoot));
            int hFile = -1;
            std::string strUsed;
            if (bThroughActive) {
                CActiveRecoveryWriterScope active(writer);
                ASSERT_EQ(0, CreateRecoveredFile(strRoot + "/" + c.szRequest, hFile, strUsed));
                EXPECT_EQ(strRoot + "/" + c.szUsed, strUsed);
            } else {
                ASSERT_EQ(0, writer.CreateFile(c.szRequest, hFile, strUsed));
                EXPECT_EQ(c.szUsed, strUsed);
            }
            umask(oldMask);
            ASSERT_EQ(4, write(hFile, "data", 4));
            close(hFile);
            EXPECT_EQ(Bytes({'d', 'a', 't', 'a'}), ReadWholeFile(strRoot + "/" + c.szUsed));
            EXPECT_EQ(S_IFREG | 0644u, Mode(strRoot + "/" + c.szUsed));
            for (size_t nSlash = 0; (nSlash = std::string(c.szUsed).find('/', nSlash + 1)) != std::string::npos;)
                EXPECT_EQ(S_IFDIR | 0755u, Mode(strRoot + "/" + std::string(c.szUsed, nSlash)));
            ExpectOutsideUntouched();
        }
    }
}

TEST_F(SafeWriterTest, RefusedPathsAndNamesTooLong) {
    std::string strUsed;
    int hFile = -1;
    for (const char* szBad : {"", "..", "a/../b", "/a", "a//b", "./a", "a/"}) {
        EXPECT_EQ(EINVAL, m_writer.MakeFolders(szBad, strUsed)) << szBad;
        EXPECT_EQ(EINVAL, m_writer.CreateFile(szBad, hFile, strUsed)) << szBad;
    }
    EXPECT_EQ(ENAMETOOLONG, m_writer.CreateFile(std::string(256, 'n') + ".jpg", hFile, strUsed));
    EXPECT_EQ(ENAMETOOLONG, m_writer.MakeFolders(std::string(256, 'd'), strUsed));
    // A name that just fits is taken: its numbered form does not fit, and is not cut to fit.
    const std::string strLongest = std::string(251, 'n') + ".jpg";
    ASSERT_TRUE(WriteWholeFile(m_strDir + "/" + strLongest, "old", 3));
    EXPECT_EQ(ENAMETOOLONG, m_writer.CreateFile(strLongest, hFile, strUsed));
    EXPECT_EQ(std::set<std::string>{strLongest}, Entries(m_strDir));
    // The search for a free name ends (the taken names are hard links: far quicker to make).
    ASSERT_TRUE(WriteWholeFile(m_strDir + "/x", "old", 3));
    for (int n = 1; n <= 10000; ++n)
        ASSERT_EQ(0, link((m_strDir + "/x").c_str(), (m_strDir + "/x(" + std::to_string(n) + ")").c_str()));
    EXPECT_EQ(EEXIST, m_writer.CreateFile("x", hFile, strUsed));
}

TEST_F(SafeWriterTest, ReplacedFilesNeverFollowALink) {
    ASSERT_EQ(0, symlink("../OUT/victim", (m_strDir + "/tmp.jpg").c_str()));
    int hFile = -1;
    ASSERT_EQ(0, m_writer.ReplaceFile("tmp.jpg", hFile));
    close(hFile);
    EXPECT_EQ(S_IFREG | 0644u, Mode(m_strDir + "/tmp.jpg"));
    ASSERT_EQ(0, symlink("../OUT", (m_strDir + "/sub").c_str()));
    EXPECT_EQ(ENOTDIR, m_writer.ReplaceFile("sub/victim", hFile));
    EXPECT_EQ(0, m_writer.RemoveFile("tmp.jpg"));
    EXPECT_EQ(ENOTDIR, m_writer.RemoveFile("sub/victim"));
    // Without an active writer a folder path is made through a writer on its parent.
    std::string strUsed;
    ASSERT_EQ(0, MakeRecoveredFolder(m_strDir + "/sub", strUsed));
    EXPECT_EQ(m_strDir + "/sub(1)", strUsed);
    EXPECT_EQ(std::set<std::string>({"sub", "sub(1)"}), Entries(m_strDir));
    ExpectOutsideUntouched();
}

TEST(SafeWriterOwner, EnvironmentValuesAreReadStrictly) {
    const unsigned kNone = static_cast<unsigned>(-1);
    struct Case {
        bool bRoot;
        const char *szSudoUid, *szSudoGid, *szPkexecUid;
        bool bGive;
        unsigned nUid, nGid;
    } const kCases[] = {
        {false, "1000", "1000", nullptr, false, kNone, kNone},    // only root can give files away
        {true, "1000", "1001", "7", true, 1000, 1001},            // sudo before pkexec
        {true, "65534", "staff", nullptr, true, 65534, 65534},    // a bad group: the user's own
        {true, nullptr, nullptr, "65534", true, 65534, 65534},    // pkexec: the user's primary group
        {true, "123456", nullptr, nullptr, true, 123456, kNone},  // no such user: group left alone
    };
    for (const Case& c : kCases) {
        const RecoveryOwner owner = RecoveryOwnerFrom(c.bRoot, c.szSudoUid, c.szSudoGid, c.szPkexecUid);
        EXPECT_EQ(c.bGive, owner.bGive) << c.szSudoUid;
        EXPECT_EQ(c.nUid, static_cast<unsigned>(owner.uid)) << c.szSudoUid;
        EXPECT_EQ(c.nGid, static_cast<unsigned>(owner.gid)) << c.szSudoUid;
    }
    for (const char* szBad : {"12x", "", "-5", " 7", "4294967295", "99999999999"})
        EXPECT_FALSE(RecoveryOwnerFrom(true, szBad, "5", szBad).bGive) << szBad;
}

TEST(SafeWriterOwner, WhatIsCreatedGoesToTheUserWhoStartedTheProgram) {
    if (geteuid() != 0) GTEST_SKIP() << "giving files away needs root";
    struct Case {
        const char *szSudoUid, *szSudoGid, *szPkexecUid;
        uid_t uid;
        gid_t gid;
    } const kCases[] = {
        {"65534", "65534", nullptr, 65534, 65534}, {nullptr, nullptr, "65534", 65534, 65534},
        {nullptr, nullptr, nullptr, 0, 0},         {"nobody", nullptr, nullptr, 0, 0},
    };
    for (const Case& c : kCases) {
        CScopedEnv sudoUid("SUDO_UID", c.szSudoUid), sudoGid("SUDO_GID", c.szSudoGid),
            pkexec("PKEXEC_UID", c.szPkexecUid);
        CTempDir tmp;
        CSafeWriter writer;
        ASSERT_EQ(0, writer.Open(tmp.File("new/DIR")));
        int hFile = -1;
        std::string strUsed;
        ASSERT_EQ(0, writer.CreateFile("photo/x.jpg", hFile, strUsed));
        close(hFile);
        for (const char* szPath : {"new", "new/DIR", "new/DIR/photo", "new/DIR/photo/x.jpg"}) {
            struct stat st{};
            ASSERT_EQ(0, lstat(tmp.File(szPath).c_str(), &st));
            EXPECT_EQ(c.uid, st.st_uid) << szPath;
            EXPECT_EQ(c.gid, st.st_gid) << szPath;
        }
    }
}

}  // namespace
