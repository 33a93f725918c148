// The detection walk: table-order consequences, and the fast walk held to the plain table walk
// over random, crafted and real buffers.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "carving_test_disk.h"
#include "crafted_heads.h"
#include "fixtures/office_samples.h"

namespace {

using J = CFileTypeJudge;
using Bytes = std::vector<unsigned char>;

TEST(DetectionWalk, EmptyAndNullBuffersFindNothing) {
    unsigned char uc = 0;
    EXPECT_EQ(J::GetDataBufType(nullptr, 512), EXT_UNKNOWN);
    EXPECT_EQ(J::GetDataBufType(&uc, 0), EXT_UNKNOWN);
    EXPECT_EQ(J::GetDataBufTypeInTableOrder(nullptr, 512), EXT_UNKNOWN);
    Bytes vecZero(512, 0);
    EXPECT_EQ(J::GetDataBufType(vecZero.data(), 512), EXT_UNKNOWN);
}

TEST(DetectionWalk, AnswerIsTheTestsCodeNotTheRows) {
    // The PE rows are "exe", "dll", "sys" in that order, yet a DLL head reports the DLL code.
    Bytes vecDll = crafted::PeHead(0x80, 0x2102);
    EXPECT_EQ(J::GetDataBufType(vecDll.data(), 512), EXT_DLL);
    Bytes vecSys = crafted::PeHead(0x80, 0x3102);
    EXPECT_EQ(J::GetDataBufType(vecSys.data(), 512), EXT_SYS);
}

TEST(DetectionWalk, EveryCraftedHeadIsFoundByTheWalkAsByItsTest) {
    // In a full sector, each crafted head is claimed by its own test: no earlier row takes it.
    for (const CRAFTED_HEAD& head : CraftedHeads()) {
        SCOPED_TRACE(head.szWhat);
        Bytes vec = head.vecHead;
        vec.resize(512, 0);
        if (head.pfnTest == J::IsFlaType) continue;  // shares its head with the Office test
        EXPECT_EQ(J::GetDataBufType(vec.data(), 512), head.nExpected);
    }
}

// A disk whose sectors hold every kind of head the walk may meet, including the ones that read
// the device: transport streams, compound files and packages.
Bytes MixedImage() {
    Bytes vec;
    auto Add = [&vec](const Bytes& vecFile) {
        vec.insert(vec.end(), vecFile.begin(), vecFile.end());
        vec.resize((vec.size() + 511) / 512 * 512 + 512, 0);
    };
    Add(MakeWordDocumentSample());
    Add(MakeExcelWorkbookSample());
    Add(MakePowerPointSample());
    Add(MakeDocxSample());
    Add(MakeXlsxSample());
    Add(MakePptxSample());
    Add(MakeStoredZip({{"a.txt", "plain"}}));
    Bytes vecTs(8192, 0);
    for (size_t n = 0; n + 188 <= vecTs.size(); n += 188) vecTs[n] = 0x47, vecTs[n + 1] = 0x41;
    Add(vecTs);
    for (const CRAFTED_HEAD& head : CraftedHeads()) Add(head.vecHead);
    return vec;
}

// Both walks on every sector of the disk, and on every prefix length up to 64 of each sector.
void ExpectSameAnswersOnDisk(CCarvingTestDisk& disk, int& nFound) {
    for (unsigned long long s = 0; s < disk.SectorCount(); ++s) {
        Bytes vec = disk.Sector(s);
        for (int nLen : {512, 511, 200, 188, 64, 49, 48, 32, 16, 15, 12, 8, 4, 1}) {
            Bytes vecExact(vec.begin(), vec.begin() + nLen);
            vecExact.shrink_to_fit();
            disk.AimAt(s, static_cast<int>(s % 2));
            EXTEND_NAME_TYPE nPlain = J::GetDataBufTypeInTableOrder(vecExact.data(), nLen);
            EXTEND_NAME_TYPE nFast = J::GetDataBufType(vecExact.data(), nLen);
            ASSERT_EQ(nFast, nPlain) << "sector " << s << " length " << nLen;
            if (nPlain != EXT_UNKNOWN) ++nFound;
        }
    }
}

TEST(FastWalk, SameAnswerAsTheTableWalkOnCraftedAndOfficeSectors) {
    CCarvingTestDisk disk(MixedImage());
    ASSERT_TRUE(disk.Ready());
    int nFound = 0;
    ExpectSameAnswersOnDisk(disk, nFound);
    EXPECT_GT(nFound, 100);  // the comparison met real finds, not only misses
}

TEST(FastWalk, SameAnswerOnRandomAndMutatedBuffers) {
    std::mt19937 rng(20240611);
    std::vector<CRAFTED_HEAD> vecHeads = CraftedHeads();
    Bytes vecTsDisk(64 * 512, 0);
    for (size_t n = 0; n + 188 <= vecTsDisk.size(); n += 188) vecTsDisk[n] = 0x47, vecTsDisk[n + 1] = 1;
    CCarvingTestDisk disk(vecTsDisk);
    ASSERT_TRUE(disk.Ready());
    int nFound = 0;
    for (int i = 0; i < 200000; ++i) {
        int nLen = static_cast<int>(rng() % 600);
        Bytes vec(static_cast<size_t>(nLen));
        for (unsigned char& uc : vec) uc = static_cast<unsigned char>(rng());
        switch (i % 4) {
            case 0:  // plain random
                break;
            case 1:  // a crafted head, then random flips of its first bytes
            case 2: {
                const CRAFTED_HEAD& head = vecHeads[rng() % vecHeads.size()];
                size_t nCopy = std::min(head.vecHead.size(), vec.size());
                std::copy(head.vecHead.begin(), head.vecHead.begin() + nCopy, vec.begin());
                if (i % 4 == 2 && nLen > 0)
                    for (int f = 0; f < 2; ++f) vec[rng() % std::min<size_t>(vec.size(), 40)] ^= static_cast<unsigned char>(1u << (rng() % 8));
                break;
            }
            case 3:  // mostly zeros with a few random bytes
                for (unsigned char& uc : vec) uc = (rng() % 8) == 0 ? static_cast<unsigned char>(rng()) : 0;
                break;
        }
        vec.shrink_to_fit();
        disk.AimAt(rng() % disk.SectorCount(), static_cast<int>(rng() % 2));
        EXTEND_NAME_TYPE nPlain = J::GetDataBufTypeInTableOrder(vec.data(), nLen);
        ASSERT_EQ(J::GetDataBufType(vec.data(), nLen), nPlain) << "buffer " << i;
        if (nPlain != EXT_UNKNOWN) ++nFound;
    }
    EXPECT_GT(nFound, 10000);
}

// Real files of the system (pictures, fonts, archives) give real sector contents.
std::vector<std::string> RealSampleFiles() {
    std::vector<std::string> vecFiles;
    const char* szDirs[] = {"/usr/share/pixmaps", "/usr/share/icons/hicolor/48x48/apps",
                            "/usr/share/fonts/truetype/dejavu", "/usr/share/doc/libc6", "/usr/lib/x86_64-linux-gnu",
                            "/usr/share/sounds/alsa"};
    for (const char* szDir : szDirs) {
        DIR* pDir = opendir(szDir);
        if (pDir == nullptr) continue;
        int nTaken = 0;
        while (dirent* pEntry = readdir(pDir)) {
            if (pEntry->d_name[0] == '.' || nTaken >= 20) continue;
            vecFiles.push_back(std::string(szDir) + "/" + pEntry->d_name);
            ++nTaken;
        }
        closedir(pDir);
    }
    return vecFiles;
}

TEST(FastWalk, SameAnswerOnEverySectorOfRealFiles) {
    Bytes vecImage;
    for (const std::string& strFile : RealSampleFiles()) {
        FILE* pFile = fopen(strFile.c_str(), "rb");
        if (pFile == nullptr) continue;
        unsigned char ucBuf[4096];
        size_t nGot = 0;
        size_t nTaken = 0;
        // The first 64 KiB of each file: heads and the content right after them.
        while (nTaken < 65536 && (nGot = fread(ucBuf, 1, sizeof(ucBuf), pFile)) > 0) {
            vecImage.insert(vecImage.end(), ucBuf, ucBuf + nGot);
            nTaken += nGot;
        }
        fclose(pFile);
        vecImage.resize((vecImage.size() + 511) / 512 * 512, 0);
    }
    if (vecImage.size() < 512 * 16) GTEST_SKIP() << "no real files to read";
    CCarvingTestDisk disk(vecImage);
    ASSERT_TRUE(disk.Ready());
    int nFound = 0;
    ExpectSameAnswersOnDisk(disk, nFound);
    EXPECT_GT(nFound, 0);  // real pictures and fonts are among them
}

}  // namespace
