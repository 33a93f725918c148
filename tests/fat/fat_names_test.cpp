#include "fat/fat_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Erased(std::string str, int nLen) {
    EraseStringTailBlankChar(&str[0], nLen);
    return str;
}

TEST(FatNamesTest, OnlyTrailingSpacesAreClearedAndNullIsHarmless) {
    EXPECT_EQ(std::string("PHOTO\0\0\0", 8), Erased("PHOTO   ", 8));
    EXPECT_EQ(std::string("MY CARD\0", 8), Erased("MY CARD ", 8));
    EXPECT_EQ(std::string("\0\0\0", 3), Erased("   ", 3));
    EXPECT_EQ("ABC", Erased("ABC", 3));
    // Bytes past nLen are never looked at, nor is anything for nLen <= 0.
    EXPECT_EQ(std::string("AB\0\0CD ", 7), Erased("AB  CD ", 4));
    EXPECT_EQ("A  ", Erased("A  ", 0));
    EXPECT_EQ("A  ", Erased("A  ", -3));
    EraseStringTailBlankChar(nullptr, 5);
    EXPECT_EQ(0, GetShortNameCheckSum(nullptr));
}

}  // namespace
