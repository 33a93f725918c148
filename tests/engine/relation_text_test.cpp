#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/relation_text.h"
#include "engine/search_extension_filter.h"

namespace {
std::string Format(const RELATION_MAP& relations) {
    std::string strText;
    bool bOk = FormatRelationText(relations, [&](const char* p, size_t n) {
        strText.append(p, n);
        return true;
    });
    EXPECT_TRUE(bOk);
    return strText;
}

RELATION_MAP Parse(const std::string& strText) {
    RELATION_MAP relations;
    ParseRelationText(strText.data(), strText.size(), relations);
    return relations;
}
}  // namespace

TEST(RelationText, FormatsKeysInAscendingOrderAndReadsThemBack) {
    RELATION_MAP relations;
    relations[4294967301ull] = {7};
    relations[0] = {1, 2, 3};
    std::string strText = Format(relations);
    EXPECT_EQ(strText, " | 0 - [1,2,3] | 4294967301 - [7]");
    EXPECT_EQ(Parse(strText), relations);
}

TEST(RelationText, LongTextComesInPiecesThatJoinToTheWholeRecordSet) {
    RELATION_MAP relations;
    for (unsigned int nKey = 0; nKey < 3000; ++nKey)
        for (unsigned int nChild = 1; nChild <= 20; ++nChild) relations[nKey].push_back(nKey * 100000u + nChild);
    size_t nPieces = 0;
    std::string strText;
    FormatRelationText(relations, [&](const char* p, size_t n) {
        EXPECT_LE(n, 64u * 1024u);
        ++nPieces;
        strText.append(p, n);
        return true;
    });
    EXPECT_GT(nPieces, 1u);
    EXPECT_EQ(Parse(strText), relations);

    size_t nCalls = 0;
    EXPECT_FALSE(FormatRelationText(relations, [&](const char*, size_t) { return ++nCalls < 2; }));
    EXPECT_EQ(nCalls, 2u);
}

TEST(RelationText, ALaterRecordReplacesTheListOfItsKey) {
    RELATION_MAP relations;
    relations[9] = {100};
    ParseRelationText(" | 5 - [1,2] | 5 - [3]", 22, relations);
    EXPECT_EQ(relations[5], (std::vector<unsigned int>{3}));
    EXPECT_EQ(relations[9], (std::vector<unsigned int>{100}));
}

TEST(RelationText, BrokenRecordsAreSkippedAndParsingResumes) {
    // Cut-off list, letters in a list, node 0, a node above 32 bits, a key above 64 bits, an
    // empty list and a record without its bracket: only the good records survive.
    std::string strText =
        " | 1 - [1,x] | 2 - [0] | 3 - [4294967296] | 99999999999999999999 - [5] | 4 - []"
        " | 5 [6] | 6 - [4294967295, 8 ] | 7 - [9";
    RELATION_MAP relations = Parse(strText);
    RELATION_MAP expected;
    expected[6] = {4294967295u, 8};
    EXPECT_EQ(relations, expected);

    // The length bounds the text: bytes past it are never looked at.
    std::string strCut = " | 1 - [2] | 3 - [4]";
    relations.clear();
    ParseRelationText(strCut.data(), 12, relations);
    EXPECT_EQ(relations.size(), 1u);
}

TEST(SearchExtensionFilter, ExtensionIsLowerCasedAndBoundedByTheNameField) {
    char szExt[NODE_EXTENSION_CAPACITY];
    EXPECT_EQ(GetLowerExtension("Photo.Final.JPG", 256, szExt), 3u);
    EXPECT_STREQ(szExt, "jpg");
    EXPECT_EQ(GetLowerExtension("README", 256, szExt), 0u);
    EXPECT_STREQ(szExt, "");

    char szName[256];
    memset(szName, 'a', sizeof(szName));  // no NUL at all
    szName[10] = '.';
    EXPECT_EQ(GetLowerExtension(szName, sizeof(szName), szExt), 245u);

    EXPECT_TRUE(IsDamagedPicture(false, "jpg", 3));
    EXPECT_FALSE(IsDamagedPicture(true, "jpg", 3));
    EXPECT_FALSE(IsDamagedPicture(false, "mp3", 3));
    EXPECT_FALSE(IsDamagedPicture(false, "avi", 3));  // a part of "avif" is no picture kind
    EXPECT_FALSE(IsDamagedPicture(false, "", 0));  // no extension is no picture
}
