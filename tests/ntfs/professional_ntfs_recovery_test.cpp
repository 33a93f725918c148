#include "ntfs/professional_ntfs_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "fixtures/disk_list.h"
#include "fixtures/ntfs_records.h"
#include "fixtures/ntfs_synthetic_volume.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "util/text.h"

namespace {
std::map<std::string, _FILE_NODE_> ByName(const std::vector<_FILE_NODE_>& vecNodes) {
    std::map<std::string, _FILE_NODE_> mapOut;
    for (const _FILE_NODE_& node : vecNodes) mapOut[node.szFileName] = node;
    return mapOut;
}

class SyntheticVolumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strImage = m_dir.File("synthetic.img");
        ASSERT_TRUE(m_volume.Write(m_strImage));
        std::wstring strPath = Path2Unicode(m_strImage.c_str());
        ASSERT_EQ(0, m_engine.Init(&strPath[0], L'E'));
        std::wstring strStore = L"Pro_Ntfs_test";
        ASSERT_EQ(0, m_engine.InitProfessionalScan(&strStore[0]));
        ASSERT_GT(SweepNtfsRecords(m_strImage, m_engine), 0);
        m_engine.ParseProfessionalRecordVec();
    }

    std::map<std::string, _FILE_NODE_> Children(_FILE_NODE_* pParent, unsigned int nLevel) {
        std::vector<_FILE_NODE_> vecChildren;
        EXPECT_EQ(0, m_engine.GetChildrenFileNode(pParent, nLevel, vecChildren));
        return ByName(vecChildren);
    }

    CScopedAppHome m_home;
    CTempDir m_dir;
    std::string m_strImage;
    CSyntheticNtfsVolume m_volume;
    CProfessionalNtfsRecovery m_engine;
};
}  // namespace

TEST_F(SyntheticVolumeTest, RebuildsTheFolderTreeWithoutABootSector) {
    std::map<std::string, _FILE_NODE_> mapRoot = Children(nullptr, 0);
    for (const char* szName : {"one.bin", "empty.txt", "Long name.txt", "listed.bin", "early.txt", "notdir.txt", "Docs",
                               "Old", "LostFolder27"})
        EXPECT_EQ(1u, mapRoot.count(szName)) << szName;
    EXPECT_EQ(0u, mapRoot.count("$MFT"));       // system records make no node
    EXPECT_EQ(0u, mapRoot.count("torn.txt"));   // fails the update-sequence test
    EXPECT_EQ(0u, mapRoot.count("a.txt"));      // lives in Docs
    EXPECT_EQ(9u, mapRoot.size());

    EXPECT_EQ(1, mapRoot["Docs"].bIsDir);
    EXPECT_EQ(20u, mapRoot["Docs"].nDirIndex);
    std::map<std::string, _FILE_NODE_> mapDocs = Children(&mapRoot["Docs"], 1);
    EXPECT_EQ(2u, mapDocs.size());
    EXPECT_EQ(1u, mapDocs.count("a.txt"));
    EXPECT_EQ(1u, mapDocs.count("frag.bin"));

    std::map<std::string, _FILE_NODE_> mapOld = Children(&mapRoot["Old"], 1);
    EXPECT_EQ(1u, mapOld.count("inold.txt"));
    // Record 27 holds a file now: the orphan hangs from a lost folder named after the number.
    EXPECT_EQ(27u, mapRoot["LostFolder27"].nDirIndex);
    std::map<std::string, _FILE_NODE_> mapLost = Children(&mapRoot["LostFolder27"], 1);
    ASSERT_EQ(1u, mapLost.count("orphan.txt"));
    EXPECT_EQ(0, mapLost["orphan.txt"].bIsDir);

    std::vector<_FILE_NODE_> vecRefused;
    EXPECT_EQ(87, m_engine.GetChildrenFileNode(nullptr, 1, vecRefused));
    unsigned int nCount = 0;
    ASSERT_EQ(0, m_engine.GetChildrenFileCount(nullptr, 0, nCount));
    EXPECT_EQ(10u, nCount);  // every file below the root, folders not counted
}

TEST_F(SyntheticVolumeTest, NodesCarryTheRecordsGeometryNamesAndSizes) {
    std::map<std::string, _FILE_NODE_> mapRoot = Children(nullptr, 0);
    const _FILE_NODE_& oneRun = mapRoot["one.bin"];
    EXPECT_EQ(FILE_SOURCE_DEEP_NTFS, oneRun.nSourceType);
    EXPECT_EQ(L'E', oneRun.wcDrive);
    EXPECT_EQ(22u, oneRun.nDirIndex);
    EXPECT_EQ(4096u, oneRun.nClusterSize);
    EXPECT_EQ(10000u, oneRun.u64FileSize);  // from $DATA, not from the name attribute
    EXPECT_EQ(CSyntheticNtfsVolume::RecordSector(22), oneRun.u64RecordSector);
    // Met after the "$MFT" record: the volume start comes from that table.
    EXPECT_EQ(CSyntheticNtfsVolume::kVolumeStart, oneRun.u64PartitionStartSector);
    // Met before it: the area's start is assumed.
    EXPECT_EQ(0u, mapRoot["early.txt"].u64PartitionStartSector);

    const _FILE_NODE_& longName = mapRoot["Long name.txt"];
    EXPECT_EQ(1000u, longName.ftCreationTime.dwLowDateTime);  // times of the first (DOS) name
    EXPECT_EQ(1001u, longName.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(1003u, longName.ftLastAccessTime.dwLowDateTime);
    EXPECT_EQ(90u, longName.u64FileSize);

    ASSERT_EQ(1u, m_engine.GetMftRunListMap().count(CSyntheticNtfsVolume::RecordSector(0)));
    EXPECT_EQ(2u, m_engine.GetMftRunListMap().at(CSyntheticNtfsVolume::RecordSector(0)).size());
    EXPECT_EQ(8u, m_engine.GetSectorsPerCluster());
    // Folders remembered once each: Docs, Old, and the reused number 27.
    std::vector<unsigned int> vecDirs;
    for (const __SPECIAL_RECOVERY_DIR__& dir : m_engine.GetSpecialRecoveryDirs()) vecDirs.push_back(dir.nDirIndex);
    std::sort(vecDirs.begin(), vecDirs.end());
    EXPECT_EQ((std::vector<unsigned int>{20, 25, 27}), vecDirs);

    // The deleted folder's path is known to the store.
    std::map<std::string, _FILE_NODE_> mapOld = Children(&mapRoot["Old"], 1);
    wchar_t wszPath[256] = {};
    ASSERT_EQ(0, m_engine.GetFileNodeParentDirPath(&mapOld["inold.txt"], wszPath, 256));
    EXPECT_EQ(std::wstring(L"Old/"), wszPath);
}

TEST_F(SyntheticVolumeTest, RecordReadersReportTheirCodes) {
    std::vector<__RUNLIST__> vecRuns;
    EXPECT_EQ(0, m_engine.GetRunListInfo(CSyntheticNtfsVolume::RecordSector(23), 0x80, vecRuns));
    ASSERT_EQ(3u, vecRuns.size());
    EXPECT_EQ(-50, vecRuns[1].n64LcnOffset);
    EXPECT_EQ(-1, m_engine.GetRunListInfo(1, 0x80, vecRuns));
    EXPECT_EQ(87, m_engine.GetRunListInfo(CSyntheticNtfsVolume::RecordSector(30), 0x80, vecRuns));
    _FILE_NODE_ node = {};
    node.u64RecordSector = CSyntheticNtfsVolume::RecordSector(30);
    EXPECT_EQ(-100, m_engine.GetFileNodeRunListInfo(&node, 0x80, vecRuns));
    unsigned char szData[1024];
    unsigned int nLength = 0;
    EXPECT_EQ(-101, m_engine.GetFileNodeAttr0x80Data(&node, szData, nLength));
    node.u64RecordSector = CSyntheticNtfsVolume::RecordSector(21);
    ASSERT_EQ(0, m_engine.GetFileNodeAttr0x80Data(&node, szData, nLength));
    EXPECT_EQ(304u, nLength);  // 300 bytes padded to 8
    node.u64RecordSector = 1ull << 40;  // past the area
    EXPECT_EQ(-100, m_engine.GetFileNodeRunListInfo(&node, 0x80, vecRuns));
    EXPECT_EQ(87, m_engine.GetFileNodeRunListInfo(nullptr, 0x80, vecRuns));
}

TEST(ProfessionalNtfsTest, InfersClusterSizeFromDataAndKeepsItForResidentFiles) {
    CScopedAppHome home;
    CTempDir dir;
    std::string strImage = dir.File("spc.img");
    ASSERT_TRUE(MakeZeroImage(strImage, 8 << 20));  // 8 MiB: one sector per cluster by default
    std::wstring strPath = Path2Unicode(strImage.c_str());
    CProfessionalNtfsRecovery engine;
    ASSERT_EQ(0, engine.Init(&strPath[0], L'C'));
    EXPECT_EQ(1u, engine.GetSectorsPerCluster());
    std::wstring strStore = L"Pro_Ntfs_spc";
    ASSERT_EQ(0, engine.InitProfessionalScan(&strStore[0]));

    std::vector<uint8_t> vecResident = CNtfsRecordBuilder(40, 0).FileName(5, u"r.txt").ResidentData({1}).Build();
    ASSERT_EQ(0, engine.ParseNtfsFileRecord(vecResident.data(), 100));
    EXPECT_EQ(1u, engine.GetSectorsPerCluster());
    // 64 clusters allocated as 262,144 bytes.
    std::vector<uint8_t> vecLarge =
        CNtfsRecordBuilder(41, 0).FileName(5, u"big.bin").NonResidentData({{50, 64}}, 200000, 4096).Build();
    ASSERT_EQ(0, engine.ParseNtfsFileRecord(vecLarge.data(), 102));
    EXPECT_EQ(8u, engine.GetSectorsPerCluster());
    // A torn record claiming 3 sectors per cluster is not believed.
    std::vector<uint8_t> vecOdd =
        CNtfsRecordBuilder(42, 0).FileName(5, u"odd.bin").NonResidentData({{50, 2}}, 100, 1536).Build();
    ASSERT_EQ(0, engine.ParseNtfsFileRecord(vecOdd.data(), 104));
    EXPECT_EQ(8u, engine.GetSectorsPerCluster());

    // Folder records are left to the folder pass; broken headers give 87.
    std::vector<uint8_t> vecFolder = CNtfsRecordBuilder(43, 3).FileName(5, u"F").Build();
    EXPECT_EQ(0, engine.ParseNtfsFileRecord(vecFolder.data(), 106));
    std::vector<uint8_t> vecBroken = CNtfsRecordBuilder(44, 0).FileName(5, u"b").Build();
    vecBroken[24] = 0xFF;
    vecBroken[25] = 0x0F;
    EXPECT_EQ(87, engine.ParseNtfsFileRecord(vecBroken.data(), 108));
    EXPECT_EQ(3u, engine.GetLostFileCount());
}

TEST(ProfessionalNtfsTest, CraftedNamesCannotLeaveTheDestination) {
    CScopedAppHome home;
    CProfessionalNtfsRecovery engine;
    std::wstring strStore = L"Pro_Ntfs_names";
    ASSERT_EQ(0, engine.InitProfessionalScan(&strStore[0]));
    std::vector<uint8_t> vecDotDot = CNtfsRecordBuilder(40, 0).FileName(5, u"..").ResidentData({1}).Build();
    std::vector<uint8_t> vecSlash = CNtfsRecordBuilder(41, 0).FileName(5, u"../../etc/x").ResidentData({1}).Build();
    ASSERT_EQ(0, engine.ParseNtfsFileRecord(vecDotDot.data(), 100));
    ASSERT_EQ(0, engine.ParseNtfsFileRecord(vecSlash.data(), 102));
    std::vector<_FILE_NODE_> vecRoot;
    ASSERT_EQ(0, engine.GetChildrenFileNode(nullptr, 0, vecRoot));
    std::map<std::string, _FILE_NODE_> mapRoot = ByName(vecRoot);
    EXPECT_EQ(1u, mapRoot.count("_"));
    EXPECT_EQ(1u, mapRoot.count(".._.._etc_x"));
}

TEST(ProfessionalNtfsTest, BootSectorOfTheAreaSeedsTheTableMap) {
    CScopedAppHome home;
    CTempDir dir;
    std::string strImage = dir.File("boot.img");
    CSyntheticNtfsVolume volume;
    ASSERT_TRUE(volume.Write(strImage));
    ASSERT_TRUE(WriteImageAt(strImage, CSyntheticNtfsVolume::kVolumeStart * 512,
                             MakeNtfsBootSector(8, 8000, CSyntheticNtfsVolume::kMftRun1Lcn)));
    CScopedDiskList disks({strImage});
    CProfessionalNtfsRecovery engine;
    ASSERT_EQ(0, engine.Init(0, CSyntheticNtfsVolume::kVolumeStart, 8000, L'D'));
    ASSERT_EQ(1u, engine.GetMftRunListMap().size());
    EXPECT_EQ(CSyntheticNtfsVolume::RecordSector(0), engine.GetMftRunListMap().begin()->first);
    // With the table known from the start, a record of the second MFT run finds its volume.
    std::wstring strStore = L"Pro_Ntfs_boot";
    ASSERT_EQ(0, engine.InitProfessionalScan(&strStore[0]));
    std::vector<uint8_t> vecEarly = CNtfsRecordBuilder(33, 0).FileName(5, u"early.txt").ResidentData({1}).Build();
    ASSERT_EQ(0, engine.ParseNtfsFileRecord(vecEarly.data(), CSyntheticNtfsVolume::RecordSector(33)));
    std::vector<_FILE_NODE_> vecRoot;
    ASSERT_EQ(0, engine.GetChildrenFileNode(nullptr, 0, vecRoot));
    ASSERT_EQ(1u, vecRoot.size());
    EXPECT_EQ(CSyntheticNtfsVolume::kVolumeStart, vecRoot[0].u64PartitionStartSector);
}

TEST(ProfessionalNtfsTest, BrowsingWithoutAStoreAnswersQuietly) {
    CProfessionalNtfsRecovery engine;
    std::vector<_FILE_NODE_> vecNodes;
    unsigned int nCount = 7;
    EXPECT_EQ(0, engine.GetChildrenFileNode(nullptr, 0, vecNodes));
    EXPECT_EQ(0, engine.GetChildrenFileCount(nullptr, 0, nCount));
    EXPECT_EQ(0u, engine.GetLostFileCount());
    wchar_t wszPath[8];
    EXPECT_EQ(87, engine.GetFileNodeParentDirPath(nullptr, wszPath, 8));
    EXPECT_EQ(87, engine.InitSearchCallBack(nullptr, nullptr));
    std::vector<uint8_t> vecRecord = CNtfsRecordBuilder(40, 0).FileName(5, u"r.txt").ResidentData({1}).Build();
    EXPECT_EQ(0, engine.ParseNtfsFileRecord(vecRecord.data(), 100));
    EXPECT_TRUE(vecNodes.empty());
}
