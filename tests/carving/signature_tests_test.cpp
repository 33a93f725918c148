// The buffer-only signature tests: what each accepts, the near misses it must refuse, and that
// none reads past the length it is given.
#include <gtest/gtest.h>

#include <vector>

#include "carving/file_type_judge.h"
#include "crafted_heads.h"

namespace {

using J = CFileTypeJudge;
using Bytes = std::vector<unsigned char>;

EXTEND_NAME_TYPE RunExact(PFN_IS_TYPE pfnTest, const Bytes& vec) {
    // An exact-size copy, so a sanitizer build catches any read past the end.
    Bytes vecExact(vec);
    vecExact.shrink_to_fit();
    return pfnTest(vecExact.data(), static_cast<int>(vecExact.size()));
}

TEST(SignatureTests, EveryCraftedHeadIsAcceptedAtItsShortestAndRefusedOneByteShorter) {
    for (const CRAFTED_HEAD& head : CraftedHeads()) {
        SCOPED_TRACE(head.szWhat);
        EXPECT_EQ(RunExact(head.pfnTest, head.vecHead), head.nExpected);
        Bytes vecShort(head.vecHead.begin(), head.vecHead.end() - 1);
        EXPECT_EQ(RunExact(head.pfnTest, vecShort), EXT_UNKNOWN);
        EXPECT_EQ(head.pfnTest(nullptr, static_cast<int>(head.vecHead.size())), EXT_UNKNOWN);
        EXPECT_EQ(head.pfnTest(head.vecHead.data(), -1), EXT_UNKNOWN);
    }
}

TEST(SignatureTests, RiffHeadsAreToldApartByFormType) {
    Bytes vecAvi = crafted::Bytes(512, {{0, "RIFF"}, {8, "AVI LIST"}});
    Bytes vecWav = crafted::Bytes(512, {{0, "RIFF"}, {8, "WAVEfmt "}});
    Bytes vecAviJunk = crafted::Bytes(512, {{0, "RIFF"}, {8, "AVI JUNK"}});
    Bytes vecWavData = crafted::Bytes(512, {{0, "RIFF"}, {8, "WAVEdata"}});
    Bytes vecMidiRiff = crafted::Bytes(512, {{0, "RIFF"}, {8, "RMIDdata"}});
    EXPECT_EQ(J::GetDataBufType(vecAvi.data(), 512), EXT_AVI);
    EXPECT_EQ(J::GetDataBufType(vecWav.data(), 512), EXT_WAV);
    EXPECT_EQ(J::GetDataBufType(vecAviJunk.data(), 512), EXT_UNKNOWN);
    EXPECT_EQ(J::GetDataBufType(vecWavData.data(), 512), EXT_UNKNOWN);
    EXPECT_EQ(J::GetDataBufType(vecMidiRiff.data(), 512), EXT_UNKNOWN);
    // Each RIFF test refuses the other's form.
    EXPECT_EQ(J::IsWavType(vecAvi.data(), 512), EXT_UNKNOWN);
    EXPECT_EQ(J::IsAviType(vecWav.data(), 512), EXT_UNKNOWN);
}

TEST(SignatureTests, SwfVersionLimitsDependOnCompression) {
    auto Swf = [](const char* szMagic, unsigned char ucVersion) {
        Bytes vec = crafted::Bytes(8, {{0, szMagic}});
        vec[3] = ucVersion;
        return RunExact(J::IsSwfType, vec);
    };
    EXPECT_EQ(Swf("FWS", 5), EXT_SWF);
    EXPECT_EQ(Swf("FWS", 6), EXT_UNKNOWN);
    EXPECT_EQ(Swf("CWS", 5), EXT_UNKNOWN);
    EXPECT_EQ(Swf("CWS", 6), EXT_SWF);
    EXPECT_EQ(Swf("CWS", 15), EXT_SWF);
    EXPECT_EQ(Swf("CWS", 16), EXT_UNKNOWN);
}

TEST(SignatureTests, IcoImagesMustFollowTheDirectoryBackToBack) {
    Bytes vec = crafted::IcoHead(2, 64);
    EXPECT_EQ(RunExact(J::IsIcoType, vec), EXT_ICO);

    Bytes vecGap = vec;
    WriteLe32(vecGap.data() + 6 + 16 + 12, ReadLe32(vec.data() + 6 + 16 + 12) + 2);
    EXPECT_EQ(RunExact(J::IsIcoType, vecGap), EXT_UNKNOWN);

    Bytes vecReserved = vec;
    vecReserved[6 + 16 + 3] = 1;
    EXPECT_EQ(RunExact(J::IsIcoType, vecReserved), EXT_UNKNOWN);

    Bytes vecNoImages = vec;
    WriteLe16(vecNoImages.data() + 4, 0);
    EXPECT_EQ(RunExact(J::IsIcoType, vecNoImages), EXT_UNKNOWN);

    // A directory longer than the buffer is refused, not read past the end.
    Bytes vecHuge = vec;
    WriteLe16(vecHuge.data() + 4, 0xFFFF);
    EXPECT_EQ(RunExact(J::IsIcoType, vecHuge), EXT_UNKNOWN);
    EXPECT_EQ(RunExact(J::IsIcoType, Bytes(vec.begin(), vec.begin() + 37)), EXT_UNKNOWN);
}

TEST(SignatureTests, BmpTakesTheInfoHeadersWritersUseWithPixelsAfterThem) {
    // GIMP and ImageMagick write 108- and 124-byte headers: such files are no damaged pictures.
    for (unsigned int nInfo : {12u, 16u, 40u, 56u, 100u, 108u, 124u}) {
        Bytes vec = crafted::Bytes(40, {{0, "BM"}});
        WriteLe32(vec.data() + 14, nInfo);
        WriteLe32(vec.data() + 10, 14 + nInfo);
        const bool bKnown = nInfo != 16 && nInfo != 100;
        EXPECT_EQ(RunExact(J::IsBmpType, vec), bKnown ? EXT_BMP : EXT_UNKNOWN) << nInfo;
        WriteLe32(vec.data() + 10, 14 + nInfo - 1);
        EXPECT_EQ(RunExact(J::IsBmpType, vec), EXT_UNKNOWN) << nInfo << " with pixels inside the header";
    }
    Bytes vecReserved = crafted::Bytes(40, {{0, "BM"}, {10, crafted::Raw({54})}, {14, crafted::Raw({40})}});
    vecReserved[8] = 1;
    EXPECT_EQ(RunExact(J::IsBmpType, vecReserved), EXT_UNKNOWN);
}

TEST(SignatureTests, PeKindComesFromTheCharacteristics) {
    EXPECT_EQ(RunExact(J::IsPeType, crafted::PeHead(0x80, 0x0102)), EXT_EXE);
    EXPECT_EQ(RunExact(J::IsPeType, crafted::PeHead(0x80, 0x2102)), EXT_DLL);
    EXPECT_EQ(RunExact(J::IsPeType, crafted::PeHead(0x80, 0x3102)), EXT_SYS);  // DLL and system bits
    EXPECT_EQ(RunExact(J::IsPeType, crafted::PeHead(0x80, 0x2100)), EXT_UNKNOWN);  // not executable
    // The header may start as late as 488, where its characteristics end the sector.
    EXPECT_EQ(RunExact(J::IsPeType, crafted::PeHead(488, 0x0002)), EXT_EXE);
    EXPECT_EQ(RunExact(J::IsPeType, crafted::PeHead(489, 0x0002)), EXT_UNKNOWN);
    EXPECT_EQ(RunExact(J::IsPeType, crafted::PeHead(0xFFFFFFF0u, 0x0002)), EXT_UNKNOWN);
}

TEST(SignatureTests, TtfNeedsItsVersionRepeatedAfterTheTableDirectory) {
    EXPECT_EQ(RunExact(J::IsTtfType, crafted::TtfHead(3)), EXT_TTF);
    Bytes vecNoRepeat = crafted::TtfHead(3);
    vecNoRepeat[16 * 3 + 12 + 1] = 2;
    EXPECT_EQ(RunExact(J::IsTtfType, vecNoRepeat), EXT_UNKNOWN);
    Bytes vecZeroWord = crafted::TtfHead(3);
    vecZeroWord[8] = vecZeroWord[9] = 0;
    EXPECT_EQ(RunExact(J::IsTtfType, vecZeroWord), EXT_UNKNOWN);
    // A table count whose directory would pass the buffer's end.
    Bytes vecTooMany = crafted::TtfHead(1);
    vecTooMany[5] = 2;
    EXPECT_EQ(RunExact(J::IsTtfType, vecTooMany), EXT_UNKNOWN);
}

TEST(SignatureTests, HeaderFieldRangesOfAudioAndPictures) {
    Bytes vecMp3 = crafted::Bytes(10, {{0, crafted::Raw({'I', 'D', '3', 3, 0, 0, 0, 0, 0x10, 0x00})}});
    EXPECT_EQ(RunExact(J::IsMp3Type, vecMp3), EXT_MP3);
    Bytes vecMp3Size = vecMp3;
    vecMp3Size[7] = 0x80;  // not a 7-bit size group
    EXPECT_EQ(RunExact(J::IsMp3Type, vecMp3Size), EXT_UNKNOWN);
    Bytes vecMp3Flags = vecMp3;
    vecMp3Flags[5] = 0x01;
    EXPECT_EQ(RunExact(J::IsMp3Type, vecMp3Flags), EXT_UNKNOWN);
    vecMp3Flags[5] = 0xE0;  // the defined flag bits are fine
    EXPECT_EQ(RunExact(J::IsMp3Type, vecMp3Flags), EXT_MP3);

    Bytes vecMid = crafted::Bytes(18, {{0, crafted::Raw({'M', 'T', 'h', 'd', 0, 0, 0, 7})}, {14, "MTrk"}});
    EXPECT_EQ(RunExact(J::IsMidType, vecMid), EXT_UNKNOWN);

    EXPECT_EQ(RunExact(J::IsGifType, crafted::Bytes(8, {{0, "GIF87a"}})), EXT_GIF);
    EXPECT_EQ(RunExact(J::IsGifType, crafted::Bytes(8, {{0, "GIF89A"}})), EXT_UNKNOWN);
    EXPECT_EQ(RunExact(J::IsGifType, crafted::Bytes(8, {{0, "GIF8xa"}})), EXT_UNKNOWN);

    // A JPEG may begin with any segment allowed before its first scan, if its length leads to
    // the next marker.
    auto Jpeg = [](unsigned char ucMarker, unsigned int nLength, unsigned char ucNext) {
        Bytes vec = crafted::Bytes(16, {{0, crafted::Raw({0xFF, 0xD8, 0xFF, ucMarker})}});
        vec[4] = static_cast<unsigned char>(nLength >> 8), vec[5] = static_cast<unsigned char>(nLength);
        if (nLength >= 2 && 4 + nLength < vec.size()) vec[4 + nLength] = ucNext;
        return RunExact(J::IsJpgType, vec);
    };
    for (unsigned char ucMarker : {0xDB, 0xC0, 0xC2, 0xC4, 0xDD, 0xE2, 0xEE, 0xFE}) {
        EXPECT_EQ(Jpeg(ucMarker, 6, 0xFF), EXT_JPG) << static_cast<int>(ucMarker);
        EXPECT_EQ(Jpeg(ucMarker, 67, 0x00), EXT_JPG) << static_cast<int>(ucMarker);  // next marker beyond
        EXPECT_EQ(Jpeg(ucMarker, 6, 0x12), EXT_UNKNOWN) << static_cast<int>(ucMarker);
        EXPECT_EQ(Jpeg(ucMarker, 1, 0xFF), EXT_UNKNOWN) << static_cast<int>(ucMarker);
    }
    for (unsigned char ucMarker : {0xC8, 0xD9, 0xDA, 0xD0, 0xFF, 0x00})
        EXPECT_EQ(Jpeg(ucMarker, 6, 0xFF), EXT_UNKNOWN) << static_cast<int>(ucMarker);
}

TEST(SignatureTests, GzipHeaderFields) {
    auto Gzip = [](unsigned char ucFlags, unsigned char ucExtra, unsigned char ucOs) {
        Bytes vec = crafted::Bytes(16, {{0, crafted::Raw({0x1F, 0x8B, 0x08})}});
        vec[3] = ucFlags, vec[8] = ucExtra, vec[9] = ucOs;
        return RunExact(J::IsGzipType, vec);
    };
    EXPECT_EQ(Gzip(0x00, 0x02, 0x03), EXT_GZIP);
    EXPECT_EQ(Gzip(0x08, 0x04, 0xFF), EXT_GZIP);
    EXPECT_EQ(Gzip(0x08, 0x04, 13), EXT_GZIP);
    EXPECT_EQ(Gzip(0x08, 0x04, 14), EXT_UNKNOWN);
    EXPECT_EQ(Gzip(0x00, 0x00, 0x03), EXT_GZIP);   // gzip's default level
    EXPECT_EQ(Gzip(0x1F, 0x02, 0x03), EXT_GZIP);   // every defined flag
    EXPECT_EQ(Gzip(0x20, 0x00, 0x03), EXT_UNKNOWN);  // a reserved flag
    EXPECT_EQ(Gzip(0x00, 0x01, 0x03), EXT_UNKNOWN);
}

TEST(SignatureTests, MpegSecondCodeMustLieInTheFirst32Bytes) {
    auto Pack = [](int nSystemAt, int nLen) {
        Bytes vec(static_cast<size_t>(nLen), 0xAA);
        const unsigned char ucPack[4] = {0, 0, 1, 0xBA}, ucSystem[4] = {0, 0, 1, 0xBB};
        memcpy(vec.data(), ucPack, 4);
        if (nSystemAt + 4 <= nLen) memcpy(vec.data() + nSystemAt, ucSystem, 4);
        return RunExact(J::IsMpgType, vec);
    };
    EXPECT_EQ(Pack(14, 512), EXT_MPG);
    EXPECT_EQ(Pack(28, 512), EXT_MPG);
    EXPECT_EQ(Pack(29, 512), EXT_UNKNOWN);  // runs past byte 32
    EXPECT_EQ(Pack(16, 20), EXT_MPG);       // a short buffer bounds the search
    EXPECT_EQ(Pack(17, 20), EXT_UNKNOWN);
    // A sequence header needs a group-of-pictures code, not a system header.
    Bytes vecSeq = crafted::Bytes(32, {{0, crafted::Raw({0, 0, 1, 0xB3})}, {12, crafted::Raw({0, 0, 1, 0xBB})}});
    EXPECT_EQ(RunExact(J::IsMpgType, vecSeq), EXT_UNKNOWN);
}

TEST(SignatureTests, IsoMediaBrandsPickTheType) {
    auto Brand = [](const char* szBrand) { return crafted::Bytes(32, {{4, std::string("ftyp") + szBrand}}); };
    EXPECT_EQ(J::GetDataBufType(Brand("isom").data(), 32), EXT_MP4);
    EXPECT_EQ(J::GetDataBufType(Brand("mp42").data(), 32), EXT_MP4);
    EXPECT_EQ(J::GetDataBufType(Brand("3gp4").data(), 32), EXT_3GP);
    EXPECT_EQ(J::GetDataBufType(Brand("qt  ").data(), 32), EXT_MOV);
    EXPECT_EQ(J::GetDataBufType(Brand("M4A ").data(), 32), EXT_UNKNOWN);
    EXPECT_EQ(J::GetDataBufType(Brand("mp41").data(), 32), EXT_UNKNOWN);
}

TEST(SignatureTests, MtsHeadInsideAnMtsBeingSizedIsNotANewHead) {
    int nSaved = J::m_bIsMtsFileHead;
    Bytes vecZeroPrefix = crafted::Bytes(192, {{4, crafted::Raw({0x47, 0x40, 0, 0x10})}, {8, crafted::Raw(szMtsHead)}});
    Bytes vecTimedPrefix = vecZeroPrefix;
    vecTimedPrefix[1] = 0x3A;
    J::m_bIsMtsFileHead = 0;
    EXPECT_EQ(RunExact(J::IsMtsType, vecZeroPrefix), EXT_MTS);
    EXPECT_EQ(RunExact(J::IsMtsType, vecTimedPrefix), EXT_MTS);
    J::m_bIsMtsFileHead = 1;
    EXPECT_EQ(RunExact(J::IsMtsType, vecZeroPrefix), EXT_MTS);
    EXPECT_EQ(RunExact(J::IsMtsType, vecTimedPrefix), EXT_UNKNOWN);
    J::m_bIsMtsFileHead = nSaved;
}

}  // namespace
