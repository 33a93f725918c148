#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fixtures/debug_capture.h"
#include "fixtures/disk_list.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "session/fast_ext_recovery.h"
#include "session/recovery_factory.h"
#include "util/text.h"

namespace {

std::unique_ptr<IFileRecoveryParse> CreateOnDisk(long long llStart, long long llCount, RECOVERY_TYPE eType) {
    return std::unique_ptr<IFileRecoveryParse>(
        CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(0, llStart, llCount, L'C', eType));
}

std::unique_ptr<IFileRecoveryParse> CreateOnImage(const std::string& strPath, RECOVERY_TYPE eType) {
    std::wstring wstrPath = Path2Unicode(strPath.c_str());
    return std::unique_ptr<IFileRecoveryParse>(
        CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(&wstrPath[0], L'C', eType));
}

}  // namespace

TEST(EngineDecision, FirstVolumeTestThatHoldsPicksTheFastEngine) {
    const RECOVERY_TYPE fast = RECOVERY_TYPE_FAST;
    EXPECT_EQ(CFileRecoveryFactory::DecideEngineKind(true, false, false, fast), ENGINE_KIND_FAST_NTFS);
    EXPECT_EQ(CFileRecoveryFactory::DecideEngineKind(false, true, false, fast), ENGINE_KIND_FAST_FAT);
    EXPECT_EQ(CFileRecoveryFactory::DecideEngineKind(false, false, true, fast), ENGINE_KIND_FAST_EXT);
    EXPECT_EQ(CFileRecoveryFactory::DecideEngineKind(false, false, false, fast), ENGINE_KIND_NONE);
    // NTFS wins over FAT, FAT over ext.
    EXPECT_EQ(CFileRecoveryFactory::DecideEngineKind(true, true, true, fast), ENGINE_KIND_FAST_NTFS);
    EXPECT_EQ(CFileRecoveryFactory::DecideEngineKind(false, true, true, fast), ENGINE_KIND_FAST_FAT);
}

TEST(EngineDecision, ProfessionalKindIsAlwaysTheDeepScan) {
    for (RECOVERY_TYPE eType : {1, 2, -1}) {
        for (int nMask = 0; nMask < 8; ++nMask) {
            EXPECT_EQ(CFileRecoveryFactory::DecideEngineKind(nMask & 1, nMask & 2, nMask & 4, eType),
                      ENGINE_KIND_PROFESSIONAL);
        }
    }
}

TEST(EngineDecision, RealVolumesAreRecognisedFromTheirFirst16KiB) {
    CTempDir dir;
    struct Case {
        std::string strName;
        bool bMade;
        ENGINE_KIND eExpected;
    };
    std::vector<Case> vecCases = {
        {"fat12.img", MakeFatImage(dir.File("fat12.img"), 12, 4), ENGINE_KIND_FAST_FAT},
        {"fat32.img", MakeFatImage(dir.File("fat32.img"), 32, 40), ENGINE_KIND_FAST_FAT},
        {"ntfs.img", MakeNtfsImage(dir.File("ntfs.img"), 8), ENGINE_KIND_FAST_NTFS},
        {"ext4.img", MakeExtImage(dir.File("ext4.img"), "ext4", 8), ENGINE_KIND_FAST_EXT},
        {"zero.img", MakeZeroImage(dir.File("zero.img"), 1 << 20), ENGINE_KIND_NONE},
    };
    for (const Case& c : vecCases) {
        if (!c.bMade) {
            std::cout << "[  SKIPPED ] could not make " << c.strName << " (mkfs tool missing?)\n";
            continue;
        }
        std::vector<unsigned char> vecHead(FACTORY_PROBE_BYTES);
        FILE* pFile = fopen(dir.File(c.strName).c_str(), "rb");
        ASSERT_NE(pFile, nullptr);
        ASSERT_EQ(fread(vecHead.data(), 1, vecHead.size(), pFile), vecHead.size());
        fclose(pFile);
        EXPECT_EQ(CFileRecoveryFactory::ChooseEngineKind(vecHead.data(), RECOVERY_TYPE_FAST), c.eExpected)
            << c.strName;
        EXPECT_EQ(CFileRecoveryFactory::ChooseEngineKind(vecHead.data(), RECOVERY_TYPE_PROFESSIONAL),
                  ENGINE_KIND_PROFESSIONAL)
            << c.strName;
    }
}

TEST(EngineDecision, NtfsBootSectorWinsOverAnExtSuperblockBehindIt) {
    CTempDir dir;
    if (!MakeNtfsImage(dir.File("ntfs.img"), 8) || !MakeExtImage(dir.File("ext.img"), "ext2", 8))
        GTEST_SKIP() << "mkntfs or mke2fs missing";
    std::vector<unsigned char> vecNtfs(FACTORY_PROBE_BYTES), vecExt(FACTORY_PROBE_BYTES);
    FILE* pNtfs = fopen(dir.File("ntfs.img").c_str(), "rb");
    FILE* pExt = fopen(dir.File("ext.img").c_str(), "rb");
    ASSERT_TRUE(pNtfs && pExt);
    ASSERT_EQ(fread(vecNtfs.data(), 1, vecNtfs.size(), pNtfs), vecNtfs.size());
    ASSERT_EQ(fread(vecExt.data(), 1, vecExt.size(), pExt), vecExt.size());
    fclose(pNtfs);
    fclose(pExt);
    // A volume reformatted from ext to NTFS keeps the old superblock at byte 1024.
    memcpy(&vecNtfs[1024], &vecExt[1024], 1024);
    EXPECT_EQ(CFileRecoveryFactory::ChooseEngineKind(vecNtfs.data(), RECOVERY_TYPE_FAST), ENGINE_KIND_FAST_NTFS);
}

TEST(RecoveryFactory, ExtVolumeOnADiskGetsTheExtEngineBoundToTheArea) {
    CTempDir dir;
    // The ext volume starts 2048 sectors into the disk, like a first partition.
    std::string strVolume = dir.File("vol.img");
    if (!MakeExtImage(strVolume, "ext4", 8)) GTEST_SKIP() << "mke2fs missing";
    std::string strDisk = dir.File("disk.img");
    ASSERT_TRUE(RunQuiet("dd if=" + strVolume + " of=" + strDisk + " bs=512 seek=2048 conv=notrunc"));
    CScopedDiskList disks({strDisk});

    std::unique_ptr<IFileRecoveryParse> pEngine = CreateOnDisk(2048, 16384, RECOVERY_TYPE_FAST);
    auto* pExt = dynamic_cast<CFastExtRecovery*>(pEngine.get());
    ASSERT_NE(pExt, nullptr);
    EXPECT_EQ(pExt->GetStartSector(), 2048);
    EXPECT_EQ(pExt->GetSectorCount(), 16384);

    // Sector 0 of that disk holds no volume: no fast engine.
    EXPECT_EQ(CreateOnDisk(0, 16384, RECOVERY_TYPE_FAST), nullptr);
}

TEST(RecoveryFactory, FailuresGiveNoEngineAndOneLogLine) {
    CTempDir dir;
    std::string strSmall = dir.File("small.img");
    ASSERT_TRUE(MakeZeroImage(strSmall, 8192));
    CScopedDiskList disks({strSmall});
    {
        // Shorter than the probe: no fast engine can be told from zeros, the deep scan needs none.
        CDebugCapture capture;
        EXPECT_EQ(CreateOnDisk(0, 16, RECOVERY_TYPE_FAST), nullptr);
        EXPECT_NE(CreateOnDisk(0, 16, RECOVERY_TYPE_PROFESSIONAL), nullptr);
        EXPECT_TRUE(capture.Lines().empty());
    }
    {
        CDebugCapture capture;
        EXPECT_EQ(CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(5, 0, 16, L'C', 1), nullptr);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{"Open Failed\n"});
    }
    {
        CDebugCapture capture;
        EXPECT_EQ(CreateOnDisk(-1, 16, RECOVERY_TYPE_FAST), nullptr);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{"lseek Failed\n"});
    }
}

TEST(RecoveryFactory, ImageForm) {
    CTempDir dir;
    std::string strExt = dir.File("ext 4 image.img");
    if (!MakeExtImage(strExt, "ext4", 8)) GTEST_SKIP() << "mke2fs missing";
    std::unique_ptr<IFileRecoveryParse> pEngine = CreateOnImage(strExt, RECOVERY_TYPE_FAST);
    EXPECT_NE(dynamic_cast<CFastExtRecovery*>(pEngine.get()), nullptr);

    CDebugCapture capture;
    EXPECT_EQ(CreateOnImage(dir.File("missing.img"), RECOVERY_TYPE_FAST), nullptr);
    std::string strSmall = dir.File("small.img");
    ASSERT_TRUE(MakeZeroImage(strSmall, 100));
    EXPECT_EQ(CreateOnImage(strSmall, RECOVERY_TYPE_FAST), nullptr);
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_EQ(CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(nullptr, L'C', 0), nullptr);
}

TEST(FastExtRecovery, FindsNothingAndLeavesTheWholeAreaToTheSweep) {
    CTempDir dir;
    std::string strImage = dir.File("ext.img");
    if (!MakeExtImage(strImage, "ext4", 8)) GTEST_SKIP() << "mke2fs missing";
    CScopedDiskList disks({strImage});
    CFastExtRecovery engine;
    ASSERT_EQ(engine.Init(0, 0, 16384, L'C'), 0);
    EXPECT_EQ(engine.ScanDevice(nullptr), 0);
    EXPECT_EQ(engine.GetLostFileCount(), 0u);

    std::vector<_FILE_NODE_> vecChildren;
    EXPECT_EQ(engine.GetChildrenFileNode(nullptr, 0, vecChildren), 0);
    EXPECT_TRUE(vecChildren.empty());
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    std::wstring wstrKey = L"*.jpg|*.other|";
    EXPECT_EQ(engine.SearchFileNode(&wstrKey[0], vecHits), 0);
    EXPECT_TRUE(vecHits.empty());

    // No bitmap: the caller must sweep everything rather than an empty list of free runs.
    EXPECT_NE(engine.BuildBitMapInfo(), 0);
    unsigned long long u64Start = 0, u64Count = 12345;
    engine.GetUnUsedSectorCount(u64Start, u64Count);
    EXPECT_EQ(u64Count, 0u);

    unsigned char szBuf[64];
    int nLen = sizeof(szBuf);
    wchar_t wszPreview[8] = {0};
    EXPECT_EQ(engine.PreView(nullptr, wszPreview, szBuf, nLen, nullptr, nullptr), 0);
    EXPECT_EQ(nLen, 0);
}

TEST(FastExtRecovery, InitReportsTheOpenError) {
    CScopedDiskList disks({"/nonexistent/disk.img"});
    CFastExtRecovery engine;
    EXPECT_EQ(engine.Init(0, 0, 16, L'C'), ENOENT);
}
