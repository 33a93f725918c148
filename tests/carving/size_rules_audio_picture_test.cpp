// Size rules of the audio and picture formats: well-formed files planted in raw images come
// back whole through the carving sweep, and the rules' edge cases cut where they should.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "carving/size_rules.h"
#include "carving_test_disk.h"
#include "fixtures/carving_image.h"
#include "fixtures/media_samples.h"
#include "planted_files_check.h"
#include "fixtures/temp_dir.h"
#include "util/le.h"

namespace {

constexpr int kSector = 512;
constexpr unsigned long long kChunk = 65536;

class SizeRulesAudioPictureTest : public ::testing::Test {
protected:
    std::vector<_MEDIA_CARVED_FILE_> Carve(const CCarvingImage& image) { return CarveImage(image, m_dir.Path()); }
    // Size the sweep recorded for the file whose head is at u64Sector (0 when none was carved).
    unsigned long long SizeAt(const CCarvingImage& image, unsigned long long u64Sector) {
        std::vector<_MEDIA_CARVED_FILE_> vec = Carve(image);
        const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vec, u64Sector);
        return pCarved == nullptr ? 0 : pCarved->u64Size;
    }

    CJudgeContextScope m_scope;
    CScopedAppHome m_home;
    CTempDir m_dir;
};

unsigned long long SectorsFor(const MEDIA_BYTES& vecFile) {
    return (vecFile.size() + kSector - 1) / kSector;
}

// Fills the rest of the sector that holds byte u64End, and the next u64Sectors sectors, with
// neutral data: whatever follows a file without zero padding.
void DirtyAfter(CCarvingImage& image, unsigned long long u64End, unsigned long long u64Sectors, uint32_t nSeed) {
    unsigned long long u64SectorEnd = (u64End + kSector - 1) / kSector * kSector;
    image.FillNeutral(u64SectorEnd / kSector, u64Sectors, nSeed);
    if (u64SectorEnd > u64End) image.Poke(u64End, NeutralBytes(u64SectorEnd - u64End, nSeed + 1));
}

TEST_F(SizeRulesAudioPictureTest, PlantedFilesWithAKnownEndComeBackByteForByte) {
    CCarvingImage image(700);
    const std::vector<std::pair<MEDIA_BYTES, std::string>> vecSamples = {
        {MakeJpegFile(3000, 1), "jpg"},      {MakeJpegFile(0, 2), "jpg"},  // second: inside its head sector
        {MakePngFile(40, 30, 3), "png"},     {MakeGifFile(64, 64, 4), "gif"},
        {MakeBmpFile(30, 20, 5), "bmp"},     {MakeWavFile(3000, 6), "wav"},
        {MakeMp3File(20), "mp3"},            {MakeIcoFile({16, 32}, 7), "ico"},
        {MakeMidiFile({3, 400}), "mid"},     {MakeApeFile(5000, 8), "ape"},
    };
    unsigned long long u64Next = 3;
    for (const auto& sample : vecSamples) {
        image.Plant(u64Next, sample.first, sample.second);
        u64Next += image.SectorsOf(sample.first.size()) + 5;
    }
    ASSERT_LT(u64Next, image.SectorCount());

    ExpectPlantedFilesCarvedExactly(image, Carve(image));
}

TEST_F(SizeRulesAudioPictureTest, GifEndsAtTheFirstTrailerFollowedByZeros) {
    // A small GIF: its trailer is followed by zeros inside the head sector.
    MEDIA_BYTES vecSmall = MakeGifFile(4, 4, 11);
    ASSERT_LT(vecSmall.size(), static_cast<size_t>(kSector));
    CCarvingImage small(20);
    small.Plant(2, vecSmall, "gif");
    EXPECT_EQ(SizeAt(small, 2), vecSmall.size());

    // A trailer with data after it in its sector is not the end; a later 00 3B followed by
    // zeros is.
    MEDIA_BYTES vecGif = MakeGifFile(40, 40, 12);
    CCarvingImage image(60);
    image.Plant(4, vecGif, "gif");
    const unsigned long long u64GifEnd = 4 * kSector + vecGif.size();
    DirtyAfter(image, u64GifEnd, 6, 13);
    const unsigned long long u64LateTrailer = (image.SectorsOf(u64GifEnd) + 3) * kSector + 100;
    image.Poke(u64LateTrailer, {0x00, 0x3B});
    image.Poke(u64LateTrailer + 2, MEDIA_BYTES(kSector - 102, 0));
    EXPECT_EQ(SizeAt(image, 4), u64LateTrailer + 2 - 4 * kSector);
}

TEST_F(SizeRulesAudioPictureTest, JpegEndsAtItsLastPaddedEndMarker) {
    // The thumbnail's end marker (zero padded, first chunk) comes three chunks before the
    // picture's own.
    MEDIA_BYTES vecJpeg = MakeJpegWithThumbnail(1000, 3 * kChunk, 21);
    CCarvingImage image(SectorsFor(vecJpeg) + 20);
    image.Plant(2, vecJpeg, "jpg");
    std::vector<_MEDIA_CARVED_FILE_> vecCarved = Carve(image);
    const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, 2);
    ASSERT_NE(pCarved, nullptr);
    EXPECT_GT(pCarved->u64Size, 3 * kChunk);
    EXPECT_TRUE(pCarved->vecRecovered == vecJpeg);
}

TEST_F(SizeRulesAudioPictureTest, JpegWithoutPaddingRunsToTheNextFile) {
    MEDIA_BYTES vecJpeg = MakeJpegFile(2000, 31);
    CCarvingImage image(40);
    image.Plant(3, vecJpeg, "jpg");
    DirtyAfter(image, 3 * kSector + vecJpeg.size(), 10, 32);
    const unsigned long long u64Png = 3 + image.SectorsOf(vecJpeg.size()) + 10;
    image.Plant(u64Png, MakePngFile(4, 4, 33), "png");
    EXPECT_EQ(SizeAt(image, 3), (u64Png - 3) * kSector);
}

TEST_F(SizeRulesAudioPictureTest, Mp3EndsWithItsId3v1TagWhateverFollows) {
    MEDIA_BYTES vecMp3 = MakeMp3File(30);
    CCarvingImage image(80);
    image.Plant(5, vecMp3, "mp3");
    DirtyAfter(image, 5 * kSector + vecMp3.size(), 20, 41);
    std::vector<_MEDIA_CARVED_FILE_> vecCarved = Carve(image);
    const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, 5);
    ASSERT_NE(pCarved, nullptr);
    // The tag's start plus its 128 bytes, so the tag stays the file's last 128 bytes.
    EXPECT_TRUE(pCarved->vecRecovered == vecMp3);
    EXPECT_EQ(memcmp(pCarved->vecRecovered.data() + pCarved->vecRecovered.size() - 128, "TAG", 3), 0);
}

TEST_F(SizeRulesAudioPictureTest, ApeTagWithoutItsFooterInTheChunkEndsWithTheChunk) {
    // Frame bytes chosen so the tag header is the chunk's last 48 bytes and its footer starts
    // in the next chunk.
    const unsigned long long u64ChunkEnd = kSector + kChunk;
    MEDIA_BYTES vecApe = MakeApeFile(u64ChunkEnd - 48 - 80, 51);
    CCarvingImage image(SectorsFor(vecApe) + 10);
    image.Plant(1, vecApe, "ape");
    EXPECT_EQ(SizeAt(image, 1), u64ChunkEnd);
}

TEST_F(SizeRulesAudioPictureTest, MidiEndsAfterItsLastTrack) {
    // The second track's header straddles the first chunk's end (the head sector and the first
    // chunk hold file bytes 0..66047; 26 + 8 x 8252 = 66042).
    MEDIA_BYTES vecMidi = MakeMidiFile({8252, 5});
    CCarvingImage image(SectorsFor(vecMidi) + 20);
    image.Plant(1, vecMidi, "mid");
    DirtyAfter(image, kSector + vecMidi.size(), 4, 61);
    std::vector<_MEDIA_CARVED_FILE_> vecCarved = Carve(image);
    const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, 1);
    ASSERT_NE(pCarved, nullptr);
    EXPECT_TRUE(pCarved->vecRecovered == vecMidi);

    // A head that counts a track the file does not have: the walk decides.
    MEDIA_BYTES vecShort = MakeMidiFile({10, 10});
    vecShort[11] = 3;
    CCarvingImage shortImage(60);
    shortImage.Plant(2, vecShort, "mid");
    shortImage.Plant(30, MakeJpegFile(0, 62), "jpg");
    EXPECT_EQ(SizeAt(shortImage, 2), 28ULL * kSector);
}

TEST_F(SizeRulesAudioPictureTest, DefaultAudioAndPictureRulesEndAtTheNextFile) {
    const std::vector<std::pair<MEDIA_BYTES, std::string>> vecHeads = {
        {MEDIA_BYTES{'M', 'M', 'M', 'D', 0, 0, 0x10, 0}, "mmf"},
        {MEDIA_BYTES{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}, "fla"},
        {MEDIA_BYTES{0x49, 0x49, 0x2A, 0x00, 0x08, 0, 0, 0}, "tif"},
        {MEDIA_BYTES{'8', 'B', 'P', 'S', 0, 1}, "psd"},
    };
    for (const auto& head : vecHeads) {
        SCOPED_TRACE(head.second);
        MEDIA_BYTES vecFile = NeutralBytes(5 * kSector, 71);
        std::copy(head.first.begin(), head.first.end(), vecFile.begin());
        CCarvingImage image(40);
        image.Plant(4, vecFile, head.second);
        image.Plant(16, MakeGifFile(4, 4, 72), "gif");
        std::vector<_MEDIA_CARVED_FILE_> vecCarved = Carve(image);
        const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, 4);
        ASSERT_NE(pCarved, nullptr);
        EXPECT_EQ(pCarved->strName, "4." + head.second);
        EXPECT_EQ(pCarved->u64Size, 12ULL * kSector);
    }
}

TEST_F(SizeRulesAudioPictureTest, HeaderRulesTakeTheirLengthFieldsWithinLimits) {
    CFileTypeJudge::m_nBytesPerSector = kSector;
    MEDIA_BYTES vecHead(kSector, 0);
    memcpy(vecHead.data(), "BM", 2);
    WriteLe32(vecHead.data() + 2, 300000000);
    EXPECT_EQ(GetBMPFileBytesSize(vecHead.data(), kSector), 134217728ULL);
    WriteLe32(vecHead.data() + 2, 70000);
    EXPECT_EQ(GetBMPFileBytesSize(vecHead.data(), kSector), 70000ULL);
    // Nothing usable: the head sector alone, never an empty file.
    EXPECT_EQ(GetBMPFileBytesSize(nullptr, kSector), static_cast<unsigned long long>(kSector));
    EXPECT_EQ(GetBMPFileBytesSize(vecHead.data(), 5), static_cast<unsigned long long>(kSector));
    WriteLe32(vecHead.data() + 2, 0);
    EXPECT_EQ(GetBMPFileBytesSize(vecHead.data(), kSector), static_cast<unsigned long long>(kSector));

    memcpy(vecHead.data(), "RIFF", 4);
    WriteLe32(vecHead.data() + 4, 0xFFFFFFF0u);  // no cap: the whole 32-bit range counts
    EXPECT_EQ(GetWAVFileBytesSize(vecHead.data(), kSector), 0xFFFFFFF8ULL);
    EXPECT_EQ(GetWAVFileBytesSize(nullptr, 0), static_cast<unsigned long long>(kSector));
}

TEST_F(SizeRulesAudioPictureTest, IcoEndsWithItsLastImage) {
    CFileTypeJudge::m_nBytesPerSector = kSector;
    CFileTypeJudge::m_pDiskReader = nullptr;
    MEDIA_BYTES vecHead(kSector, 0);
    WriteLe16(vecHead.data() + 2, 1);
    WriteLe16(vecHead.data() + 4, 2);
    WriteLe32(vecHead.data() + 6 + 8, 962), WriteLe32(vecHead.data() + 6 + 12, 38);
    WriteLe32(vecHead.data() + 22 + 8, 500), WriteLe32(vecHead.data() + 22 + 12, 1000);
    EXPECT_EQ(GetICOFileBytesSize(vecHead.data(), kSector), 1500ULL);
    WriteLe16(vecHead.data() + 4, 0);
    EXPECT_EQ(GetICOFileBytesSize(vecHead.data(), kSector), static_cast<unsigned long long>(kSector));

    // 40 images: the directory runs past the head sector and is read from the device.
    std::vector<int> vecSizes(40, 2);
    MEDIA_BYTES vecIco = MakeIcoFile(vecSizes, 81);
    ASSERT_GT(6 + 16 * vecSizes.size(), static_cast<size_t>(kSector));
    // The device must hold the 64 KiB read from the head sector on.
    CCarvingTestDisk disk(ImageWithFileAt(vecIco, 3, 140));
    ASSERT_TRUE(disk.Ready());
    disk.AimAt(3);
    MEDIA_BYTES vecSector = disk.Sector(3);
    EXPECT_EQ(GetICOFileBytesSize(vecSector.data(), kSector), vecIco.size());
    // Without a device to read, only the head sector is known.
    CFileTypeJudge::m_pDiskReader = nullptr;
    EXPECT_EQ(GetICOFileBytesSize(vecSector.data(), kSector), static_cast<unsigned long long>(kSector));
}

TEST_F(SizeRulesAudioPictureTest, WalksStopAtTheirCaps) {
    // 64 KiB sectors over a device of zeros: zeros never end a file, so only the cap does.
    constexpr int kBig = 65536;
    struct CAP_CASE {
        const char* szWhat;
        MEDIA_BYTES vecHead;
        unsigned long long u64Cap;
    };
    MEDIA_BYTES vecMidi = MakeMidiFile({1});
    const unsigned char ucHugeTrack[4] = {0x10, 0x00, 0x00, 0x00};  // big-endian 256 MiB
    memcpy(vecMidi.data() + 18, ucHugeTrack, sizeof(ucHugeTrack));
    MEDIA_BYTES vecJpeg = MakeJpegFile(0, 91);
    vecJpeg.push_back(0x55);  // data right after the end marker: never a valid end
    MEDIA_BYTES vecMp3 = MakeMp3File(1);
    vecMp3.resize(vecMp3.size() - 128);  // no ID3v1 tag
    const std::vector<CAP_CASE> vecCases = {
        {"jpeg never padded", vecJpeg, 134217728ULL},
        {"mmf", {'M', 'M', 'M', 'D', 0, 0, 0x10, 0}, 268435456ULL},
        {"midi", vecMidi, 8388608ULL},
        {"tif", {0x49, 0x49, 0x2A, 0x00, 0x08, 0, 0, 0}, 134217728ULL},
        {"mp3 without a tag", vecMp3, 2147483648ULL},
    };
    for (const CAP_CASE& cap : vecCases) {
        SCOPED_TRACE(cap.szWhat);
        EXPECT_EQ(CarvedSizeOverZeros(cap.vecHead, cap.u64Cap + 4 * kBig, kBig), cap.u64Cap);
    }
}

}  // namespace
