// Size rules of documents, archives, databases, mail stores and fonts: header rules called on a
// head sector of a disk image, and whole files planted in a raw image, carved by the sweep and
// recovered.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "carving/file_type_judge.h"
#include "carving/file_type_recovery.h"
#include "carving/signature_constants.h"
#include "carving/signature_match.h"
#include "carving/size_rules.h"
#include "carving_test_disk.h"
#include "device/disk_reader.h"
#include "engine/log_file_manager.h"
#include "fixtures/archive_samples.h"
#include "fixtures/carving_image.h"
#include "fixtures/carving_sweep.h"
#include "fixtures/office_samples.h"
#include "fixtures/temp_dir.h"
#include "util/le.h"
#include "util/text.h"

namespace {

using J = CFileTypeJudge;
using Bytes = std::vector<unsigned char>;
constexpr int kSector = 512;
constexpr unsigned long long kOfficeCap = 134217727ULL;

// --- helpers -----------------------------------------------------------------------------------

// The rule's answer for the file whose head is at u64Sector of the disk, as the engine calls it.
unsigned long long SizeAt(PFN_GET_FILE_BYTES_SIZE pfnRule, CCarvingTestDisk& disk, unsigned long long u64Sector) {
    disk.AimAt(u64Sector, 0);
    Bytes vecHead = disk.Sector(u64Sector);
    return pfnRule(vecHead.data(), static_cast<int>(vecHead.size()));
}

// Offset of the first occurrence of a byte string in a file, or npos.
size_t Find(const Bytes& vec, const void* pPattern, size_t nLen, size_t nFrom = 0) {
    const unsigned char* p = static_cast<const unsigned char*>(pPattern);
    auto it = std::search(vec.begin() + static_cast<long>(nFrom), vec.end(), p, p + nLen);
    return it == vec.end() ? std::string::npos : static_cast<size_t>(it - vec.begin());
}
size_t Find(const Bytes& vec, const std::string& str, size_t nFrom = 0) {
    return Find(vec, str.data(), str.size(), nFrom);
}

Bytes ReadBack(const std::string& strPath) {
    Bytes vec;
    FILE* pFile = fopen(strPath.c_str(), "rb");
    if (pFile == nullptr) return vec;
    unsigned char ucBuf[65536];
    size_t n = 0;
    while ((n = fread(ucBuf, 1, sizeof(ucBuf), pFile)) > 0) vec.insert(vec.end(), ucBuf, ucBuf + n);
    fclose(pFile);
    return vec;
}

struct CARVED_FILE {
    std::string strName;
    unsigned long long u64Sector = 0;
    unsigned long long u64Size = 0;
    Bytes vecData;  // what recovery wrote
};

// Sweeps the whole image with a fresh carving engine and recovers every carved file.
std::vector<CARVED_FILE> CarveAndRecover(const CCarvingImage& image) {
    std::vector<CARVED_FILE> vecCarved;
    CScopedAppHome home;
    CLogFileManager::GetInstance().Init();  // the result store goes below this test's folder
    CTempDir dir;
    const std::string strImage = dir.File("image.raw");
    EXPECT_TRUE(image.WriteTo(strImage));
    std::wstring wstrImage = Path2Unicode(strImage.c_str());

    CFileTypeRecovery engine;
    EXPECT_EQ(engine.Init(&wstrImage[0], L'C'), 0);
    CDiskReader reader;
    EXPECT_EQ(reader.Init(&wstrImage[0], image.SectorCount()), 0);
    _CARVING_SWEEP_RESULT_ sweep = SweepCarving(engine, &reader, 0, image.SectorCount(), image.BytesPerSector());
    EXPECT_EQ(sweep.nResult, 0);

    std::vector<_FILE_NODE_> vecNodes;
    engine.GetChildrenFileNode(nullptr, 0, vecNodes);
    for (_FILE_NODE_& node : vecNodes) {
        CARVED_FILE carved;
        carved.strName = node.szFileName;
        carved.u64Sector = node.u64RecordSector;
        carved.u64Size = node.u64FileSize;
        const std::string strTarget = dir.File("recovered-" + carved.strName);
        std::wstring wstrTarget = Path2Unicode(strTarget.c_str());
        EXPECT_EQ(engine.SaveFileData(&node, &wstrTarget[0], 0), 0) << carved.strName;
        carved.vecData = ReadBack(strTarget);
        vecCarved.push_back(carved);
    }
    std::sort(vecCarved.begin(), vecCarved.end(),
              [](const CARVED_FILE& a, const CARVED_FILE& b) { return a.u64Sector < b.u64Sector; });
    return vecCarved;
}

const CARVED_FILE* CarvedAt(const std::vector<CARVED_FILE>& vecCarved, unsigned long long u64Sector) {
    for (const CARVED_FILE& carved : vecCarved)
        if (carved.u64Sector == u64Sector) return &carved;
    return nullptr;
}

// Every planted file came back as one carved file, byte for byte.
void ExpectEveryPlantedFileBackWhole(const CCarvingImage& image, const std::vector<Bytes>& vecFiles) {
    std::vector<CARVED_FILE> vecCarved = CarveAndRecover(image);
    ASSERT_EQ(image.Planted().size(), vecFiles.size());
    for (size_t i = 0; i < vecFiles.size(); ++i) {
        const _CARVING_PLANTED_FILE_& planted = image.Planted()[i];
        const CARVED_FILE* pCarved = CarvedAt(vecCarved, planted.u64Sector);
        ASSERT_NE(pCarved, nullptr) << planted.strExt << " at sector " << planted.u64Sector;
        EXPECT_EQ(pCarved->strName, std::to_string(planted.u64Sector) + "." + planted.strExt);
        EXPECT_EQ(pCarved->u64Size, vecFiles[i].size()) << pCarved->strName;
        EXPECT_TRUE(pCarved->vecData == vecFiles[i]) << pCarved->strName << " differs from the planted file";
    }
    EXPECT_EQ(vecCarved.size(), vecFiles.size());
}

ArchiveMembers SomeMembers(size_t nBytes, uint32_t nSeed) {
    return {{"notes.txt", SampleText(nBytes, nSeed)},
            {"readme.txt", SampleText(nBytes / 3 + 17, nSeed + 1)},
            {"data.csv", SampleText(nBytes / 2 + 5, nSeed + 2)}};
}

// A test that owns a judge object, so the shared read buffer exists for the walks.
class DocumentArchiveRules : public ::testing::Test {
protected:
    J m_judge;
};

// --- header rules ------------------------------------------------------------------------------

TEST_F(DocumentArchiveRules, CabinetTakesItsStatedSizeUpToOneGibibyte) {
    const Bytes vecCab = MakeStoredCab(SomeMembers(3000, 1));
    CCarvingTestDisk disk(ImageWithFileAt(vecCab, 4, 40));
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(SizeAt(GetCABFileBytesSize, disk, 4), vecCab.size());

    Bytes vecHead(vecCab.begin(), vecCab.begin() + kSector);
    WriteLe32(vecHead.data() + 8, 2000000000u);
    EXPECT_EQ(GetCABFileBytesSize(vecHead.data(), kSector), 1073741824ULL);
    // Too short a head, or a size of nothing, leaves the head sector.
    EXPECT_EQ(GetCABFileBytesSize(vecHead.data(), 35), static_cast<unsigned long long>(kSector));
    EXPECT_EQ(GetCABFileBytesSize(nullptr, kSector), static_cast<unsigned long long>(kSector));
    WriteLe32(vecHead.data() + 8, 0);
    EXPECT_EQ(GetCABFileBytesSize(vecHead.data(), kSector), static_cast<unsigned long long>(kSector));
}

TEST_F(DocumentArchiveRules, TrueTypeEndsWhereItsFurthestTableEnds) {
    // 'glyf' lies last in the file but mid-directory; the directory's last record ends earlier.
    const size_t nWithoutGlyf = MakeTrueTypeFont(0, 0).size();
    const Bytes vecFontExact = MakeTrueTypeFont(40000 - nWithoutGlyf, 0);
    ASSERT_EQ(vecFontExact.size(), 40000u);
    const unsigned int nTables = ReadBe16(vecFontExact.data() + 4);
    const unsigned char* pLastRecord = vecFontExact.data() + 12 + 16 * (nTables - 1);
    ASSERT_LT(ReadBe32(pLastRecord + 8) + ReadBe32(pLastRecord + 12), 40000u);

    EXPECT_EQ(GetTTFFileBytesSize(vecFontExact.data(), kSector), 40000u);

    Bytes vecNoTables(vecFontExact.begin(), vecFontExact.begin() + kSector);
    vecNoTables[4] = vecNoTables[5] = 0;
    EXPECT_EQ(GetTTFFileBytesSize(vecNoTables.data(), kSector), static_cast<unsigned long long>(kSector));
    EXPECT_EQ(GetTTFFileBytesSize(vecFontExact.data(), 11), static_cast<unsigned long long>(kSector));
}

TEST_F(DocumentArchiveRules, TrueTypeDirectoryPastTheHeadSectorIsReadFromTheDevice) {
    const Bytes vecFont = MakeTrueTypeFont(3000, 40);
    ASSERT_GT(12u + 16u * ReadBe16(vecFont.data() + 4), static_cast<unsigned>(kSector));
    {
        CCarvingTestDisk disk(ImageWithFileAt(vecFont, 2, 200));
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(SizeAt(GetTTFFileBytesSize, disk, 2), vecFont.size());
    }
    {
        // The 64 KiB read passes the end of a small device: only the head sector is known.
        CCarvingTestDisk disk(ImageWithFileAt(vecFont, 2, 20));
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(SizeAt(GetTTFFileBytesSize, disk, 2), static_cast<unsigned long long>(kSector));
    }
}

// --- Office 97-2003 compound files --------------------------------------------------------------

// A Word file of nUsedSectors compound sectors after its header (one FAT sector when below 128).
Bytes WordFileOfSectors(unsigned int nStreamSectors) {
    OLE_SAMPLE sample;
    sample.clsidRoot = WordRootClassId();
    sample.vecStreams.push_back({"WordDocument", Bytes{0xEC, 0xA5, 0xC1, 0x00}});
    if (nStreamSectors > 8) sample.vecStreams.push_back({"1Table", Bytes((nStreamSectors - 8) * 512u, 0x11)});
    return MakeOleCompoundFile(sample);
}

TEST_F(DocumentArchiveRules, CompoundFileEndsAfterTheLastUsedSectorOfItsTable) {
    // 26 stream sectors, a directory sector and the FAT sector: 28 used, the last 100 entries free.
    const Bytes vecDoc = WordFileOfSectors(26);
    ASSERT_EQ(ReadLe32(vecDoc.data() + 44), 1u);
    ASSERT_EQ(vecDoc.size(), 14848u);
    CCarvingTestDisk disk(ImageWithFileAt(vecDoc, 6, 80));
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, disk, 6), 14848u);  // (128 + 1 - 100) x 512

    const Bytes vecXls = MakeExcelWorkbookSample();
    CCarvingTestDisk diskXls(ImageWithFileAt(vecXls, 3, 80));
    ASSERT_TRUE(diskXls.Ready());
    EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, diskXls, 3), vecXls.size());
}

TEST_F(DocumentArchiveRules, CompoundFileWithADifatSectorIsSizedThroughTheChain) {
    // 110 FAT sectors: the last one is listed by the first DIFAT sector.
    OLE_SAMPLE sample;
    sample.clsidRoot = WordRootClassId();
    sample.vecStreams.push_back({"WordDocument", Bytes(13900u * 512u, 0x22)});
    const Bytes vecDoc = MakeOleCompoundFile(sample);
    ASSERT_EQ(ReadLe32(vecDoc.data() + 44), 110u);
    ASSERT_EQ(ReadLe32(vecDoc.data() + 72), 1u);
    CCarvingTestDisk disk(ImageWithFileAt(vecDoc, 1, 16));
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, disk, 1), vecDoc.size());
}

// A compound-file header with nFat FAT sectors listed through a DIFAT chain starting at
// compound sector nFirstDifat; the chain's sectors are planted by the test.
Bytes DifatHeader(uint32_t nFat, uint32_t nDifatCount, uint32_t nFirstDifat) {
    Bytes vec = WordFileOfSectors(8);
    vec.resize(512);
    WriteLe32(vec.data() + 44, nFat);
    WriteLe32(vec.data() + 68, nFirstDifat);
    WriteLe32(vec.data() + 72, nDifatCount);
    return vec;
}
Bytes TableSector(uint32_t nFill, int nFirst, int nCount) {
    Bytes vec(512, 0);
    for (int i = 0; i < 128; ++i) WriteLe32(vec.data() + 4 * i, i >= nFirst && i < nFirst + nCount ? nFill : 0xFFFFFFFF);
    return vec;
}
void PutCompoundSector(Bytes& vecImage, unsigned long long u64Head, uint32_t nSector, const Bytes& vecData) {
    std::copy(vecData.begin(), vecData.end(),
              vecImage.begin() + static_cast<long>((u64Head + 1 + nSector) * 512));
}

TEST_F(DocumentArchiveRules, DifatChainOfTwoSectorsLeadsToTheLastFatSector) {
    // 241 FAT sectors: 109 in the header, 127 in the first DIFAT sector, 5 in the second.
    const uint32_t nFat = 109 + 127 + 5;
    const unsigned long long u64Head = 2;
    Bytes vecImage(64 * 512, 0);
    Bytes vecHeader = DifatHeader(nFat, 2, 10);
    std::copy(vecHeader.begin(), vecHeader.end(), vecImage.begin() + u64Head * 512);
    Bytes vecDifat1 = TableSector(7, 0, 127);
    WriteLe32(vecDifat1.data() + 4 * 127, 20);
    Bytes vecDifat2 = TableSector(0xFFFFFFFF, 0, 0);
    WriteLe32(vecDifat2.data() + 4 * 4, 30);  // entry (241 - 109) mod 127 - 1
    WriteLe32(vecDifat2.data() + 4 * 127, 0xFFFFFFFE);
    PutCompoundSector(vecImage, u64Head, 10, vecDifat1);
    PutCompoundSector(vecImage, u64Head, 20, vecDifat2);
    PutCompoundSector(vecImage, u64Head, 30, TableSector(0x123, 0, 78));  // last 50 entries free

    const unsigned long long u64Fallback = (128ULL * nFat + 1) * 512;
    {
        CCarvingTestDisk disk(vecImage);
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, disk, u64Head), (128ULL * nFat + 1 - 50) * 512);
    }
    {
        // The chain ends after its first sector: the size the table could cover at most.
        Bytes vecShort = vecImage;
        WriteLe32(vecShort.data() + (u64Head + 1 + 10) * 512 + 4 * 127, 0xFFFFFFFE);
        CCarvingTestDisk disk(vecShort);
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, disk, u64Head), u64Fallback);
    }
    {
        // The second DIFAT sector lies past the end of the device.
        Bytes vecUnreadable = vecImage;
        WriteLe32(vecUnreadable.data() + (u64Head + 1 + 10) * 512 + 4 * 127, 5000);
        CCarvingTestDisk disk(vecUnreadable);
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, disk, u64Head), u64Fallback);
    }
    {
        // The last FAT sector cannot be read.
        Bytes vecNoFat = vecImage;
        WriteLe32(vecNoFat.data() + (u64Head + 1 + 20) * 512 + 4 * 4, 9000);
        CCarvingTestDisk disk(vecNoFat);
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, disk, u64Head), u64Fallback);
    }
}

TEST_F(DocumentArchiveRules, CompoundFileSizeIsCappedBelowOneHundredTwentyEightMebibytes) {
    // Two million FAT sectors would cover a gigabyte; the unreadable chain gives the capped fallback.
    const uint32_t nFat = 2000000;
    Bytes vecImage(16 * 512, 0);
    Bytes vecHeader = DifatHeader(nFat, (nFat - 109 + 126) / 127, 100000);
    std::copy(vecHeader.begin(), vecHeader.end(), vecImage.begin());
    CCarvingTestDisk disk(vecImage);
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, disk, 0), kOfficeCap);
}

TEST_F(DocumentArchiveRules, SectorSizesOtherThanTheDevicesAreAddressedByByteOffset) {
    // A version-4 file (4096-byte compound sectors) on a 512-byte device...
    OLE_SAMPLE sample;
    sample.clsidRoot = WordRootClassId();
    sample.nSectorShift = 12;
    sample.vecStreams.push_back({"WordDocument", Bytes(5u * 4096u, 0x33)});
    sample.vecStreams.push_back({"1Table", Bytes(4096, 0x44)});
    const Bytes vecV4 = MakeOleCompoundFile(sample);
    ASSERT_EQ(vecV4.size(), (1u + 6u + 1u + 1u) * 4096u);
    CCarvingTestDisk disk(ImageWithFileAt(vecV4, 3, 120));
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, disk, 3), vecV4.size());

    // ...and a version-3 file on a device of 4096-byte sectors.
    const Bytes vecV3 = WordFileOfSectors(40);
    CCarvingTestDisk disk4k(ImageWithFileAt(vecV3, 2, 20, 4096), 4096);
    ASSERT_TRUE(disk4k.Ready());
    EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, disk4k, 2), vecV3.size());
}

TEST_F(DocumentArchiveRules, InconsistentCompoundHeaderFallsBackToTheWalk) {
    // After the file the image holds zeros up to its end, where the walk must stop.
    const Bytes vecDoc = WordFileOfSectors(26);
    const unsigned long long u64Head = 4, u64Sectors = 100;
    const unsigned long long u64ToImageEnd = (u64Sectors - u64Head) * 512;
    auto SizeWithHeader = [&](void (*pfnDamage)(Bytes&)) {
        Bytes vecFile = vecDoc;
        pfnDamage(vecFile);
        CCarvingTestDisk disk(ImageWithFileAt(vecFile, u64Head, u64Sectors));
        EXPECT_TRUE(disk.Ready());
        return SizeAt(GetOFFICE2003FileBytesSize, disk, u64Head);
    };
    EXPECT_EQ(SizeWithHeader([](Bytes& v) { WriteLe16(v.data() + 30, 10); }), u64ToImageEnd);
    EXPECT_EQ(SizeWithHeader([](Bytes& v) { WriteLe32(v.data() + 44, 0); }), u64ToImageEnd);
    // More than 109 FAT sectors but no DIFAT sector, and a DIFAT sector with fewer than 109.
    EXPECT_EQ(SizeWithHeader([](Bytes& v) { WriteLe32(v.data() + 44, 200); }), u64ToImageEnd);
    EXPECT_EQ(SizeWithHeader([](Bytes& v) { WriteLe32(v.data() + 72, 1); }), u64ToImageEnd);
    // More FAT sectors than 32-bit sector numbers can reach.
    EXPECT_EQ(SizeWithHeader([](Bytes& v) { WriteLe32(v.data() + 44, 0x02000001); }), u64ToImageEnd);
    // Fewer DIFAT sectors than the FAT needs.
    EXPECT_EQ(SizeWithHeader([](Bytes& v) {
                  WriteLe32(v.data() + 44, 109 + 127 + 1);
                  WriteLe32(v.data() + 72, 1);
              }),
              u64ToImageEnd);
    // A too short head cannot be judged by its table either.
    CCarvingTestDisk disk(ImageWithFileAt(vecDoc, u64Head, u64Sectors));
    ASSERT_TRUE(disk.Ready());
    disk.AimAt(u64Head, 0);
    EXPECT_EQ(GetOFFICE2003FileBytesSize(vecDoc.data(), 511), u64ToImageEnd);
}

TEST_F(DocumentArchiveRules, WalkEndsAtTheSectorHoldingTheWordUserTypeName) {
    OLE_SAMPLE sample;
    sample.clsidRoot = WordRootClassId();
    sample.vecStreams.push_back({"WordDocument", Bytes{0xEC, 0xA5, 0xC1, 0x00}});
    sample.vecStreams.push_back(WordCompObjStream());
    sample.vecStreams.push_back({"Data", Bytes(20000, 0x55)});
    Bytes vecDoc = MakeOleCompoundFile(sample);
    WriteLe16(vecDoc.data() + 30, 0);  // the table cannot be used
    const size_t nText = Find(vecDoc, ucDocTail, sizeof(ucDocTail));
    ASSERT_NE(nText, std::string::npos);
    ASSERT_LT((nText + sizeof(ucDocTail)) % 512, 490u);  // the text ends inside its sector

    CCarvingTestDisk disk(ImageWithFileAt(vecDoc, 5, 200));
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(SizeAt(GetOFFICE2003FileBytesSize, disk, 5), (nText + sizeof(ucDocTail) + 511) / 512 * 512);
}

// --- backward marker rules ---------------------------------------------------------------------

TEST_F(DocumentArchiveRules, PdfEndsAfterTheLastEofElseAfterTrailer) {
    const Bytes vecPdf = MakePdfDocument(3000);
    const size_t nTrailer = Find(vecPdf, "trailer");
    ASSERT_NE(nTrailer, std::string::npos);
    ASSERT_LT(nTrailer, Find(vecPdf, "%%EOF"));
    {
        CCarvingTestDisk disk(ImageWithFileAt(vecPdf, 1, 60));
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(SizeAt(GetPDFFileBytesSize, disk, 1), vecPdf.size());
    }
    {
        // Cut short after its trailer keyword, the file ends right after that keyword.
        Bytes vecCut(vecPdf.begin(), vecPdf.begin() + static_cast<long>(nTrailer + 7));
        Bytes vecImage = ImageWithFileAt(vecCut, 1, 60);
        memset(vecImage.data() + 512 + vecCut.size(), 'x', 100);  // whatever followed on the disk
        CCarvingTestDisk disk(vecImage);
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(SizeAt(GetPDFFileBytesSize, disk, 1), nTrailer + 7);
    }
    for (const char* szEol : {"\n", "\r\n", "\r"}) {
        // The end-of-line after the marker belongs to the file; what follows it does not.
        const Bytes vecWithEol = MakePdfDocument(3000, szEol);
        Bytes vecImage = ImageWithFileAt(vecWithEol, 1, 60);
        memset(vecImage.data() + 512 + vecWithEol.size(), 'x', 100);
        CCarvingTestDisk disk(vecImage);
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(SizeAt(GetPDFFileBytesSize, disk, 1), vecWithEol.size());
    }
}

TEST_F(DocumentArchiveRules, ZipCommentIsPartOfTheCarvedArchive) {
    const Bytes vecZip = WithZipComment(MakeStoredZip(SomeMembers(2000, 3)), "archived by the test");
    CCarvingTestDisk disk(ImageWithFileAt(vecZip, 1, 40));
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(SizeAt(GetZIPFileBytesSize, disk, 1), vecZip.size());
}

TEST_F(DocumentArchiveRules, SevenZipTailIsParsedToItsLastByte) {
    // A packed header's folder record with a 3-byte unpacked size and a CRC, then the end bytes.
    Bytes vecFile = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04};
    vecFile.resize(1500, 0x41);
    vecFile.insert(vecFile.end(), sz7ZTail, sz7ZTail + sizeof(sz7ZTail));
    const Bytes vecRest = {0x00, 0x00, 0x10, 0x00, 0x0C, 0xC0, 0x12, 0x34, 0x0A, 0x01,
                           0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x00};
    vecFile.insert(vecFile.end(), vecRest.begin(), vecRest.end());
    Bytes vecImage = ImageWithFileAt(vecFile, 1, 40);
    memset(vecImage.data() + 512 + vecFile.size(), 0x77, 30);
    CCarvingTestDisk disk(vecImage);
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(SizeAt(Get7ZFileBytesSize, disk, 1), vecFile.size());

    // A record that does not parse is taken at its usual 27 bytes.
    Bytes vecOdd = vecFile;
    vecOdd[1500 + 16] = 0x0B;
    CCarvingTestDisk diskOdd(ImageWithFileAt(vecOdd, 1, 40));
    ASSERT_TRUE(diskOdd.Ready());
    EXPECT_EQ(SizeAt(Get7ZFileBytesSize, diskOdd, 1), 1500u + 27u);
}

TEST_F(DocumentArchiveRules, RarEndBlockFollowedByDataInItsSectorIsSkipped) {
    // A stored member holds the end-block bytes followed by text: not the archive's end.
    std::string strInner = SampleText(700, 9);
    strInner.insert(300, std::string(reinterpret_cast<const char*>(sm_ucWinrarTail), sizeof(sm_ucWinrarTail)));
    const Bytes vecRar = MakeStoredRar({{"inner.bin", strInner}, {"more.txt", SampleText(900, 10)}});
    ASSERT_NE(Find(vecRar, sm_ucWinrarTail, sizeof(sm_ucWinrarTail)), vecRar.size() - 7);
    CCarvingTestDisk disk(ImageWithFileAt(vecRar, 1, 40));
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(SizeAt(GetRARFileBytesSize, disk, 1), vecRar.size());

    // Data after the true end block in its sector: no end is found there either.
    Bytes vecImage = ImageWithFileAt(vecRar, 1, 40);
    vecImage[512 + vecRar.size()] = 0x01;
    CCarvingTestDisk diskDirty(vecImage);
    ASSERT_TRUE(diskDirty.Ready());
    EXPECT_EQ(SizeAt(GetRARFileBytesSize, diskDirty, 1), (40u - 1u) * 512u);
}

// --- whole files carved from a raw image -------------------------------------------------------

TEST(DocumentArchiveCarving, FilesWithAKnownEndComeBackByteIdentical) {
    CTempDir work;
    std::vector<Bytes> vecFiles;
    CCarvingImage image(2000);
    unsigned long long u64Sector = 3;
    auto PlantAndGap = [&](const Bytes& vecFile, const std::string& strExt) {
        image.Plant(u64Sector, vecFile, strExt);
        vecFiles.push_back(vecFile);
        u64Sector += image.SectorsOf(vecFile.size()) + 7;  // zero sectors between files
    };
    PlantAndGap(MakeDocxSample(), "docx");
    PlantAndGap(MakeXlsxSample(), "xlsx");
    PlantAndGap(MakePptxSample(), "pptx");
    PlantAndGap(MakeStoredZip(SomeMembers(5000, 4)), "zip");
    PlantAndGap(WithZipComment(MakeStoredZip(SomeMembers(700, 5)), "zip with a comment"), "zip");
    PlantAndGap(MakePdfDocument(9000), "pdf");
    PlantAndGap(MakeStoredRar(SomeMembers(6000, 6)), "rar");
    PlantAndGap(MakeStoredCab(SomeMembers(4000, 7)), "cab");
    PlantAndGap(MakeTrueTypeFont(7000, 2), "ttf");
    Bytes vec7z;
    if (Make7zWithTool(work.Path(), SomeMembers(20000, 8), vec7z)) {
        ASSERT_NE(Find(vec7z, sz7ZTail, sizeof(sz7ZTail)), std::string::npos) << "7z did not pack its header";
        PlantAndGap(vec7z, "7z");
    } else {
        ADD_FAILURE() << "7z is not installed (scripts/install-deps.sh installs p7zip-full)";
    }
    Bytes vecToolZip;
    if (MakeZipWithTool(work.Path(), SomeMembers(30000, 9), "made by zip", vecToolZip))
        PlantAndGap(vecToolZip, "zip");
    else
        ADD_FAILURE() << "zip is not installed";
    ExpectEveryPlantedFileBackWhole(image, vecFiles);
}

TEST(DocumentArchiveCarving, FilesSmallerThanASectorEndInTheirHeadSector) {
    CTempDir work;
    std::vector<Bytes> vecFiles;
    CCarvingImage image(300);
    image.FillNeutral(0, 300, 11);  // the rest of each head sector is not zero
    auto Plant = [&](unsigned long long u64At, const Bytes& vecFile, const std::string& strExt) {
        ASSERT_LT(vecFile.size(), 512u) << strExt;
        image.Plant(u64At, vecFile, strExt);
        vecFiles.push_back(vecFile);
    };
    Plant(10, MakeStoredZip({{"a.txt", "tiny"}}), "zip");
    Plant(20, MakeStoredRar({{"a.txt", "tiny"}}), "rar");
    Bytes vec7z;
    ASSERT_TRUE(Make7zWithTool(work.Path(), {{"a.txt", SampleText(40, 1)}, {"b.txt", SampleText(30, 2)}}, vec7z));
    if (Find(vec7z, sz7ZTail, sizeof(sz7ZTail)) != std::string::npos) Plant(30, vec7z, "7z");
    Plant(40, MakePdfDocument(0), "pdf");
    ASSERT_GE(vecFiles.size(), 3u);
    // The RAR end block must close its sector, so the bytes after the tiny RAR are zero.
    Bytes vecZeros(512 - vecFiles[1].size(), 0);
    image.Poke(20 * 512 + vecFiles[1].size(), vecZeros);
    ExpectEveryPlantedFileBackWhole(image, vecFiles);
}

TEST(DocumentArchiveCarving, SmallFilesSideBySideAreCarvedOneByOne) {
    // Several small files in one 64 KiB chunk: each ends at its own closing record, not at the
    // last one of the chunk, so none is swallowed by the file before it.
    std::vector<Bytes> vecFiles;
    CCarvingImage image(400);
    unsigned long long u64Sector = 1;
    auto PlantNext = [&](const Bytes& vecFile, const std::string& strExt) {
        image.Plant(u64Sector, vecFile, strExt);
        vecFiles.push_back(vecFile);
        u64Sector += image.SectorsOf(vecFile.size());
    };
    PlantNext(MakeDocxSample(), "docx");
    PlantNext(MakeDocxSample(), "docx");
    PlantNext(MakeStoredZip(SomeMembers(900, 12)), "zip");
    PlantNext(MakeStoredZip(SomeMembers(1900, 13)), "zip");
    PlantNext(MakePdfDocument(1200), "pdf");
    PlantNext(MakePdfDocument(2500), "pdf");
    PlantNext(MakeStoredRar(SomeMembers(800, 14)), "rar");
    PlantNext(MakeStoredRar(SomeMembers(600, 15)), "rar");
    ExpectEveryPlantedFileBackWhole(image, vecFiles);
}

TEST(DocumentArchiveCarving, ArchiveHoldingAnotherFilesHeadStillEndsAtItsOwnEndRecord) {
    // The stored JPEG starts on a sector boundary, where the end search sees a new file; the
    // archive's end record after it decides.
    Bytes vecJpeg = MakeSampleJpeg(3000, 21);
    std::string strJpeg(vecJpeg.begin(), vecJpeg.end());
    const std::string strFirstName = "lead.txt", strJpegName = "photo.jpg";
    // Local header 30 + name, data; the second header 30 + name: pad the first member so the
    // JPEG's data begins at byte 1024 of the archive.
    const size_t nFirstData = 1024 - 30 - strJpegName.size() - 30 - strFirstName.size();
    Bytes vecZip = MakeStoredZip({{strFirstName, SampleText(nFirstData, 22)}, {strJpegName, strJpeg}});
    ASSERT_EQ(Find(vecZip, vecJpeg.data(), 16), 1024u);
    std::vector<Bytes> vecFiles = {vecZip};
    CCarvingImage image(100);
    image.Plant(2, vecZip, "zip");
    ExpectEveryPlantedFileBackWhole(image, vecFiles);
}

TEST(DocumentArchiveCarving, DatabaseAndMailStoresEndAtTheNextFile) {
    const Bytes vecDb = MakeEmptySqliteDatabase(3);
    Bytes vecDbx(4096, 0);
    const unsigned char ucDbx[4] = {0xCF, 0xAD, 0x12, 0xFE};
    memcpy(vecDbx.data(), ucDbx, 4);
    Bytes vecPst(3072, 0);
    memcpy(vecPst.data(), "!BDN", 4);
    memcpy(vecPst.data() + 8, "SM", 2);
    const Bytes vecPdf = MakePdfDocument(500);

    CCarvingImage image(200);
    image.Plant(4, vecDb, "db");
    image.Plant(4 + 24, vecDbx, "dbx");
    image.Plant(4 + 24 + 8, vecPst, "pst");
    image.Plant(4 + 24 + 8 + 6, vecPdf, "pdf");
    std::vector<CARVED_FILE> vecCarved = CarveAndRecover(image);
    ASSERT_EQ(vecCarved.size(), 4u);
    EXPECT_EQ(vecCarved[0].strName, "4.db");
    EXPECT_EQ(vecCarved[0].u64Size, 24u * 512u);
    EXPECT_TRUE(vecCarved[0].vecData == vecDb);
    EXPECT_EQ(vecCarved[1].strName, "28.dbx");
    EXPECT_EQ(vecCarved[1].u64Size, 8u * 512u);
    EXPECT_EQ(vecCarved[2].strName, "36.pst");
    EXPECT_EQ(vecCarved[2].u64Size, 6u * 512u);
    EXPECT_EQ(vecCarved[3].strName, "42.pdf");
    EXPECT_TRUE(vecCarved[3].vecData == vecPdf);
}

// --- the sample files are what their formats say ---------------------------------------------

TEST(DocumentArchiveSamples, HandMadeArchivesPassTheRealToolsTests) {
    CTempDir dir;
    ASSERT_TRUE(HaveTool("7z") && HaveTool("unzip")) << "scripts/install-deps.sh installs p7zip-full and unzip";
    struct SAMPLE {
        const char* szName;
        Bytes vecFile;
        const char* szTest;
    };
    const SAMPLE samples[] = {
        {"a.rar", MakeStoredRar(SomeMembers(5000, 31)), "7z t"},
        {"b.cab", MakeStoredCab(SomeMembers(50000, 32)), "7z t"},
        {"c.zip", WithZipComment(MakeStoredZip(SomeMembers(800, 33)), "comment"), "unzip -t"},
        {"d.docx", MakeDocxSample(), "unzip -t"},
    };
    for (const SAMPLE& sample : samples) {
        const std::string strPath = dir.File(sample.szName);
        ASSERT_TRUE(WriteWholeFile(strPath, sample.vecFile.data(), sample.vecFile.size()));
        EXPECT_TRUE(RunQuiet(std::string(sample.szTest) + " '" + strPath + "'")) << sample.szName;
    }
    // The well-known RAR main header and end block come out of the header CRC.
    const Bytes vecRar = MakeStoredRar({});
    const Bytes vecExpected = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73, 0x00, 0x00, 0x0D,
                               0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00};
    EXPECT_TRUE(vecRar == vecExpected);
}

TEST(DocumentArchiveSamples, FontTablesSumToTheirChecksums) {
    const Bytes vecFont = MakeTrueTypeFont(1000, 3);
    const unsigned int nTables = ReadBe16(vecFont.data() + 4);
    auto Sum = [&](size_t nFrom, size_t nLen) {
        uint32_t u32 = 0;
        for (size_t i = 0; i < nLen; i += 4) {
            unsigned char ucWord[4] = {};
            for (size_t k = 0; k < 4 && i + k < nLen; ++k) ucWord[k] = vecFont[nFrom + i + k];
            u32 += ReadBe32(ucWord);
        }
        return u32;
    };
    std::string strPreviousTag;
    for (unsigned int i = 0; i < nTables; ++i) {
        const unsigned char* p = vecFont.data() + 12 + 16 * i;
        std::string strTag(reinterpret_cast<const char*>(p), 4);
        EXPECT_LT(strPreviousTag, strTag);
        strPreviousTag = strTag;
        if (strTag != "head") {
            EXPECT_EQ(Sum(ReadBe32(p + 8), ReadBe32(p + 12)), ReadBe32(p + 4)) << strTag;
        }
    }
    EXPECT_EQ(Sum(0, vecFont.size()), 0xB1B0AFBAu);
}

}  // namespace
