#include "device/disk_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fixtures/debug_capture.h"
#include "fixtures/disk_list.h"
#include "fixtures/temp_dir.h"
#include "util/text.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr unsigned char UNTOUCHED = 0xCD;
constexpr unsigned int SENTINEL = 777;

// Differs at every offset that matters, so a read from the wrong place cannot match.
Bytes Pattern(size_t nLen) {
    Bytes v(nLen);
    for (size_t i = 0; i < nLen; ++i) v[i] = static_cast<unsigned char>((i * 0x9E3779B1u) >> 24 ^ (i >> 9));
    return v;
}
bool Untouched(const Bytes& v, size_t nFrom) {
    return std::all_of(v.begin() + static_cast<long>(nFrom), v.end(), [](unsigned char c) { return c == UNTOUCHED; });
}
size_t OpenDescriptors() {
    size_t n = 0;
    if (DIR* pDir = opendir("/proc/self/fd")) {
        while (readdir(pDir) != nullptr) ++n;
        closedir(pDir);
    }
    return n;
}

class DiskReaderTest : public ::testing::Test {
protected:
    // A pattern image of nBytes, opened through its wide path with the given limit.
    void MakeImage(size_t nBytes, unsigned long long u64Limit, const std::string& strName = "disk.img") {
        m_strImage = m_dir.File(strName);
        m_vecFile = Pattern(nBytes);
        ASSERT_TRUE(WriteWholeFile(m_strImage, m_vecFile.data(), m_vecFile.size()));
        m_wstrImage = Path2Unicode(m_strImage.c_str());
        ASSERT_EQ(DEVICE_READ_OK, m_reader.Init(&m_wstrImage[0], u64Limit));
    }
    bool FromFile(const Bytes& v, size_t nLen, size_t nFileOffset) const {
        return memcmp(v.data(), &m_vecFile[nFileOffset], nLen) == 0;
    }

    CTempDir m_dir;
    std::string m_strImage;
    std::wstring m_wstrImage;
    Bytes m_vecFile;
    CDiskReader m_reader;
    unsigned int m_nCount = SENTINEL;
};

TEST_F(DiskReaderTest, LimitAllowsTheLastSectorAndRefusesOneMore) {
    MakeImage(32 * 512, 16, "bild-\xC3\xA4.img");  // the limit is below the file size
    Bytes v(1024, UNTOUCHED);
    EXPECT_EQ(DEVICE_READ_OK, m_reader.ReadData(v.data(), 1, 15, 512, &m_nCount));
    EXPECT_EQ(1u, m_nCount);
    EXPECT_TRUE(FromFile(v, 512, 15 * 512));

    Bytes vRefused(1024, UNTOUCHED);
    m_nCount = SENTINEL;
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadData(vRefused.data(), 2, 15, 512, &m_nCount));
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadData(vRefused.data(), 1, 16, 512, &m_nCount));
    EXPECT_EQ(SENTINEL, m_nCount);
    EXPECT_TRUE(Untouched(vRefused, 0));
}

TEST_F(DiskReaderTest, ShortDeviceGivesReadFaultWithWholeSectorsAcrossPieces) {
    MakeImage(100000, 1000);  // ends inside sector 195, in the second 64 KiB piece
    CDebugCapture capture;
    Bytes v(256 * 512, UNTOUCHED);
    EXPECT_EQ(DEVICE_READ_FAULT, m_reader.ReadData(v.data(), 256, 0, 512, &m_nCount));
    EXPECT_EQ(195u, m_nCount);
    EXPECT_TRUE(FromFile(v, 100000, 0));
    EXPECT_TRUE(Untouched(v, 100000));
    EXPECT_TRUE(capture.Contains("read 0\n"));

    Bytes vPast(512, UNTOUCHED);  // wholly past the end
    EXPECT_EQ(DEVICE_READ_FAULT, m_reader.ReadData(vPast.data(), 1, 500, 512, &m_nCount));
    EXPECT_EQ(0u, m_nCount);
    EXPECT_TRUE(Untouched(vPast, 0));
}

TEST_F(DiskReaderTest, ZeroSectorsPositionAndReadNothing) {
    MakeImage(64 * 512, 64);
    EXPECT_EQ(DEVICE_READ_OK, m_reader.ReadData(nullptr, 0, 9, 512, &m_nCount));
    EXPECT_EQ(0u, m_nCount);
    EXPECT_EQ(9 * 512, lseek(m_reader.GetHandle(), 0, SEEK_CUR));
}

TEST_F(DiskReaderTest, MultiPieceReadsUseTheCallersSectorSize) {
    MakeImage(4 * 1024 * 1024, 8192);
    Bytes v(2000 * 512, UNTOUCHED);
    EXPECT_EQ(DEVICE_READ_OK, m_reader.ReadData(v.data(), 2000, 3, 512, nullptr));
    EXPECT_TRUE(FromFile(v, v.size(), 3 * 512));
    Bytes v4k(40 * 4096, UNTOUCHED);
    EXPECT_EQ(DEVICE_READ_OK, m_reader.ReadData(v4k.data(), 40, 5, 4096, &m_nCount));
    EXPECT_EQ(40u, m_nCount);
    EXPECT_TRUE(FromFile(v4k, v4k.size(), 5 * 4096));
}

TEST_F(DiskReaderTest, BadArgumentsAndNegativeStart) {
    MakeImage(16 * 512, ULLONG_MAX);
    CDebugCapture capture;
    Bytes v(512, UNTOUCHED);
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadData(v.data(), -1, 0, 512, &m_nCount));
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadData(v.data(), 1, 0, 0, &m_nCount));
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadData(v.data(), 1, 0, -512, &m_nCount));
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadData(nullptr, 1, 0, 512, &m_nCount));
    // No 64-bit byte offset names this sector.
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadData(v.data(), 1, LLONG_MAX / 256, 512, &m_nCount));
    EXPECT_TRUE(capture.Lines().empty());
    // -1 + 1 is back under the limit, so lseek is the one to refuse.
    EXPECT_EQ(EINVAL, m_reader.ReadData(v.data(), 1, -1, 512, &m_nCount));
    EXPECT_TRUE(capture.Contains("lseek failed -512\n"));
    EXPECT_EQ(SENTINEL, m_nCount);
}

TEST_F(DiskReaderTest, FailedInitLeavesTheReaderClosed) {
    std::wstring wstrMissing = Path2Unicode(m_dir.File("missing.img").c_str());
    CDiskReader fresh;
    EXPECT_EQ(ENOENT, fresh.Init(&wstrMissing[0], 16));
    EXPECT_EQ(DEVICE_INVALID_REQUEST, fresh.Init(static_cast<wchar_t*>(nullptr), 16));
    unsigned char byBuf[512];
    EXPECT_EQ(DEVICE_INVALID_REQUEST, fresh.ReadData(byBuf, 1, 0, 512, &m_nCount));
    {
        CScopedDiskList disks({m_dir.File("missing.img")});
        EXPECT_EQ(ENOENT, fresh.Init(0, 16));
        EXPECT_EQ(ENXIO, fresh.Init(1, 16));
    }
    // Failing after a success closes the old disk and keeps the old limit, so reads fail at
    // positioning instead of reading the previous disk.
    MakeImage(16 * 512, 16);
    CDebugCapture capture;
    EXPECT_EQ(ENOENT, m_reader.Init(&wstrMissing[0], 99));
    EXPECT_EQ(16u, m_reader.GetEndSector());
    EXPECT_EQ(EBADF, m_reader.ReadData(byBuf, 1, 0, 512, &m_nCount));
    EXPECT_TRUE(capture.Contains("lseek failed 0\n"));
}

TEST_F(DiskReaderTest, ReinitAndMoveDoNotLeakOrShareDescriptors) {
    MakeImage(16 * 512, 16);
    size_t nBefore = OpenDescriptors();
    {
        CScopedDiskList disks({m_strImage});
        for (int i = 0; i < 10; ++i) {
            ASSERT_EQ(DEVICE_READ_OK, m_reader.Init(&m_wstrImage[0], 16));
            ASSERT_EQ(DEVICE_READ_OK, m_reader.Init(0, 16));
        }
    }
    EXPECT_EQ(nBefore, OpenDescriptors());

    unsigned char byBuf[512];
    CDiskReader target;
    ASSERT_EQ(DEVICE_READ_OK, target.Init(&m_wstrImage[0], 16));
    target = std::move(m_reader);  // drops target's own descriptor
    EXPECT_EQ(nBefore, OpenDescriptors());
    EXPECT_EQ(DEVICE_READ_OK, target.ReadData(byBuf, 1, 0, 512, nullptr));
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadData(byBuf, 1, 0, 512, nullptr));
}

TEST_F(DiskReaderTest, DiskNumberOpensThroughTheDiskList) {
    MakeImage(64 * 512, 64);
    Bytes vZero(64 * 512, 0);
    ASSERT_TRUE(WriteWholeFile(m_dir.File("other.img"), vZero.data(), vZero.size()));
    CScopedDiskList disks({m_dir.File("other.img"), m_strImage});
    CDiskReader reader;
    ASSERT_EQ(DEVICE_READ_OK, reader.Init(1, 64));
    Bytes v(8 * 512, UNTOUCHED);
    EXPECT_EQ(DEVICE_READ_OK, reader.ReadData(v.data(), 8, 56, 512, &m_nCount));
    EXPECT_TRUE(FromFile(v, v.size(), 56 * 512));
}

TEST_F(DiskReaderTest, FreeReadDataReadsFromTheCurrentPositionSilently) {
    MakeImage(200000, 1);
    int hFile = m_reader.GetHandle();
    CDebugCapture capture;
    Bytes v(160000, UNTOUCHED);
    ASSERT_EQ(1000, lseek(hFile, 1000, SEEK_SET));
    EXPECT_EQ(DEVICE_READ_OK, ReadData(hFile, v.data(), 150000, &m_nCount));
    EXPECT_EQ(150000u, m_nCount);
    EXPECT_TRUE(FromFile(v, 150000, 1000));
    v.assign(v.size(), UNTOUCHED);  // 49000 bytes remain
    EXPECT_EQ(DEVICE_READ_FAULT, ReadData(hFile, v.data(), 160000, &m_nCount));
    EXPECT_EQ(49000u, m_nCount);
    EXPECT_TRUE(FromFile(v, 49000, 151000));
    EXPECT_TRUE(Untouched(v, 49000));
    EXPECT_EQ(DEVICE_READ_OK, ReadData(hFile, v.data(), 0, &m_nCount));
    EXPECT_EQ(0u, m_nCount);
    EXPECT_EQ(DEVICE_INVALID_REQUEST, ReadData(hFile, v.data(), -1, &m_nCount));
    EXPECT_EQ(DEVICE_READ_FAULT, ReadData(-1, v.data(), 10, &m_nCount));
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(DiskReaderTest, PositionalReadLeavesThePositionAndLogsNothing) {
    MakeImage(100 * 512, 120);
    CDebugCapture capture;
    ASSERT_EQ(7, lseek(m_reader.GetHandle(), 7, SEEK_SET));
    Bytes v(300 * 512, UNTOUCHED);
    int nError = -1;
    EXPECT_EQ(DEVICE_READ_OK, m_reader.ReadDataAt(v.data(), 90, 3, 512, &m_nCount, &nError));
    EXPECT_EQ(90u, m_nCount);
    EXPECT_EQ(0, nError);
    EXPECT_TRUE(FromFile(v, 90 * 512, 3 * 512));
    EXPECT_TRUE(Untouched(v, 90 * 512));
    EXPECT_EQ(7, lseek(m_reader.GetHandle(), 0, SEEK_CUR));

    // Past the file's end but inside the limit: what exists arrives, then "the device ended".
    v.assign(v.size(), UNTOUCHED);
    nError = -1;
    EXPECT_EQ(DEVICE_READ_FAULT, m_reader.ReadDataAt(v.data(), 20, 95, 512, &m_nCount, &nError));
    EXPECT_EQ(5u, m_nCount);
    EXPECT_EQ(0, nError);
    EXPECT_TRUE(FromFile(v, 5 * 512, 95 * 512));

    // The same refusals as the positioned form, and the count is left alone.
    m_nCount = SENTINEL;
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadDataAt(v.data(), 2, 119, 512, &m_nCount, nullptr));
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadDataAt(v.data(), 1, -1, 512, &m_nCount, nullptr));
    EXPECT_EQ(DEVICE_INVALID_REQUEST, m_reader.ReadDataAt(nullptr, 1, 0, 512, &m_nCount, nullptr));
    EXPECT_EQ(SENTINEL, m_nCount);
    EXPECT_TRUE(capture.Lines().empty());
}

// The same reader on a real block device: a read-only loop device over a pattern image.
class LoopDeviceTest : public DiskReaderTest {
protected:
    void SetUp() override {
        if (geteuid() != 0 || !HaveTool("losetup")) GTEST_SKIP() << "loop devices need root and losetup";
        MakeImage(2 * 1024 * 1024, 1);
        if (HasFatalFailure()) return;
        if (FILE* pPipe = popen(("losetup -f --show -r '" + m_strImage + "' 2>/dev/null").c_str(), "r")) {
            char szLine[256] = {0};
            if (fgets(szLine, sizeof(szLine), pPipe) != nullptr) m_strLoop = szLine;
            pclose(pPipe);
        }
        while (!m_strLoop.empty() && isspace(static_cast<unsigned char>(m_strLoop.back()))) m_strLoop.pop_back();
        if (m_strLoop.empty()) GTEST_SKIP() << "losetup could not attach a loop device here";
    }
    void TearDown() override {
        if (!m_strLoop.empty()) RunQuiet("losetup -d '" + m_strLoop + "'");
    }
    std::string m_strLoop;
};

TEST_F(LoopDeviceTest, ReadsTheDeviceAndFaultsAtItsEnd) {
    CScopedDiskList disks({m_strLoop});
    CDiskReader reader;
    ASSERT_EQ(DEVICE_READ_OK, reader.Init(0, 8192));  // a limit past the 4096-sector device
    Bytes v(300 * 512, UNTOUCHED);
    EXPECT_EQ(DEVICE_READ_OK, reader.ReadData(v.data(), 300, 3000, 512, &m_nCount));
    EXPECT_TRUE(FromFile(v, v.size(), 3000 * 512));
    v.assign(v.size(), UNTOUCHED);
    EXPECT_EQ(DEVICE_READ_FAULT, reader.ReadData(v.data(), 300, 4000, 512, &m_nCount));
    EXPECT_EQ(96u, m_nCount);
    EXPECT_TRUE(FromFile(v, 96 * 512, 4000 * 512));
    EXPECT_TRUE(Untouched(v, 96 * 512));
}

}  // namespace
