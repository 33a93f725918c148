// The deep FAT engine over real volumes made by mkfs.fat and changed with mtools, swept sector
// by sector as the deep scan does: deleted files and folders come back under their long names
// and folder paths, byte for byte, also without a boot sector, after a reformat, and with two
// volumes on one disk.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/log_file_manager.h"
#include "fat/professional_fat_recovery.h"
#include "fixtures/fat_deep_sweep.h"
#include "fixtures/fat_image_walk.h"
#include "fixtures/temp_dir.h"
#include "util/path.h"
#include "util/text.h"

namespace {

std::string Lower(std::string str) {
    for (char& c : str)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return str;
}

// Distinct contents; pictures carry a JFIF head so the health test accepts them.
std::string Content(int nSeed, size_t nSize, bool bJpeg = false) {
    std::string str;
    if (bJpeg) str = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01", 12);
    uint32_t u32 = 2463534242u + static_cast<uint32_t>(nSeed) * 7919u;
    while (str.size() < nSize) {
        u32 ^= u32 << 13;
        u32 ^= u32 >> 17;
        u32 ^= u32 << 5;
        str.push_back(static_cast<char>(u32 & 0xFF));
    }
    return str;
}

struct Scenario {
    // Recovered path (lower-cased, "/"-separated) -> original bytes.
    std::map<std::string, std::string> mapExpected;
};

class FatCard {
public:
    explicit FatCard(const CTempDir& dir, const std::string& strImage) : m_dir(dir), m_strImage(strImage) {}

    bool Mt(const std::string& strTool, std::vector<std::string> vArgs) {
        vArgs.insert(vArgs.begin(), {strTool, "-i", m_strImage});
        return RunMtools(vArgs);
    }
    bool Copy(const std::string& strBytes, const std::string& strTarget) {
        const std::string strLocal = m_dir.File("src" + std::to_string(m_nFiles++));
        return WriteWholeFile(strLocal, strBytes.data(), strBytes.size()) && Mt("mcopy", {strLocal, strTarget});
    }
    // Marks the short entry named szShort11 in the root deleted, leaving what it holds alone.
    bool DeleteRootEntryOnly(const char* szShort11) {
        CFatImageWalk walk;
        if (!walk.Load(m_strImage)) return false;
        for (uint32_t u32Sector : walk.RootSectors())
            for (int i = 0; i < 512; i += 32)
                if (memcmp(walk.Sector(u32Sector) + i, szShort11, 11) == 0) {
                    const int hFile = open(m_strImage.c_str(), O_WRONLY);
                    const unsigned char b = 0xE5;
                    const bool bOk = pwrite(hFile, &b, 1, static_cast<off_t>(u32Sector) * 512 + i) == 1;
                    close(hFile);
                    return bOk;
                }
        return false;
    }

    // Folders, long names in three scripts, chains crossing sectors, a deleted tree and a live
    // file in a deleted folder.
    bool FillStandard(Scenario& s, int nSeed) {
        bool bOk = Mt("mmd", {"::/DCIM", "::/DCIM/Summer 2019", "::/DCIM/Summer 2019/Best", "::/Crossing",
                              "::/Old Stuff", "::/KEPT"});
        const std::string strCafe = Content(nSeed + 1, 5000), strPhoto = Content(nSeed + 2, 9000, true),
                          strDeep = Content(nSeed + 3, 12345), strReadme = Content(nSeed + 4, 700),
                          strLetter = Content(nSeed + 5, 3000), strOld = Content(nSeed + 6, 4100, true),
                          strLive = Content(nSeed + 7, 2222);
        bOk = bOk && Copy(strCafe, "::/DCIM/Summer 2019/Café résumé.txt") &&
              Copy(strPhoto, "::/DCIM/Summer 2019/照片一号.jpg") &&
              Copy(strDeep, "::/DCIM/Summer 2019/Best/deep nested file.bin") && Copy(strReadme, "::/README.TXT") &&
              Copy(strLetter, "::/Old Stuff/Old letter.txt") && Copy(strOld, "::/Old Stuff/old photo.jpg") &&
              Copy(strLive, "::/KEPT/live inside.txt");
        std::vector<std::string> vCrossing;
        for (int i = 0; bOk && i < 4; ++i) {
            // 33 characters: three pieces and a short entry, so the fourth name crosses the end
            // of the folder's first sector.
            const std::string strName = "Crossing list entry number 0" + std::to_string(i) + ".txt";
            const std::string strBytes = Content(nSeed + 10 + i, 1500 + 700 * i);
            bOk = Copy(strBytes, "::/Crossing/" + strName);
            vCrossing.push_back("::/Crossing/" + strName);
            s.mapExpected["crossing/" + Lower(strName)] = strBytes;
        }
        bOk = bOk && Mt("mdel", vCrossing) &&
              Mt("mdel", {"::/DCIM/Summer 2019/Café résumé.txt", "::/DCIM/Summer 2019/照片一号.jpg",
                          "::/DCIM/Summer 2019/Best/deep nested file.bin", "::/README.TXT"}) &&
              Mt("mdeltree", {"::/Old Stuff"}) && DeleteRootEntryOnly("KEPT       ");
        s.mapExpected["dcim/summer 2019/café résumé.txt"] = strCafe;
        s.mapExpected["dcim/summer 2019/照片一号.jpg"] = strPhoto;
        s.mapExpected["dcim/summer 2019/best/deep nested file.bin"] = strDeep;
        s.mapExpected["!eadme.txt"] = strReadme;
        s.mapExpected["old stuff/old letter.txt"] = strLetter;
        s.mapExpected["old stuff/old photo.jpg"] = strOld;
        s.mapExpected["!ept/live inside.txt"] = strLive;
        return bOk;
    }

private:
    const CTempDir& m_dir;
    std::string m_strImage;
    int m_nFiles = 0;
};

class ProFatImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("mmd") || !HaveTool("mcopy") || !HaveTool("mdeltree")) GTEST_SKIP() << "mtools missing";
        CLogFileManager::GetInstance().Init();
        m_strImage = m_dir.File("card.img");
    }
    void Scan() {
        std::wstring wstrPath = Path2Unicode(m_strImage.c_str());
        ASSERT_EQ(0, m_engine.Init(&wstrPath[0], L'E'));
        ASSERT_TRUE(RunDeepFatScan(m_engine, m_strImage));
    }
    // Every expected file is in the browsed tree under its path and comes back byte for byte.
    void ExpectTree(const Scenario& s) {
        std::map<std::string, _FILE_NODE_> mapTree;
        for (const auto& entry : CollectFileTree(m_engine)) mapTree[Lower(entry.first)] = entry.second;
        int nFile = 0;
        for (const auto& expected : s.mapExpected) {
            auto it = mapTree.find(expected.first);
            if (it == mapTree.end()) {
                ADD_FAILURE() << "missing " << expected.first;
                continue;
            }
            EXPECT_TRUE(RecoverFileBytes(m_engine, it->second, m_dir.File("out" + std::to_string(nFile++))) ==
                        expected.second)
                << expected.first << " differs";
        }
    }
    // Every expected file is among the nodes found (by name) and comes back byte for byte.
    void ExpectFilesByName(const Scenario& s) {
        std::vector<_FILE_NODE_> vecNodes = ReadAllFatNodes(m_engine);
        int nFile = 0;
        for (const auto& expected : s.mapExpected) {
            const std::string strName = expected.first.substr(expected.first.rfind('/') + 1);
            bool bFound = false;
            for (const _FILE_NODE_& node : vecNodes) {
                if (node.bIsDir != 0 || Lower(Unicode2Path(Ansi2Unicode(node.szFileName).c_str())) != strName) continue;
                bFound = bFound || RecoverFileBytes(m_engine, node, m_dir.File("o" + std::to_string(nFile++))) ==
                                       expected.second;
            }
            EXPECT_TRUE(bFound) << expected.first;
        }
    }

    CScopedAppHome m_home;
    CTempDir m_dir;
    std::string m_strImage;
    CProfessionalFatRecovery m_engine;
};

struct Geometry {
    int nFatBits;
    int nSizeMiB;
    int nSectorsPerCluster;
};

class ProFatImageGeometryTest : public ProFatImageTest, public ::testing::WithParamInterface<Geometry> {};

TEST_P(ProFatImageGeometryTest, DeletedFilesComeBackUnderTheirPaths) {
    const Geometry g = GetParam();
    ASSERT_TRUE(MakeFatImageWithClusters(m_strImage, g.nFatBits, g.nSizeMiB, g.nSectorsPerCluster));
    FatCard card(m_dir, m_strImage);
    Scenario s;
    ASSERT_TRUE(card.FillStandard(s, g.nFatBits * 100 + g.nSectorsPerCluster));
    Scan();
    ASSERT_EQ(1u, m_engine.GetVirtualDbrList().Geometries().size()) << "the boot sector explains every folder";
    EXPECT_EQ(g.nFatBits == 32 ? 2u : 0u, m_engine.GetRootClusterNO());
    ExpectTree(s);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProFatImageGeometryTest,
                         ::testing::Values(Geometry{12, 8, 4}, Geometry{16, 32, 4}, Geometry{16, 64, 16},
                                           Geometry{32, 40, 1}, Geometry{32, 80, 2}),
                         [](const ::testing::TestParamInfo<Geometry>& info) {
                             return "Fat" + std::to_string(info.param.nFatBits) + "_" +
                                    std::to_string(info.param.nSectorsPerCluster) + "SectorClusters";
                         });

class ProFatLostBootTest : public ProFatImageTest, public ::testing::WithParamInterface<int> {};

// Zeroing sector 0 leaves FAT32's copy at sector 6; zeroing all 32 reserved sectors leaves only
// the folders to tell the geometry.
TEST_P(ProFatLostBootTest, GeometryComesFromTheCopyOrFromFolderPairs) {
    const int nZeroedSectors = GetParam();
    ASSERT_TRUE(MakeFatImageWithClusters(m_strImage, 32, 160, 4));
    FatCard card(m_dir, m_strImage);
    Scenario s;
    ASSERT_TRUE(card.FillStandard(s, 7));
    const std::string strZero(512 * nZeroedSectors, '\0');
    const int hFile = open(m_strImage.c_str(), O_WRONLY);
    ASSERT_EQ(static_cast<ssize_t>(strZero.size()), pwrite(hFile, strZero.data(), strZero.size(), 0));
    close(hFile);
    Scan();
    ASSERT_EQ(nZeroedSectors == 1, m_engine.GetVirtualDbrList().FirstIsReal());
    ASSERT_GE(m_engine.GetVirtualDbrList().Geometries().size(), 1u);
    EXPECT_EQ(4u, m_engine.GetVirtualDbrList().Geometries()[0].dwSectorsPerCluster);
    ExpectTree(s);
}

INSTANTIATE_TEST_SUITE_P(ZeroedSectors, ProFatLostBootTest, ::testing::Values(1, 32));

// Live files whose clusters are scattered: the table still holds their chains. Gaps left by
// deleted files are filled by a later, larger file (FAT32's next-free hint is cleared first, or
// mtools would not go back to them).
TEST_P(ProFatImageGeometryTest, FragmentedLiveFilesAreReadThroughTheirChains) {
    const Geometry g = GetParam();
    ASSERT_TRUE(MakeFatImageWithClusters(m_strImage, g.nFatBits, g.nSizeMiB, g.nSectorsPerCluster));
    FatCard card(m_dir, m_strImage);
    const size_t nCluster = 512u * static_cast<size_t>(g.nSectorsPerCluster);
    std::vector<std::string> vecSmall;
    for (int i = 0; i < 6; ++i) {
        vecSmall.push_back(Content(g.nFatBits + i, 2 * nCluster - 100));
        ASSERT_TRUE(card.Copy(vecSmall.back(), "::/SMALL" + std::to_string(i) + ".BIN"));
    }
    ASSERT_TRUE(card.Mt("mdel", {"::/SMALL1.BIN", "::/SMALL3.BIN"}));
    if (g.nFatBits == 32) {
        const unsigned char abUnknown[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        const int hFile = open(m_strImage.c_str(), O_WRONLY);
        ASSERT_EQ(8, pwrite(hFile, abUnknown, 8, 512 + 488));
        close(hFile);
    }
    const std::string strBig = Content(99, 7 * nCluster + 33);
    ASSERT_TRUE(card.Copy(strBig, "::/Scattered file.bin"));
    Scan();
    std::map<std::string, _FILE_NODE_> mapTree = CollectFileTree(m_engine);
    ASSERT_EQ(1u, mapTree.count("Scattered file.bin"));
    const _FILE_NODE_& big = mapTree.at("Scattered file.bin");
    const std::vector<unsigned char> vecImage = ReadWholeFile(m_strImage);
    const size_t nFirst = static_cast<size_t>(GetFatNodeFirstDataSector(big, 512)) * 512;
    ASSERT_LE(nFirst + strBig.size(), vecImage.size());
    ASSERT_NE(std::string(vecImage.begin() + nFirst, vecImage.begin() + nFirst + strBig.size()), strBig)
        << "the file must be scattered for this case";
    EXPECT_TRUE(RecoverFileBytes(m_engine, big, m_dir.File("big")) == strBig);
    for (int i : {0, 2, 4, 5})
        EXPECT_TRUE(RecoverFileBytes(m_engine, mapTree.at("SMALL" + std::to_string(i) + ".BIN"),
                                     m_dir.File("s" + std::to_string(i))) == vecSmall[static_cast<size_t>(i)])
            << i;
}

TEST_F(ProFatImageTest, FilesOfTheOldFormatSurviveAReformat) {
    ASSERT_TRUE(MakeFatImageWithClusters(m_strImage, 32, 40, 1));
    FatCard card(m_dir, m_strImage);
    Scenario s;
    ASSERT_TRUE(card.FillStandard(s, 11));
    ASSERT_TRUE(FormatFatImage(m_strImage, 16, 4));
    ASSERT_TRUE(card.Copy(Content(99, 4000), "::/NEW.TXT"));
    Scan();
    ASSERT_TRUE(m_engine.GetVirtualDbrList().FirstIsReal());
    ASSERT_GE(m_engine.GetVirtualDbrList().Geometries().size(), 2u) << "the old format is inferred";
    ExpectFilesByName(s);
}

TEST_F(ProFatImageTest, TwoVolumesOnOneDisk) {
    const std::string strFirst = m_dir.File("first.img"), strSecond = m_dir.File("second.img");
    ASSERT_TRUE(MakeFatImageWithClusters(strFirst, 16, 16, 4));
    ASSERT_TRUE(MakeFatImageWithClusters(strSecond, 32, 40, 1));
    Scenario s;
    FatCard first(m_dir, strFirst), second(m_dir, strSecond);
    const std::string strA = Content(1, 6000), strB = Content(2, 7000, true), strC = Content(3, 8000),
                      strD = Content(4, 3333);
    ASSERT_TRUE(first.Mt("mmd", {"::/Alpha", "::/Alpha/Inner"}) && first.Copy(strA, "::/Alpha/first volume file.txt") &&
                first.Copy(strB, "::/Alpha/Inner/first volume photo.jpg") &&
                first.Mt("mdel", {"::/Alpha/first volume file.txt"}));
    ASSERT_TRUE(second.Mt("mmd", {"::/Beta", "::/Beta/Inner"}) &&
                second.Copy(strC, "::/Beta/second volume file.txt") &&
                second.Copy(strD, "::/Beta/Inner/second volume notes.txt") &&
                second.Mt("mdel", {"::/Beta/Inner/second volume notes.txt"}));
    s.mapExpected["alpha/first volume file.txt"] = strA;
    s.mapExpected["alpha/inner/first volume photo.jpg"] = strB;
    s.mapExpected["beta/second volume file.txt"] = strC;
    s.mapExpected["beta/inner/second volume notes.txt"] = strD;
    ASSERT_TRUE(RunQuiet("cat '" + strFirst + "' '" + strSecond + "' > '" + m_strImage + "'"));
    Scan();
    ASSERT_GE(m_engine.GetVirtualDbrList().Geometries().size(), 2u);
    ExpectFilesByName(s);
}

TEST_F(ProFatImageTest, FolderTreeIsSavedBreadthFirstIntoEnterableFolders) {
    ASSERT_TRUE(MakeFatImageWithClusters(m_strImage, 16, 32, 4));
    FatCard card(m_dir, m_strImage);
    Scenario s;
    ASSERT_TRUE(card.FillStandard(s, 3));
    Scan();
    std::map<std::string, _FILE_NODE_> mapTree = CollectFileTree(m_engine);
    ASSERT_EQ(1u, mapTree.count("DCIM"));
    ASSERT_EQ(0, mkdir(m_dir.File("restore").c_str(), 0755));
    ASSERT_EQ(0, SaveRootFolderTree(m_engine, mapTree.at("DCIM"), m_dir.File("restore/DCIM")));
    std::ifstream cafe(m_dir.File("restore/DCIM/Summer 2019/Café résumé.txt"), std::ios::binary);
    EXPECT_EQ(s.mapExpected.at("dcim/summer 2019/café résumé.txt"),
              std::string((std::istreambuf_iterator<char>(cafe)), std::istreambuf_iterator<char>()));
    std::ifstream deep(m_dir.File("restore/DCIM/Summer 2019/Best/deep nested file.bin"), std::ios::binary);
    EXPECT_EQ(s.mapExpected.at("dcim/summer 2019/best/deep nested file.bin"),
              std::string((std::istreambuf_iterator<char>(deep)), std::istreambuf_iterator<char>()));
    struct stat st;
    ASSERT_EQ(0, stat(m_dir.File("restore/DCIM/Summer 2019").c_str(), &st));
    EXPECT_EQ(0755u, st.st_mode & 0777u);

    // Any non-zero answer of the callback ends the whole save, not only the classic stop code.
    m_engine.InitCallBack(nullptr, [](void*, int, int, int, wchar_t*) { return 1; }, nullptr, 90);
    EXPECT_EQ(1, SaveRootFolderTree(m_engine, mapTree.at("DCIM"), m_dir.File("restore/Again")));
    EXPECT_NE(0, access(m_dir.File("restore/Again/Summer 2019/Best/deep nested file.bin").c_str(), F_OK));
}

}  // namespace
