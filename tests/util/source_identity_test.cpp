#include "util/source_identity.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fixtures/temp_dir.h"

namespace {

// A source of 3 MiB: past the first MiB only samples are read.
std::vector<unsigned char> SourceBytes() {
    std::vector<unsigned char> vec(3 << 20);
    for (size_t i = 0; i < vec.size(); ++i) vec[i] = static_cast<unsigned char>(i * 7 + i / 4096);
    return vec;
}

}  // namespace

TEST(SourceIdentity, FingerprintFollowsTheSourceAndItsChanges) {
    CTempDir dir;
    const std::string strImage = dir.File("card.img"), strCopy = dir.File("copy.img");
    std::vector<unsigned char> vecBytes = SourceBytes();
    ASSERT_TRUE(WriteWholeFile(strImage, vecBytes.data(), vecBytes.size()));
    ASSERT_TRUE(WriteWholeFile(strCopy, vecBytes.data(), vecBytes.size()));
    const unsigned long long u64First = SourceFingerprint(strImage.c_str());
    EXPECT_NE(u64First, 0u);
    EXPECT_EQ(SourceFingerprint(strImage.c_str()), u64First) << "unchanged";
    EXPECT_NE(SourceFingerprint(strCopy.c_str()), u64First) << "the same bytes in another file";
    EXPECT_EQ(SourceFingerprint(dir.File("missing").c_str()), 0u);

    // Rewritten in the head, at a sample or at the end, or grown: each is noticed even with the
    // file's time put back.
    for (size_t nAt : {size_t{100}, (vecBytes.size() / 16) * 5 + 10, vecBytes.size() - 1, vecBytes.size()}) {
        std::vector<unsigned char> vecChanged = vecBytes;
        if (nAt == vecBytes.size()) vecChanged.push_back(0); else vecChanged[nAt] ^= 0xFF;
        ASSERT_TRUE(WriteWholeFile(strImage, vecChanged.data(), vecChanged.size()));
        ASSERT_EQ(0, system(("touch -r " + strCopy + " " + strImage).c_str()));
        const unsigned long long u64Changed = SourceFingerprint(strImage.c_str());
        ASSERT_TRUE(WriteWholeFile(strImage, vecBytes.data(), vecBytes.size()));
        ASSERT_EQ(0, system(("touch -r " + strCopy + " " + strImage).c_str()));
        EXPECT_NE(u64Changed, SourceFingerprint(strImage.c_str())) << "byte " << nAt;
    }
}

TEST(SourceIdentity, CanonicalPathsOfOneSourceAgree) {
    CTempDir dir;
    const std::string strImage = dir.File("card.img");
    ASSERT_TRUE(WriteWholeFile(strImage, "x", 1));
    ASSERT_EQ(0, symlink(strImage.c_str(), dir.File("link.img").c_str()));
    const std::string strCanonical = CanonicalSourcePath(strImage);
    char szCwd[4096];
    ASSERT_NE(getcwd(szCwd, sizeof(szCwd)), nullptr);
    ASSERT_EQ(0, chdir(dir.Path().c_str()));
    for (const char* szSpelling : {"link.img", "./card.img", "card.img"})
        EXPECT_EQ(CanonicalSourcePath(szSpelling), strCanonical) << szSpelling;
    EXPECT_EQ(CanonicalSourcePath("gone.img"), CanonicalSourcePath(dir.Path()) + "/gone.img");
    ASSERT_EQ(0, chdir(szCwd));
    EXPECT_EQ(CanonicalSourcePath("/no/such/card.img"), "/no/such/card.img");
}
