// Word, Excel and PowerPoint told apart on real-shaped files placed on a disk image.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "carving_test_disk.h"
#include "fixtures/office_samples.h"

namespace {

using J = CFileTypeJudge;
using Bytes = std::vector<unsigned char>;
constexpr unsigned long long FILE_SECTOR = 8;  // files sit a little into the image

// Sub-type answers for a file at FILE_SECTOR of an otherwise empty image.
struct OFFICE_ANSWERS {
    EXTEND_NAME_TYPE nWalk;
    EXTEND_NAME_TYPE nSubType;
};
OFFICE_ANSWERS Judge2003(const Bytes& vecFile) {
    CCarvingTestDisk disk(ImageWithFileAt(vecFile, FILE_SECTOR, 64));
    EXPECT_TRUE(disk.Ready());
    EXTEND_NAME_TYPE nWalk = disk.WalkAt(FILE_SECTOR);
    Bytes vecHead = disk.Sector(FILE_SECTOR);
    return {nWalk, J::IsOffice2003Type(vecHead.data(), static_cast<int>(vecHead.size()))};
}
OFFICE_ANSWERS Judge2007(const Bytes& vecFile, unsigned long long u64Sectors = 64) {
    CCarvingTestDisk disk(ImageWithFileAt(vecFile, FILE_SECTOR, u64Sectors));
    EXPECT_TRUE(disk.Ready());
    EXTEND_NAME_TYPE nWalk = disk.WalkAt(FILE_SECTOR);
    Bytes vecHead = disk.Sector(FILE_SECTOR);
    return {nWalk, J::IsOffice2007Type(vecHead.data(), static_cast<int>(vecHead.size()))};
}

TEST(Office2003, ApplicationFilesAreToldApartButTheWalkCallsThemAllFla) {
    OFFICE_ANSWERS doc = Judge2003(MakeWordDocumentSample());
    OFFICE_ANSWERS xls = Judge2003(MakeExcelWorkbookSample());
    OFFICE_ANSWERS ppt = Judge2003(MakePowerPointSample());
    EXPECT_EQ(doc.nSubType, EXT_DOC);
    EXPECT_EQ(xls.nSubType, EXT_XLS);
    EXPECT_EQ(ppt.nSubType, EXT_PPT);
    // The FLA test comes first in the table and claims every compound file.
    EXPECT_EQ(doc.nWalk, EXT_FLA);
    EXPECT_EQ(xls.nWalk, EXT_FLA);
    EXPECT_EQ(ppt.nWalk, EXT_FLA);
}

TEST(Office2003, ExtensionMatchingUsesTheSubType) {
    Bytes vecDoc = MakeWordDocumentSample();
    CCarvingTestDisk disk(ImageWithFileAt(vecDoc, FILE_SECTOR, 64));
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(disk.MatchesAt(FILE_SECTOR, "doc"), 1);
    EXPECT_EQ(disk.MatchesAt(FILE_SECTOR, "WPS"), 1);
    EXPECT_EQ(disk.MatchesAt(FILE_SECTOR, "xls"), 0);
    EXPECT_EQ(disk.MatchesAt(FILE_SECTOR, "ole"), 0);
    EXPECT_EQ(disk.MatchesAt(FILE_SECTOR, "fla"), 1);  // a compound file is what "fla" promises
    EXPECT_EQ(disk.MatchesAt(FILE_SECTOR, "jpg"), 0);
    EXPECT_EQ(disk.MatchesAt(FILE_SECTOR, "txt"), 1);  // unknown extensions always match
}

TEST(Office2003, DirectoryDecidesWhenTheFirstStreamDoesNotTell) {
    // Directory first: the sector after the header holds no stream signature.
    OLE_SAMPLE byClass;
    byClass.bDirectoryFirst = true;
    byClass.vecStreams.push_back({"Data", Bytes(8, 0x33)});
    byClass.clsidRoot = ExcelRootClassId();
    EXPECT_EQ(Judge2003(MakeOleCompoundFile(byClass)).nSubType, EXT_XLS);
    byClass.clsidRoot = PowerPointRootClassId();
    EXPECT_EQ(Judge2003(MakeOleCompoundFile(byClass)).nSubType, EXT_PPT);
    byClass.clsidRoot = WordRootClassId();
    EXPECT_EQ(Judge2003(MakeOleCompoundFile(byClass)).nSubType, EXT_DOC);

    // No class id: the stream names decide, whatever their case.
    auto ByName = [](const char* szStream) {
        OLE_SAMPLE sample;
        sample.bDirectoryFirst = true;
        sample.vecStreams.push_back({"\x05SummaryInformation", Bytes(8, 0)});
        sample.vecStreams.push_back({szStream, Bytes(8, 0x44)});
        return Judge2003(MakeOleCompoundFile(sample)).nSubType;
    };
    EXPECT_EQ(ByName("WordDocument"), EXT_DOC);
    EXPECT_EQ(ByName("WORDDOCUMENT"), EXT_DOC);
    EXPECT_EQ(ByName("Workbook"), EXT_XLS);
    EXPECT_EQ(ByName("PowerPoint Document"), EXT_PPT);
    EXPECT_EQ(ByName("Contents"), EXT_OLE);  // some other application's compound file
}

TEST(Office2003, UnreadableDeviceGivesAPlainCompoundFile) {
    Bytes vecDoc = MakeWordDocumentSample();
    // The file's head is the image's last sector: nothing after it can be read.
    CCarvingTestDisk disk(Bytes(vecDoc.begin(), vecDoc.begin() + 512));
    ASSERT_TRUE(disk.Ready());
    disk.AimAt(0);
    EXPECT_EQ(J::IsOffice2003Type(vecDoc.data(), 512), EXT_OLE);
    J::m_pDiskReader = nullptr;
    EXPECT_EQ(J::IsOffice2003Type(vecDoc.data(), 512), EXT_OLE);
}

TEST(Office2003, ShortHeadsPastTheFlaTestReachTheOfficeTestWithoutOverreading) {
    // 8 to 15 bytes are too few for the FLA test but enough for the Office one, which then
    // needs the directory sector number it cannot see.
    OLE_SAMPLE sample;
    sample.bDirectoryFirst = true;
    sample.clsidRoot = PowerPointRootClassId();
    Bytes vecFile = MakeOleCompoundFile(sample);
    CCarvingTestDisk disk(ImageWithFileAt(vecFile, FILE_SECTOR, 64));
    ASSERT_TRUE(disk.Ready());
    disk.AimAt(FILE_SECTOR);
    Bytes vecShort(vecFile.begin(), vecFile.begin() + 12);
    EXPECT_EQ(J::GetDataBufType(vecShort.data(), 12), EXT_OLE);
    EXPECT_EQ(J::GetDataBufTypeInTableOrder(vecShort.data(), 12), EXT_OLE);
    Bytes vecWithDirNumber(vecFile.begin(), vecFile.begin() + 52);
    EXPECT_EQ(J::IsOffice2003Type(vecWithDirNumber.data(), 52), EXT_PPT);
}

TEST(Office2007, PackagesAreToldApartByPartNames) {
    EXPECT_EQ(Judge2007(MakeDocxSample()).nWalk, EXT_DOCX);
    EXPECT_EQ(Judge2007(MakeXlsxSample()).nWalk, EXT_XLSX);
    EXPECT_EQ(Judge2007(MakePptxSample()).nWalk, EXT_PPTX);
}

TEST(Office2007, PlainZipFallsThroughToTheZipRow) {
    Bytes vecZip = MakeStoredZip({{"readme.txt", "hello"}, {"src/main.c", "int main(){}"}});
    OFFICE_ANSWERS answers = Judge2007(vecZip);
    EXPECT_EQ(answers.nSubType, EXT_UNKNOWN);
    EXPECT_EQ(answers.nWalk, EXT_ZIP);
    // The rule is a bare prefix: an ordinary archive member named "xl..." makes a spreadsheet.
    EXPECT_EQ(Judge2007(MakeStoredZip({{"xlnotes.txt", "x"}})).nWalk, EXT_XLSX);
    // "word" needs one byte more than its prefix, "ppt" likewise.
    EXPECT_EQ(Judge2007(MakeStoredZip({{"word", "x"}})).nWalk, EXT_ZIP);
    EXPECT_EQ(Judge2007(MakeStoredZip({{"ppt", "x"}})).nWalk, EXT_ZIP);
    EXPECT_EQ(Judge2007(MakeStoredZip({{"Word/", "x"}})).nWalk, EXT_DOCX);
}

// Offset of the part name that follows a header with the given signature, or npos.
size_t NameAfterHeader(const Bytes& vecZip, const std::string& strName, const char* szSig, size_t nNameOffset) {
    std::string strZip(vecZip.begin(), vecZip.end());
    for (size_t n = strZip.find(strName); n != std::string::npos; n = strZip.find(strName, n + 1))
        if (n >= nNameOffset && strZip.compare(n - nNameOffset, 4, szSig, 4) == 0) return n;
    return std::string::npos;
}

TEST(Office2007, CentralDirectoryAloneCanDecide) {
    // A local header whose name is damaged; the central directory still names the part.
    Bytes vecDocx = MakeDocxSample();
    size_t nLocal = NameAfterHeader(vecDocx, "word/document.xml", "PK\x03\x04", 30);
    size_t nCentral = NameAfterHeader(vecDocx, "word/document.xml", "PK\x01\x02", 46);
    ASSERT_NE(nLocal, std::string::npos);
    ASSERT_NE(nCentral, std::string::npos);
    vecDocx[nLocal] = 'X';
    EXPECT_EQ(Judge2007(vecDocx).nWalk, EXT_DOCX);
    // With the central copy damaged too, it is an ordinary zip (the part's name inside the
    // XML text does not count).
    vecDocx[nCentral] = 'X';
    EXPECT_EQ(Judge2007(vecDocx).nWalk, EXT_ZIP);
}

// A zip whose first member is large and stored, so the next header sits at a chosen offset.
Bytes ZipWithSecondHeaderAt(size_t nOffset, const std::string& strSecondName) {
    const std::string strFirstName = "a.bin";
    size_t nFirstData = nOffset - 30 - strFirstName.size();
    return MakeStoredZip({{strFirstName, std::string(nFirstData, '\x7F')}, {strSecondName, "x"}});
}

TEST(Office2007, HeaderSplitBetweenTwoReadsIsStillFound) {
    // The second local header's signature straddles the end of the first 4-sector window.
    Bytes vecZip = ZipWithSecondHeaderAt(2046, "word/document.xml");
    ASSERT_EQ(vecZip[2046], 0x50);
    ASSERT_EQ(vecZip[2049], 0x04);
    // The central directory also names the part; push it out of the 20 sectors searched.
    Bytes vecCut(vecZip.begin(), vecZip.begin() + 2046 + 30 + 17 + 1);
    vecCut.resize(20 * 512, 0);
    EXPECT_EQ(Judge2007(vecCut).nWalk, EXT_DOCX);
}

TEST(Office2007, OnlyTheFirstTwentySectorsAreSearched) {
    Bytes vecInside = ZipWithSecondHeaderAt(19 * 512 + 100, "ppt/presentation.xml");
    Bytes vecOutside = ZipWithSecondHeaderAt(20 * 512 + 100, "ppt/presentation.xml");
    EXPECT_EQ(Judge2007(vecInside).nWalk, EXT_PPTX);
    EXPECT_EQ(Judge2007(vecOutside).nWalk, EXT_ZIP);
}

TEST(Office2007, HeadersAfterTheEndOfCentralDirectoryAreIgnored) {
    // A small plain zip, then (still inside the first window) a stray header naming a part.
    Bytes vecZip = MakeStoredZip({{"a.txt", "a"}});
    Bytes vecStray = MakeStoredZip({{"word/document.xml", "w"}});
    vecZip.resize(600, 0);
    vecZip.insert(vecZip.end(), vecStray.begin(), vecStray.end());
    EXPECT_EQ(Judge2007(vecZip).nWalk, EXT_ZIP);
}

TEST(Office2007, PackageNearTheDeviceEndIsNotDecided) {
    // Fewer than four sectors left to read: the search reads nothing and the walk goes on.
    Bytes vecDocx = MakeDocxSample();
    ASSERT_LT(vecDocx.size(), 3u * 512);
    CCarvingTestDisk disk(ImageWithFileAt(vecDocx, 2, 5));
    ASSERT_TRUE(disk.Ready());
    ASSERT_EQ(disk.SectorCount(), 5u);
    EXPECT_EQ(disk.WalkAt(2), EXT_ZIP);
}

TEST(Office2007, PackagesWrittenByTheZipTool) {
    if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
    struct KIND {
        std::vector<std::pair<std::string, std::string>> vecMembers;
        EXTEND_NAME_TYPE nExpected;
    };
    for (const KIND& kind : {KIND{DocxMembers(), EXT_DOCX}, KIND{XlsxMembers(), EXT_XLSX},
                             KIND{PptxMembers(), EXT_PPTX}, KIND{{{"notes/a.txt", "plain"}}, EXT_ZIP}}) {
        CTempDir dir;
        std::string strList;
        for (const auto& member : kind.vecMembers) {
            std::string strPath = dir.File("tree/" + member.first);
            ASSERT_TRUE(RunQuiet("mkdir -p \"$(dirname '" + strPath + "')\""));
            ASSERT_TRUE(WriteWholeFile(strPath, member.second.data(), member.second.size()));
            strList += " '" + member.first + "'";
        }
        ASSERT_TRUE(RunQuiet("cd '" + dir.File("tree") + "' && zip -q -X -9 ../out.zip" + strList));
        FILE* pFile = fopen(dir.File("out.zip").c_str(), "rb");
        ASSERT_NE(pFile, nullptr);
        Bytes vecZip;
        for (int c; (c = fgetc(pFile)) != EOF;) vecZip.push_back(static_cast<unsigned char>(c));
        fclose(pFile);
        EXPECT_EQ(Judge2007(vecZip).nWalk, kind.nExpected);
    }
}

TEST(Office2007, OurStoredZipsAreRealZips) {
    // The samples are only worth something if a real reader accepts them.
    if (!HaveTool("unzip")) GTEST_SKIP() << "unzip is not installed";
    CTempDir dir;
    Bytes vecDocx = MakeDocxSample();
    ASSERT_TRUE(WriteWholeFile(dir.File("a.docx"), vecDocx.data(), vecDocx.size()));
    EXPECT_TRUE(RunQuiet("unzip -tq '" + dir.File("a.docx") + "'"));
}

TEST(PartNameRule, PrefixesAndLengths) {
    EXPECT_EQ(J::ReturnFileType("word/", 5), EXT_DOCX);
    EXPECT_EQ(J::ReturnFileType("WORDx", 5), EXT_DOCX);
    EXPECT_EQ(J::ReturnFileType("word/", 4), EXT_UNKNOWN);
    EXPECT_EQ(J::ReturnFileType("ppt/", 4), EXT_PPTX);
    EXPECT_EQ(J::ReturnFileType("PpT/", 3), EXT_UNKNOWN);
    EXPECT_EQ(J::ReturnFileType("xl/", 3), EXT_XLSX);
    EXPECT_EQ(J::ReturnFileType("Xl", 2), EXT_UNKNOWN);
    EXPECT_EQ(J::ReturnFileType("docProps/app.xml", 16), EXT_UNKNOWN);
    EXPECT_EQ(J::ReturnFileType(nullptr, 10), EXT_UNKNOWN);
    // Only the given bytes are read: a 2-byte name "xl" with no NUL after it.
    char szTwo[2] = {'x', 'l'};
    EXPECT_EQ(J::ReturnFileType(szTwo, 2), EXT_UNKNOWN);
}

}  // namespace
