// Reads over bad sectors: the sweep's reads (read-ahead or not) lose only the bad sectors
// themselves, and the lists of them stay merged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device/disk_reader.h"
#include "device/sector_ranges.h"
#include "device/sweep_prefetcher.h"
#include "fixtures/failing_sectors.h"
#include "fixtures/temp_dir.h"
#include "util/text.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr int kBps = 512;
constexpr int kChunk = 128;
constexpr unsigned long long kSectors = 1200;

std::string Text(const std::vector<SECTOR_RANGE>& vecRanges) {
    std::string strText;
    for (const SECTOR_RANGE& range : vecRanges)
        strText += std::to_string(range.u64First) + "+" + std::to_string(range.u64Count) + " ";
    return strText;
}

TEST(SectorRanges, AddKeepsTheListSortedAndMerged) {
    struct Case {
        std::vector<SECTOR_RANGE> vecAdded;
        const char* szWant;
    };
    const Case cases[] = {
        {{{10, 2}, {4, 1}, {20, 5}}, "4+1 10+2 20+5 "},
        {{{10, 2}, {12, 3}}, "10+5 "},                   // touching
        {{{10, 5}, {12, 1}}, "10+5 "},                   // inside
        {{{10, 2}, {20, 2}, {30, 2}, {11, 20}}, "10+22 "},  // bridges three
        {{{10, 2}, {0, 0}}, "10+2 "},                    // empty
        {{{~0ULL - 1, 5}}, "18446744073709551614+1 "},    // cut at the last sector number
    };
    for (const Case& c : cases) {
        std::vector<SECTOR_RANGE> vecRanges;
        for (const SECTOR_RANGE& range : c.vecAdded) AddSectorRange(vecRanges, range);
        EXPECT_EQ(c.szWant, Text(vecRanges));
    }
    EXPECT_EQ(CountRangeSectors({{10, 2}, {20, 5}}), 7u);
}

class UnreadableSectorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_vecFile.resize(kSectors * kBps);
        for (size_t i = 0; i < m_vecFile.size(); ++i) m_vecFile[i] = static_cast<unsigned char>((i * 7 + i / kBps) | 1);
        m_strImage = m_dir.File("bad.img");
        ASSERT_TRUE(WriteWholeFile(m_strImage, m_vecFile.data(), m_vecFile.size()));
        std::wstring wstrImage = Path2Unicode(m_strImage.c_str());
        ASSERT_EQ(DEVICE_READ_OK, m_reader.Init(&wstrImage[0], kSectors));
    }

    CTempDir m_dir;
    std::string m_strImage;
    Bytes m_vecFile;
    CDiskReader m_reader;
};

// Bad spots at a chunk's start, inside, over a chunk boundary, and a whole chunk and more.
const std::vector<SECTOR_RANGE> kBad = {{0, 1}, {5, 1}, {40, 3}, {127, 2}, {300, 130}, {1199, 1}};

// The sweep's reads, through the read-ahead and read on demand alike: every chunk is whole,
// with the bad sectors (and only they) zero and listed.
TEST_F(UnreadableSectorsTest, SweepChunksLoseOnlyTheBadSectors) {
    CScopedFailingSectors failing(m_strImage, kBad);
    for (bool bReadAhead : {true, false}) {
        CSweepPrefetcher prefetcher(m_reader, kBps, kChunk);
        std::vector<SECTOR_RANGE> vecAll;
        for (unsigned long long u64Sector = 0; u64Sector < kSectors; u64Sector += kChunk) {
            const int nSectors = static_cast<int>(std::min<unsigned long long>(kChunk, kSectors - u64Sector));
            unsigned int nRead = 0;
            int nResult = -1;
            std::vector<SECTOR_RANGE> vecUnreadable;
            // A run end before the chunk makes it a request the read-ahead does not plan for.
            unsigned char* pChunk = prefetcher.Fetch(u64Sector, nSectors, bReadAhead ? kSectors : u64Sector,
                                                     &nRead, &nResult, &vecUnreadable);
            ASSERT_EQ(static_cast<unsigned int>(nSectors), nRead);
            ASSERT_EQ(vecUnreadable.empty() ? DEVICE_READ_OK : DEVICE_READ_FAULT, nResult);
            for (int i = 0; i < nSectors; ++i) {
                const unsigned long long u64Here = u64Sector + static_cast<unsigned long long>(i);
                const bool bBad = std::any_of(kBad.begin(), kBad.end(), [&](const SECTOR_RANGE& r) {
                    return u64Here >= r.u64First && u64Here < r.u64First + r.u64Count;
                });
                const unsigned char* pHere = pChunk + static_cast<size_t>(i) * kBps;
                if (bBad)
                    ASSERT_TRUE(std::all_of(pHere, pHere + kBps, [](unsigned char c) { return c == 0; })) << u64Here;
                else
                    ASSERT_EQ(0, memcmp(pHere, &m_vecFile[u64Here * kBps], kBps)) << u64Here;
            }
            for (const SECTOR_RANGE& range : vecUnreadable) AddSectorRange(vecAll, range);
        }
        EXPECT_EQ(Text(kBad), Text(vecAll)) << (bReadAhead ? "read-ahead" : "on demand");
    }
}

}  // namespace
