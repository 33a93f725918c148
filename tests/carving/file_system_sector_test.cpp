// Sectors that belong to a file system end a carved file.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "carving/file_type_judge.h"
#include "carving/signature_constants.h"
#include "fat/fat_record_tests.h"
#include "util/le.h"

namespace {

using J = CFileTypeJudge;
using Bytes = std::vector<unsigned char>;

Bytes SectorStarting(const void* pHead, size_t nHead, unsigned char ucFill = 0x61) {
    Bytes vec(512, ucFill);
    memcpy(vec.data(), pHead, nHead);
    return vec;
}

TEST(FileSystemSector, NtfsRecordsAndIndexBlocks) {
    EXPECT_EQ(J::IsFileSystemSector(SectorStarting("FILE0", 5).data(), 512), 1);
    EXPECT_EQ(J::IsFileSystemSector(SectorStarting("INDX(", 5).data(), 512), 1);
    EXPECT_EQ(J::IsFileSystemSector(SectorStarting("file0", 5).data(), 512), 0);
}

TEST(FileSystemSector, LogRestartPageNeedsTheNtfsName) {
    Bytes vec = SectorStarting("RSTR", 4);
    EXPECT_EQ(J::IsFileSystemSector(vec.data(), 512), 0);
    memcpy(vec.data() + 504, szNTFS, sizeof(szNTFS));  // at the very end
    EXPECT_EQ(J::IsFileSystemSector(vec.data(), 512), 1);
    EXPECT_EQ(J::IsFileSystemSector(vec.data(), 511), 0);  // not within the given bytes
}

TEST(FileSystemSector, AttributeDefinitionTable) {
    const unsigned char ucStandard[] = {0x24, 0, 0x53, 0, 0x54, 0, 0x41, 0, 0x4E, 0};
    EXPECT_EQ(J::IsFileSystemSector(SectorStarting(ucStandard, sizeof(ucStandard)).data(), 512), 1);
}

TEST(FileSystemSector, BootSectorsOfKnownFileSystems) {
    for (const char* szOem : {"MSDOS5.0", "MSWIN4.0", "MSWIN4.1", "EXFAT   ", "NTFS    "}) {
        Bytes vec = SectorStarting("\xEB\x52\x90", 3);
        memcpy(vec.data() + 3, szOem, 8);
        EXPECT_EQ(J::IsFileSystemSector(vec.data(), 512), 1) << szOem;
        vec[2] = 0x91;
        EXPECT_EQ(J::IsFileSystemSector(vec.data(), 512), 0) << szOem;
    }
    Bytes vecMkfs = SectorStarting("\xEB\x3C\x90mkfs.fat", 11);
    EXPECT_EQ(J::IsFileSystemSector(vecMkfs.data(), 512), 0);
}

TEST(FileSystemSector, DirectorySectorsAreWhatTheFileSystemsTestSays) {
    // A directory sector with one archived file entry, then the end of the directory; and a
    // folder's first sector, "." and ".." with equal dates.
    const uint16_t wDate = static_cast<uint16_t>(((2015 - 1980) << 9) | (6 << 5) | 15);
    Bytes vecTable(512, 0), vecStart(512, 0);
    memcpy(vecTable.data(), "README  TXT", 11);
    vecTable[11] = 0x20;
    for (int nOffset : {16, 18, 24}) WriteLe16(vecTable.data() + nOffset, wDate);
    WriteLe16(vecTable.data() + 26, 5);
    WriteLe32(vecTable.data() + 28, 1234);
    for (int nEntry : {0, 1}) {
        unsigned char* pEntry = vecStart.data() + 32 * nEntry;
        memcpy(pEntry, nEntry == 0 ? ".          " : "..         ", 11);
        pEntry[11] = 0x10;
        for (int nOffset : {16, 18, 24}) WriteLe16(pEntry + nOffset, wDate);
    }
    ASSERT_TRUE(IsFatDirectorySector(vecTable.data(), 512));
    ASSERT_TRUE(IsFatDirectorySector(vecStart.data(), 512));
    // Carving alone knows no directories; the FAT engines hand their test in.
    EXPECT_EQ(J::IsFileSystemSector(vecTable.data(), 512), 0);
    J::SetDirectorySectorTest(&IsFatDirectorySector);
    EXPECT_EQ(J::IsFileSystemSector(vecTable.data(), 512), 1);
    EXPECT_EQ(J::IsFileSystemSector(vecStart.data(), 512), 1);
    Bytes vecZero(512, 0);
    EXPECT_EQ(J::IsFileSystemSector(vecZero.data(), 512), 0);
    J::SetDirectorySectorTest(nullptr);
}

TEST(FileSystemSector, ShortOrMissingSectors) {
    Bytes vec = SectorStarting("FILE0", 5);
    EXPECT_EQ(J::IsFileSystemSector(vec.data(), 31), 0);
    EXPECT_EQ(J::IsFileSystemSector(nullptr, 512), 0);
    Bytes vecExact(vec.begin(), vec.begin() + 32);
    vecExact.shrink_to_fit();
    EXPECT_EQ(J::IsFileSystemSector(vecExact.data(), 32), 1);
}

}  // namespace
