#include "device/sweep_prefetcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "device/disk_reader.h"
#include "fixtures/debug_capture.h"
#include "fixtures/temp_dir.h"
#include "util/text.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string RangesText(const std::vector<SECTOR_RANGE>& vecRanges) {
    std::string strText;
    for (const SECTOR_RANGE& range : vecRanges)
        strText += std::to_string(range.u64First) + "+" + std::to_string(range.u64Count) + " ";
    return strText;
}

struct Geometry {
    int nBytesPerSector;
    int nChunkSectors;
};

class SweepPrefetcherTest : public ::testing::TestWithParam<Geometry> {
protected:
    // An image of nFileSectors pattern sectors, opened twice with a limit of nLimitSectors: once
    // for the prefetcher, once for the plain reads it must agree with.
    void MakeImage(unsigned long long u64FileSectors, unsigned long long u64LimitSectors) {
        const int nBps = GetParam().nBytesPerSector;
        Bytes v(static_cast<size_t>(u64FileSectors) * static_cast<size_t>(nBps));
        for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<unsigned char>((i * 0x9E3779B1u) >> 24 ^ (i >> 9));
        std::string strImage = m_dir.File("disk.img");
        ASSERT_TRUE(WriteWholeFile(strImage, v.data(), v.size()));
        std::wstring wstrImage = Path2Unicode(strImage.c_str());
        ASSERT_EQ(DEVICE_READ_OK, m_reader.Init(&wstrImage[0], u64LimitSectors));
        ASSERT_EQ(DEVICE_READ_OK, m_plain.Init(&wstrImage[0], u64LimitSectors));
        m_u64Limit = u64LimitSectors;
    }

    // Fetches one chunk and compares it with a plain read of the same sectors. Afterwards the
    // whole chunk is scribbled over, as the sweep may do, to show no later chunk shares it.
    void Check(CSweepPrefetcher& prefetcher, unsigned long long u64Sector, int nSectors,
               unsigned long long u64RunEnd) {
        const int nBps = GetParam().nBytesPerSector;
        unsigned int nGot = 12345, nWant = 12345;
        int nGotResult = -1;
        std::vector<SECTOR_RANGE> vecUnreadable = {{1, 1}};
        unsigned char* pChunk = prefetcher.Fetch(u64Sector, nSectors, u64RunEnd, &nGot, &nGotResult, &vecUnreadable);
        Bytes vWant(static_cast<size_t>(nSectors) * static_cast<size_t>(nBps));
        int nWantResult = m_plain.ReadData(vWant.data(), nSectors, static_cast<long long>(u64Sector), nBps, &nWant);
        ASSERT_EQ(nWantResult, nGotResult) << "sector " << u64Sector;
        if (nGotResult == DEVICE_INVALID_REQUEST) return;  // refused: nothing to compare
        // The whole chunk is handed out: what a plain read brings, then zeros for the sectors past
        // the end of the file, which are listed as unreadable.
        ASSERT_EQ(static_cast<unsigned int>(nSectors), nGot) << "sector " << u64Sector;
        std::vector<SECTOR_RANGE> vecWantUnreadable;
        if (nWant < nGot) vecWantUnreadable.push_back({u64Sector + nWant, nGot - nWant});
        ASSERT_EQ(RangesText(vecWantUnreadable), RangesText(vecUnreadable)) << "sector " << u64Sector;
        if (nGotResult == DEVICE_READ_FAULT) ++m_nFaults;
        const size_t nReadBytes = static_cast<size_t>(nWant) * static_cast<size_t>(nBps);
        ASSERT_EQ(0, memcmp(pChunk, vWant.data(), nReadBytes)) << "sector " << u64Sector;
        ASSERT_TRUE(std::all_of(pChunk + nReadBytes, pChunk + vWant.size(), [](unsigned char c) { return c == 0; }));
        memset(pChunk, 0xEE, vWant.size());
    }

    CTempDir m_dir;
    CDiskReader m_reader;
    CDiskReader m_plain;
    unsigned long long m_u64Limit = 0;
    int m_nFaults = 0;
};

// Walks like the sweep does: runs of chunks, each chunk usually right after the last, now and
// then a step past a carved file, and new runs that start anywhere (also behind the last).
TEST_P(SweepPrefetcherTest, EveryChunkIsWhatAPlainReadGives) {
    const int nChunk = GetParam().nChunkSectors;
    // The file stops short of the limit, so the last runs meet the end of the device.
    MakeImage(2000, 2300);
    CDebugCapture capture;
    for (unsigned int uSeed = 1; uSeed <= 6; ++uSeed) {
        std::mt19937 rng(uSeed);
        CSweepPrefetcher prefetcher(m_reader, GetParam().nBytesPerSector, nChunk);
        for (int nRun = 0; nRun < 12; ++nRun) {
            unsigned long long u64Start = rng() % m_u64Limit;
            unsigned long long u64End = u64Start + 1 + rng() % (m_u64Limit - u64Start);
            unsigned long long u64Sector = u64Start;
            while (u64Sector < u64End) {
                unsigned long long u64Left = u64End - u64Sector;
                int nSectors = u64Left < static_cast<unsigned long long>(nChunk) ? static_cast<int>(u64Left) : nChunk;
                Check(prefetcher, u64Sector, nSectors, u64End);
                if (HasFatalFailure()) return;
                unsigned long long u64Overrun = rng() % 10 == 0 ? rng() % (4 * nChunk) : 0;
                u64Sector += static_cast<unsigned long long>(nSectors) + u64Overrun;
            }
        }
    }
    // Each fault was logged twice, once by the plain read and once for the chunk handed out.
    EXPECT_GT(m_nFaults, 0);
    EXPECT_EQ(static_cast<size_t>(2 * m_nFaults), capture.Lines().size());
    for (const std::string& strLine : capture.Lines()) EXPECT_EQ("read 0\n", strLine);
}

TEST_P(SweepPrefetcherTest, RequestsOutsideTheRunAreStillAnswered) {
    const int nChunk = GetParam().nChunkSectors;
    MakeImage(400, 400);
    CSweepPrefetcher prefetcher(m_reader, GetParam().nBytesPerSector, nChunk);
    Check(prefetcher, 10, nChunk, 200);
    Check(prefetcher, 250, 3, 200);  // past the run's end
    Check(prefetcher, 195, 10, 200);  // runs over the run's end
    Check(prefetcher, 390, 20, 1000);  // runs over the limit: refused like a plain read
    unsigned int nRead = 7;
    int nResult = 0;
    prefetcher.Fetch(0, nChunk + 1, 400, &nRead, &nResult);
    EXPECT_EQ(DEVICE_INVALID_REQUEST, nResult);
    EXPECT_EQ(7u, nRead);
    Check(prefetcher, 10 + static_cast<unsigned long long>(nChunk), nChunk, 200);
}

// Destroying it while the read-ahead waits for room, or before anything was asked, must not hang.
TEST_P(SweepPrefetcherTest, StopsCleanlyAtAnyPoint) {
    MakeImage(4000, 4000);
    { CSweepPrefetcher idle(m_reader, GetParam().nBytesPerSector, GetParam().nChunkSectors); }
    CSweepPrefetcher busy(m_reader, GetParam().nBytesPerSector, GetParam().nChunkSectors);
    Check(busy, 0, GetParam().nChunkSectors, 4000);
}

INSTANTIATE_TEST_SUITE_P(Sectors, SweepPrefetcherTest,
                         ::testing::Values(Geometry{512, 16}, Geometry{512, 128}, Geometry{4096, 16}),
                         [](const ::testing::TestParamInfo<Geometry>& info) {
                             return std::to_string(info.param.nBytesPerSector) + "x" +
                                    std::to_string(info.param.nChunkSectors);
                         });

}  // namespace
