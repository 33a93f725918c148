#include "fat/fat_record_tests.h"

#include <gtest/gtest.h>

#include <random>

#include "fat_entry_builder.h"

namespace {

// Buffers are exactly as long as the length handed over, so the sanitizer build reports any
// look past them.
int Fdt(const FatBytes& v) { return IsFatFDTRecord(v.data(), static_cast<int>(v.size())); }
int FileRecord(const FatBytes& v) { return IsFatFileRecord(v.data(), static_cast<int>(v.size())); }
int EntryValid(const FatEntryBytes& e) { return IsFatEntyValid(e.ab.data(), 32); }

FatEntryBytes Dot() { return FatEntryBytes::Directory(".          ", 9); }
FatEntryBytes DotDot() { return FatEntryBytes::Directory("..         ", 0); }

TEST(FatFileRecordTest, AcceptsDotThenDotDotWithEqualDates) {
    const FatBytes v = JoinEntries({Dot(), DotDot(), FatEntryBytes::File("A       TXT")}, 512);
    EXPECT_EQ(1, FileRecord(v));
    // Exactly the two entries is enough; one byte less is not.
    EXPECT_EQ(1, IsFatFileRecord(v.data(), 64));
    const FatBytes vShort(v.begin(), v.begin() + 63);
    EXPECT_EQ(0, FileRecord(vShort));
    EXPECT_EQ(0, IsFatFileRecord(nullptr, 512));
}

TEST(FatFileRecordTest, RejectsWhatNoDirectoryStartLooksLike) {
    EXPECT_EQ(0, FileRecord(JoinEntries({Dot(), Dot()})));  // ".." needs two dots
    EXPECT_EQ(0, FileRecord(JoinEntries({Dot(), DotDot().SetAttr(0x20)})));
    EXPECT_EQ(0, FileRecord(JoinEntries({Dot().SetAttr(0x20), DotDot()})));
    FatEntryBytes withSize = Dot();
    WriteLe32(&withSize.ab[28], 1);
    EXPECT_EQ(0, FileRecord(JoinEntries({withSize, DotDot()})));
    for (int nDateOffset : {16, 18, 24}) {
        FatEntryBytes later = DotDot();
        WriteLe16(&later.ab[nDateOffset], MakeFatDate(2016, 6, 15));
        EXPECT_EQ(0, FileRecord(JoinEntries({Dot(), later}))) << "date at " << nDateOffset;
    }
}

TEST(FatFileRecordTest, DatesAreComparedAsDaysNotAsWords) {
    // Day 0 of March is the last day of February: different words, the same midnight.
    const FatBytes v = JoinEntries({Dot().SetDates(MakeFatDate(2019, 3, 0)),
                                    DotDot().SetDates(MakeFatDate(2019, 2, 28))});
    EXPECT_EQ(1, FileRecord(v));
}

TEST(FatEntryValidTest, FilesNeedTheArchiveBitAndPlausibleDates) {
    EXPECT_EQ(1, EntryValid(FatEntryBytes::File("PHOTO   JPG")));
    EXPECT_EQ(0, EntryValid(FatEntryBytes::File("PHOTO   JPG").SetAttr(0x00)));
    EXPECT_EQ(1, EntryValid(FatEntryBytes::File("PHOTO   JPG").SetAttr(0x23)));  // hidden, read-only
    EXPECT_EQ(0, EntryValid(FatEntryBytes::File("PHOTO   JPG").SetDates(MakeFatDate(1990, 1, 1))));
    EXPECT_EQ(0, EntryValid(FatEntryBytes::File("PHOTO   JPG").SetDates(MakeFatDate(2090, 1, 1))));
    // One bad date of the three is enough.
    FatEntryBytes e = FatEntryBytes::File("PHOTO   JPG");
    WriteLe16(&e.ab[18], 0);
    EXPECT_EQ(0, EntryValid(e));
    // Deleted entries and directories keep whatever dates they had.
    EXPECT_EQ(1, EntryValid(FatEntryBytes::File("PHOTO   JPG").SetDates(0).Delete()));
    EXPECT_EQ(1, EntryValid(FatEntryBytes::Directory("DCIM       ").SetDates(0)));
}

TEST(FatEntryValidTest, SizesAndClustersMustAgree) {
    EXPECT_EQ(0, EntryValid(FatEntryBytes::File("EMPTY   TXT", 0, 5)));
    EXPECT_EQ(1, EntryValid(FatEntryBytes::File("EMPTY   TXT", 0, 0)));
    FatEntryBytes high = FatEntryBytes::File("EMPTY   TXT", 0, 0);
    WriteLe16(&high.ab[20], 1);
    EXPECT_EQ(0, EntryValid(high));
    FatEntryBytes dirWithSize = FatEntryBytes::Directory("DCIM       ");
    WriteLe32(&dirWithSize.ab[28], 4096);
    EXPECT_EQ(0, EntryValid(dirWithSize));
    EXPECT_EQ(1, EntryValid(dirWithSize.Delete()));
}

TEST(FatEntryValidTest, AttributeCombinationsNoDriverWrites) {
    const FatEntryBytes label = FatEntryBytes::File("My card    ", 0, 0).SetAttr(0x08);
    EXPECT_EQ(1, EntryValid(label));  // labels may hold lower case
    EXPECT_EQ(0, EntryValid(FatEntryBytes::File("CARD       ", 0, 3).SetAttr(0x08)));
    EXPECT_EQ(0, EntryValid(FatEntryBytes::File("CARD       ", 12, 0).SetAttr(0x08)));
    EXPECT_EQ(0, EntryValid(FatEntryBytes::File("CARD       ").SetAttr(0x28)));
    EXPECT_EQ(0, EntryValid(FatEntryBytes::Directory("DCIM       ").SetAttr(0x11)));
    EXPECT_EQ(0, EntryValid(FatEntryBytes::File("PHOTO   JPG").SetAttr(0x60)));
    EXPECT_EQ(0, EntryValid(FatEntryBytes::File("PHOTO   JPG").SetAttr(0xA0)));
}

TEST(FatEntryValidTest, ShortNamesHoldNoForbiddenBytes) {
    for (char c : {'a', 'z', '\\', ':', '*', '?', '"', '<', '>', '|', '.', '\x1F', '\0'}) {
        EXPECT_EQ(0, EntryValid(FatEntryBytes::File("PHOTO   JPG").SetByte(3, static_cast<unsigned char>(c)))) << int(c);
        EXPECT_EQ(0, EntryValid(FatEntryBytes::File("PHOTO   JPG").SetByte(10, static_cast<unsigned char>(c)))) << int(c);
    }
    for (char c : {'A', 'Z', '0', '~', '_', '$', '\x80', '\xFF'})
        EXPECT_EQ(1, EntryValid(FatEntryBytes::File("PHOTO   JPG").SetByte(3, static_cast<unsigned char>(c)))) << int(c);
    // The deletion mark replaces the first byte and passes.
    EXPECT_EQ(1, EntryValid(FatEntryBytes::File("PHOTO   JPG").Delete()));
}

TEST(FatEntryValidTest, LongNamePiecesHaveAtMostEighteenParts) {
    EXPECT_EQ(1, EntryValid(FatEntryBytes::LongName(0x52, 0x11)));
    EXPECT_EQ(0, EntryValid(FatEntryBytes::LongName(0x53, 0x11)));
    EXPECT_EQ(0, EntryValid(FatEntryBytes::LongName(0x13, 0x11)));
    EXPECT_EQ(1, EntryValid(FatEntryBytes::LongName(0x53, 0x11).Delete()));
    EXPECT_EQ(0, EntryValid(FatEntryBytes::LongName(0x41, 0x11).SetByte(26, 1)));
}

TEST(FatEntryValidTest, DotEntryIsValidOnlyWithDotDotAfterIt) {
    const FatBytes v = JoinEntries({Dot(), DotDot()});
    EXPECT_EQ(1, IsFatEntyValid(v.data(), 64));
    // Cut before the "..": the follower counts as zeros, and "." alone breaks the name rule.
    const FatBytes vAlone(v.begin(), v.begin() + 32);
    EXPECT_EQ(0, IsFatEntyValid(vAlone.data(), 32));
    EXPECT_EQ(0, IsFatEntyValid(vAlone.data(), 31));
    EXPECT_EQ(0, IsFatEntyValid(static_cast<const unsigned char*>(nullptr), 64));

    FAT32_Entry aRecords[2] = {ReadFatEntry(v.data()), ReadFatEntry(v.data() + 32)};
    EXPECT_EQ(1, IsFatEntyValid(aRecords, 2));
    EXPECT_EQ(0, IsFatEntyValid(aRecords));
    EXPECT_EQ(0, IsFatEntyValid(aRecords, 0));
}

TEST(FatFdtRecordTest, EndOfDirectoryMustBeFollowedByZerosOnly) {
    FatBytes v = JoinEntries({FatEntryBytes::File("A       TXT"), FatEntryBytes::File("B       TXT")}, 512);
    EXPECT_EQ(1, Fdt(v));
    v[511] = 1;
    EXPECT_EQ(0, Fdt(v));
    EXPECT_EQ(0, Fdt(FatBytes(512, 0)));
    // An end marker first is no table even if the rest looks fine.
    FatBytes vEndFirst = JoinEntries({FatEntryBytes::File("A       TXT").SetByte(0, 0)}, 512);
    EXPECT_EQ(0, Fdt(vEndFirst));
}

TEST(FatFdtRecordTest, FullSectorOfEntriesAndLengthLimits) {
    std::vector<FatEntryBytes> vEntries;
    for (int i = 0; i < 16; ++i) vEntries.push_back(FatEntryBytes::File("FILE    TXT").SetByte(4, 'A' + i));
    const FatBytes v = JoinEntries(vEntries);
    EXPECT_EQ(1, Fdt(v));
    const FatBytes vOne(v.begin(), v.begin() + 32);
    EXPECT_EQ(1, Fdt(vOne));
    EXPECT_EQ(0, IsFatFDTRecord(v.data(), 31));  // not even one entry
    EXPECT_EQ(0, IsFatFDTRecord(v.data(), 0));
    EXPECT_EQ(0, IsFatFDTRecord(v.data(), -512));
    EXPECT_EQ(0, IsFatFDTRecord(nullptr, 512));
}

TEST(FatFdtRecordTest, DirectoryStartIsNotATableSector) {
    const FatBytes v = JoinEntries({Dot(), DotDot(), FatEntryBytes::File("A       TXT")}, 512);
    EXPECT_EQ(1, FileRecord(v));
    EXPECT_EQ(0, Fdt(v));
}

TEST(FatFdtRecordTest, LongNameChainsMustMatchTheirShortEntry) {
    FatEntryBytes shortEntry = FatEntryBytes::File("HOLIDA~1JPG");
    const unsigned char btSum = shortEntry.CheckSum();
    const FatEntryBytes last = FatEntryBytes::LongName(0x42, btSum, 'k');
    const FatEntryBytes first = FatEntryBytes::LongName(0x01, btSum, 'a');
    EXPECT_EQ(1, Fdt(JoinEntries({last, first, shortEntry}, 512)));
    EXPECT_EQ(0, Fdt(JoinEntries({last, first, FatEntryBytes::File("OTHER~1 JPG")}, 512)));
    EXPECT_EQ(0, Fdt(JoinEntries({last, FatEntryBytes::LongName(0x01, btSum ^ 1), shortEntry}, 512)));
    // A chain straight into the end of the directory has no short entry.
    EXPECT_EQ(0, Fdt(JoinEntries({last, first}, 512)));
    // Deleted: the short entry lost its first byte, so its checksum cannot be compared.
    EXPECT_EQ(1, Fdt(JoinEntries({FatEntryBytes(last).Delete(), FatEntryBytes(first).Delete(),
                                  FatEntryBytes::File("OTHER~1 JPG").Delete()}, 512)));
}

TEST(FatFdtRecordTest, ChainCutByTheSectorEndIsNoVerdict) {
    std::vector<FatEntryBytes> vEntries;
    for (int i = 0; i < 14; ++i) vEntries.push_back(FatEntryBytes::File("FILE    TXT").SetByte(4, 'A' + i));
    vEntries.push_back(FatEntryBytes::LongName(0x43, 0x5A, 'a'));
    vEntries.push_back(FatEntryBytes::LongName(0x02, 0x5A, 'n'));
    EXPECT_EQ(1, Fdt(JoinEntries(vEntries)));
    // The rest of the chain opens the next sector and ends at its short entry.
    FatEntryBytes shortEntry = FatEntryBytes::File("BEACHP~1JPE");
    EXPECT_EQ(1, Fdt(JoinEntries({FatEntryBytes::LongName(0x01, shortEntry.CheckSum()), shortEntry}, 512)));
}

TEST(FatFdtRecordTest, ShortNamesArePaddedAtTheEndOnly) {
    auto SectorWith = [](const FatEntryBytes& e) { return Fdt(JoinEntries({e}, 512)); };
    EXPECT_EQ(1, SectorWith(FatEntryBytes::File("AB      C  ")));
    EXPECT_EQ(0, SectorWith(FatEntryBytes::File("AB CD   TXT")));
    EXPECT_EQ(0, SectorWith(FatEntryBytes::File("ABCD    T X")));
    // Volume labels skip the entry's own name rules but not these.
    EXPECT_EQ(1, SectorWith(FatEntryBytes::File("KORVALO    ", 0, 0).SetAttr(0x08)));
    EXPECT_EQ(0, SectorWith(FatEntryBytes::File("MY.CARD    ", 0, 0).SetAttr(0x08)));
    EXPECT_EQ(0, SectorWith(FatEntryBytes::File("MY CARD    ", 0, 0).SetAttr(0x08)));
}

TEST(FatFdtRecordTest, HighBytesOfEveryCodePageAreAccepted) {
    auto SectorWith = [](const FatEntryBytes& e) { return Fdt(JoinEntries({e}, 512)); };
    // "VIDÉOS" as CP850 writes it, a GB2312 pair, and a deleted one.
    EXPECT_EQ(1, SectorWith(FatEntryBytes::Directory("VID\x90OS     ")));
    EXPECT_EQ(1, SectorWith(FatEntryBytes::File("\xC4\xE3      TXT")));
    EXPECT_EQ(1, SectorWith(FatEntryBytes::File("AB\xC4" "D    TXT").SetByte(0, 0xE5)));
}

TEST(FatFdtRecordTest, RepeatedHalvesAreAFillPatternNotAnEntry) {
    // A directory (no date rule) whose bytes 12-14 are zero keeps size 0 after the copy.
    FatEntryBytes e = FatEntryBytes::Directory("DCIM    ABC");
    e.ab[12] = e.ab[13] = e.ab[14] = 0;
    for (int i = 0; i < 14; ++i) e.ab[17 + i] = e.ab[1 + i];
    ASSERT_EQ(1, EntryValid(e)) << "the entry itself must stay plausible for this test to mean anything";
    EXPECT_EQ(0, Fdt(JoinEntries({e}, 512)));
    e.ab[17] ^= 1;  // creation date of a directory: not judged
    EXPECT_EQ(1, Fdt(JoinEntries({e}, 512)));
}

TEST(FatFdtRecordTest, RandomAndZeroSectorsAreNeverDirectoryTables) {
    std::mt19937 rng(20240611);
    int nFileRecordHits = 0;
    for (int nRound = 0; nRound < 20000; ++nRound) {
        FatBytes v(512);
        for (unsigned char& b : v) b = static_cast<unsigned char>(rng());
        EXPECT_EQ(0, Fdt(v));
        nFileRecordHits += FileRecord(v);
    }
    EXPECT_EQ(0, nFileRecordHits);
    EXPECT_EQ(0, FileRecord(FatBytes(512, 0)));
}

TEST(FatDirSlackTest, CopiesAndZeroesTheSlack) {
    const FatBytes vSector = JoinEntries({FatEntryBytes::File("A       TXT")}, 512);
    FatBytes vDst(512 + FAT_DIR_SLACK_BYTES, 0xCC);
    ASSERT_EQ(0, CopyFatDirWithSlack(vDst.data(), static_cast<int>(vDst.size()), vSector.data(), 512));
    EXPECT_TRUE(std::equal(vSector.begin(), vSector.end(), vDst.begin()));
    EXPECT_EQ(FatBytes(FAT_DIR_SLACK_BYTES, 0), FatBytes(vDst.begin() + 512, vDst.end()));

    FatBytes vSmall(512 + FAT_DIR_SLACK_BYTES - 1, 0xCC);
    EXPECT_EQ(87, CopyFatDirWithSlack(vSmall.data(), static_cast<int>(vSmall.size()), vSector.data(), 512));
    EXPECT_EQ(FatBytes(vSmall.size(), 0xCC), vSmall);  // untouched
    EXPECT_EQ(87, CopyFatDirWithSlack(vDst.data(), -5, vSector.data(), 0));
    EXPECT_EQ(87, CopyFatDirWithSlack(vDst.data(), 600, vSector.data(), -1));
    EXPECT_EQ(87, CopyFatDirWithSlack(nullptr, 600, vSector.data(), 512));
}

}  // namespace
