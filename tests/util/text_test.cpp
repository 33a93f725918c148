#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "util/text.h"

namespace {

TEST(TextCodec, GbRoundTripKeepsChineseAccentedAndAstralNames) {
    for (const wchar_t* wszName : {L"照片_2024.jpg", L"Crème brûlée.txt", L"smile😀.png"}) {
        std::string strBytes = Unicode2Ansi(wszName);
        EXPECT_EQ(std::string::npos, strBytes.find('?')) << strBytes;
        EXPECT_EQ(std::wstring(wszName), Ansi2Unicode(strBytes.c_str()));
    }
    // GB2312 characters keep their GB2312 bytes; characters outside it take the four-byte form.
    EXPECT_EQ("\xD6\xD0\xCE\xC4", Unicode2Ansi(L"中文"));
    EXPECT_EQ("\x94\x39\xFC\x36", Unicode2Ansi(L"😀"));
    EXPECT_EQ("/tmp/\xE7\x85\xA7\xC3\xA9", Unicode2Path(L"/tmp/照é"));
    EXPECT_EQ(std::wstring(L"/tmp/照é"), Path2Unicode("/tmp/\xE7\x85\xA7\xC3\xA9"));
}

TEST(TextCodec, BadInputIsReplacedAndConversionGoesOn) {
    EXPECT_EQ(std::wstring(L"a\xFFFD"), Ansi2Unicode("a\x81"));                   // cut-off lead byte
    EXPECT_EQ(std::wstring(L"\xFFFD x\x4E2D"), Ansi2Unicode("\x81 x\xD6\xD0"));  // bad trail byte
    EXPECT_EQ(std::wstring(L"\xFFFD/\xFFFD("), Path2Unicode("\xC3/\xC3("));
    const wchar_t wszBad[] = {L'a', static_cast<wchar_t>(0xD800), L'b', static_cast<wchar_t>(0x110000), 0};
    EXPECT_EQ("a?b?", Unicode2Ansi(wszBad));
    EXPECT_EQ("a?b?", Unicode2Path(wszBad));
    EXPECT_TRUE(Ansi2Unicode(nullptr).empty());
}

TEST(TextCodec, OutputIsCutToCapacityAndTerminated) {
    wchar_t wszOut[8];
    wmemset(wszOut, L'#', 8);
    EXPECT_EQ(2, inner_str2uni(wszOut, "abcdef", 0, 3));
    EXPECT_EQ(std::wstring(L"ab"), wszOut);
    EXPECT_EQ(L'#', wszOut[3]);
    EXPECT_EQ(0, inner_str2uni(wszOut, "abc", 0, 1));
    EXPECT_EQ(L'\0', wszOut[0]);

    char szOut[8];
    memset(szOut, '#', sizeof(szOut));
    // "中文" takes 4 bytes: room for 3 keeps the first character whole, not half of the second.
    EXPECT_EQ(2, inner_uni2str(szOut, L"中文", 0, 4));
    EXPECT_STREQ("\xD6\xD0", szOut);
    EXPECT_EQ('#', szOut[4]);
    EXPECT_EQ(1, inner_uni2str(szOut, L"a😀", 0, 5));
    EXPECT_EQ(0, Unicode2Ansi(L"a😀", szOut, 6));
    EXPECT_STREQ("a\x94\x39\xFC\x36", szOut);
}

TEST(TextCodec, ThreadsConvertIndependently) {
    // Shared converter handles would mix conversion state between threads.
    std::vector<std::thread> vecThreads;
    std::vector<int> vecFailures(4, 0);
    for (int t = 0; t < 4; ++t) {
        vecThreads.emplace_back([t, &vecFailures] {
            for (int i = 0; i < 2000; ++i) {
                std::wstring strName = L"文件" + std::to_wstring(t * 100000 + i) + L"é";
                if (Ansi2Unicode(Unicode2Ansi(strName.c_str()).c_str()) != strName) ++vecFailures[t];
                if (Path2Unicode(Unicode2Path(strName.c_str()).c_str()) != strName) ++vecFailures[t];
            }
        });
    }
    for (std::thread& th : vecThreads) th.join();
    EXPECT_EQ(std::vector<int>(4, 0), vecFailures);
}

TEST(TextCodec, InitUnicodeMapReportsUnknownEncodings) {
    EXPECT_EQ(0, inner_initUnicodeMap("UTF-8"));
    EXPECT_EQ(-1, inner_initUnicodeMap("NO-SUCH-CHARSET-42"));
    EXPECT_EQ(-1, inner_initUnicodeMap(nullptr));
    EXPECT_EQ(0, inner_initUnicodeMap("UTF-8"));  // opens again after a failure
}

TEST(Lowercase, OnlyAsciiCapitalsChange) {
    char szName[] = "PHOTO_\xD6\xD0[@Z].JPG";
    EXPECT_EQ(szName, GetCharLowerA(szName));
    EXPECT_STREQ("photo_\xD6\xD0[@z].jpg", szName);
    char szOther[] = "MiXeD";
    EXPECT_EQ(5, Convert2Lowercase(szOther));
    EXPECT_STREQ("mixed", szOther);
    wchar_t wszName[] = L"ÄBC@Z[É";
    EXPECT_EQ(wszName, GetCharLowerW(wszName));
    EXPECT_EQ(std::wstring(L"Äbc@z[É"), wszName);
}

}  // namespace
