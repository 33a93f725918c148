// Volumes made by the real tools: mkntfs on an image file; files written and then really deleted
// through an ntfs-3g mount where FUSE works (as root), else placed with ntfscp and left alive.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "fixtures/ntfs_records.h"
#include "fixtures/ntfs3g_mount.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "ntfs/professional_ntfs_recovery.h"
#include "util/text.h"

namespace {
std::vector<uint8_t> ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::string, _FILE_NODE_> ByName(const std::vector<_FILE_NODE_>& vecNodes) {
    std::map<std::string, _FILE_NODE_> mapOut;
    for (const _FILE_NODE_& node : vecNodes) mapOut[node.szFileName] = node;
    return mapOut;
}
}  // namespace

TEST(NtfsRealVolumeTest, DeletedFilesInADeletedFolderComeBack) {
    if (!HaveTool("mkntfs")) GTEST_SKIP() << "mkntfs is not installed";
    CScopedAppHome home;
    CTempDir dir;
    const std::string strImage = dir.File("real.img");
    ASSERT_TRUE(MakeNtfsImage(strImage, 16));
    const std::vector<uint8_t> vecSmall = MakeTestBytes(200, 21);
    const std::vector<uint8_t> vecBig = MakeTestBytes(100000, 22);
    const std::vector<uint8_t> vecKeep = MakeTestBytes(3000, 23);
    {
        CNtfs3gMount mount(strImage, dir.File("mnt"));
        if (!mount.Mounted()) GTEST_SKIP() << "no ntfs-3g FUSE mount here (needs root and /dev/fuse)";
        const std::string strMnt = dir.File("mnt");
        ASSERT_EQ(0, mkdir((strMnt + "/Photos").c_str(), 0755));
        ASSERT_TRUE(WriteWholeFile(strMnt + "/Photos/small.txt", vecSmall.data(), vecSmall.size()));
        ASSERT_TRUE(WriteWholeFile(strMnt + "/Photos/big.bin", vecBig.data(), vecBig.size()));
        ASSERT_TRUE(WriteWholeFile(strMnt + "/keep.txt", vecKeep.data(), vecKeep.size()));
        ASSERT_TRUE(WriteWholeFile(strMnt + "/empty.txt", "", 0));
        ASSERT_TRUE(mount.Unmount());
        CNtfs3gMount again(strImage, strMnt);
        ASSERT_TRUE(again.Mounted());
        ASSERT_TRUE(RunQuiet("rm -r '" + strMnt + "/Photos' '" + strMnt + "/empty.txt'"));
        ASSERT_TRUE(again.Unmount());
    }

    CProfessionalNtfsRecovery engine;
    std::wstring strPath = Path2Unicode(strImage.c_str());
    ASSERT_EQ(0, engine.Init(&strPath[0], L'F'));
    EXPECT_EQ(1u, engine.GetMftRunListMap().size());  // from the boot sector
    std::wstring strStore = L"Pro_Ntfs_real";
    ASSERT_EQ(0, engine.InitProfessionalScan(&strStore[0]));
    ASSERT_GT(SweepNtfsRecords(strImage, engine), 0);
    engine.ParseProfessionalRecordVec();

    std::vector<_FILE_NODE_> vecRoot;
    ASSERT_EQ(0, engine.GetChildrenFileNode(nullptr, 0, vecRoot));
    std::map<std::string, _FILE_NODE_> mapRoot = ByName(vecRoot);
    ASSERT_EQ(1u, mapRoot.count("Photos"));
    ASSERT_EQ(1u, mapRoot.count("keep.txt"));
    ASSERT_EQ(1u, mapRoot.count("empty.txt"));
    EXPECT_EQ(0u, mapRoot["empty.txt"].u64FileSize);
    EXPECT_EQ(1, mapRoot["Photos"].bIsDir);

    std::vector<_FILE_NODE_> vecPhotos;
    ASSERT_EQ(0, engine.GetChildrenFileNode(&mapRoot["Photos"], 1, vecPhotos));
    std::map<std::string, _FILE_NODE_> mapPhotos = ByName(vecPhotos);
    ASSERT_EQ(1u, mapPhotos.count("small.txt"));
    ASSERT_EQ(1u, mapPhotos.count("big.bin"));

    ASSERT_EQ(0, mkdir(dir.File("out").c_str(), 0755));
    auto save = [&](_FILE_NODE_& node, const std::string& strName) {
        std::wstring strTarget = Path2Unicode(dir.File("out/" + strName).c_str());
        EXPECT_EQ(0, engine.SaveFileData(&node, &strTarget[0], 0));
        return ReadFile(dir.File("out/" + strName));
    };
    EXPECT_EQ(vecSmall, save(mapPhotos["small.txt"], "small.txt"));
    EXPECT_EQ(vecBig, save(mapPhotos["big.bin"], "big.bin"));
    EXPECT_EQ(vecKeep, save(mapRoot["keep.txt"], "keep.txt"));
    EXPECT_TRUE(save(mapRoot["empty.txt"], "empty.txt").empty());
}

TEST(NtfsRealVolumeTest, FilesPlacedWithNtfscpAreFound) {
    if (!HaveTool("mkntfs") || !HaveTool("ntfscp")) GTEST_SKIP() << "mkntfs or ntfscp is not installed";
    CScopedAppHome home;
    CTempDir dir;
    const std::string strImage = dir.File("cp.img");
    ASSERT_TRUE(MakeNtfsImage(strImage, 16));
    const std::vector<uint8_t> vecData = MakeTestBytes(50000, 31);
    ASSERT_TRUE(WriteWholeFile(dir.File("data.bin"), vecData.data(), vecData.size()));
    ASSERT_TRUE(RunQuiet("ntfscp -f '" + strImage + "' '" + dir.File("data.bin") + "' data.bin"));

    CProfessionalNtfsRecovery engine;
    std::wstring strPath = Path2Unicode(strImage.c_str());
    ASSERT_EQ(0, engine.Init(&strPath[0], L'F'));
    std::wstring strStore = L"Pro_Ntfs_cp";
    ASSERT_EQ(0, engine.InitProfessionalScan(&strStore[0]));
    SweepNtfsRecords(strImage, engine);
    engine.ParseProfessionalRecordVec();
    std::vector<_FILE_NODE_> vecRoot;
    ASSERT_EQ(0, engine.GetChildrenFileNode(nullptr, 0, vecRoot));
    std::map<std::string, _FILE_NODE_> mapRoot = ByName(vecRoot);
    ASSERT_EQ(1u, mapRoot.count("data.bin"));
    EXPECT_EQ(50000u, mapRoot["data.bin"].u64FileSize);
    ASSERT_EQ(0, mkdir(dir.File("out").c_str(), 0755));
    std::wstring strTarget = Path2Unicode(dir.File("out/data.bin").c_str());
    ASSERT_EQ(0, engine.SaveFileData(&mapRoot["data.bin"], &strTarget[0], 0));
    EXPECT_EQ(vecData, ReadFile(dir.File("out/data.bin")));
}
