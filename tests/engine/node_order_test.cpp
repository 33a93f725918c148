#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/node_order.h"

namespace {
_FILE_NODE_ Node(const char* szName, int bIsDir) {
    _FILE_NODE_ node;
    memset(&node, 0, sizeof(node));
    strncpy(node.szFileName, szName, sizeof(node.szFileName) - 1);
    node.bIsDir = bIsDir;
    return node;
}

template <typename T>
std::vector<std::string> Names(const std::vector<T>& vecNodes) {
    std::vector<std::string> vecNames;
    for (const T& node : vecNodes) vecNames.emplace_back(node.szFileName);
    return vecNames;
}
}  // namespace

TEST(NodeOrder, FilesBeforeFoldersThenNameIgnoringCase) {
    std::vector<_FILE_NODE_> vecNodes = {Node("b.txt", 0), Node("A", 1), Node("a.jpg", 0)};
    std::sort(vecNodes.begin(), vecNodes.end(), VectorCmp);
    EXPECT_EQ(Names(vecNodes), (std::vector<std::string>{"a.jpg", "b.txt", "A"}));

    vecNodes = {Node("B.txt", 0), Node("a.txt", 0)};
    std::sort(vecNodes.begin(), vecNodes.end(), VectorCmp);
    EXPECT_EQ(Names(vecNodes), (std::vector<std::string>{"a.txt", "B.txt"}));
}

TEST(NodeOrder, AnyNonZeroDirFlagIsAFolder) {
    std::vector<_FILE_NODE_> vecNodes = {Node("z", 7), Node("y.txt", 0), Node("a", 1)};
    std::sort(vecNodes.begin(), vecNodes.end(), VectorCmp);
    EXPECT_EQ(Names(vecNodes), (std::vector<std::string>{"y.txt", "a", "z"}));
}

TEST(NodeOrder, SearchHitsFollowTheSameRules) {
    std::vector<__SEARCH_FILE_INFO__> vecHits = {__SEARCH_FILE_INFO__(Node("DIR", 1)),
                                                 __SEARCH_FILE_INFO__(Node("b.mp3", 0)),
                                                 __SEARCH_FILE_INFO__(Node("A.MP3", 0))};
    std::sort(vecHits.begin(), vecHits.end(), SearchVectorCmp);
    EXPECT_EQ(Names(vecHits), (std::vector<std::string>{"A.MP3", "b.mp3", "DIR"}));
}

TEST(NodeOrder, NameWithoutTerminatorIsComparedWithinTheRecord) {
    // A record read back from a damaged store may fill all 256 name bytes.
    _FILE_NODE_ left = Node("", 0);
    _FILE_NODE_ right = Node("", 0);
    memset(left.szFileName, 'a', sizeof(left.szFileName));
    memset(right.szFileName, 'a', sizeof(right.szFileName));
    right.szFileName[255] = 'b';
    EXPECT_TRUE(VectorCmp(left, right));
    EXPECT_FALSE(VectorCmp(right, left));
    EXPECT_FALSE(VectorCmp(left, left));
}

TEST(FileNodeRecord, SearchHitIsAByteCopyOfTheNode) {
    _FILE_NODE_ node = Node("photo.jpg", 0);
    node.u64FileSize = 0x0102030405060708ull;
    node.nFileIndex = 42;
    __SEARCH_FILE_INFO__ hit(node);
    EXPECT_EQ(memcmp(&hit, &node, sizeof(node)), 0);
}
