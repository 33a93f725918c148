// Sequential throughput of CDiskReader against dd on the same cached file, so the figure shows
// what the reader's own overhead costs rather than what the disk can do.
//   bench_disk_reader [FILE]   (without FILE a 1 GiB file is made in $TMPDIR and removed after)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "device/disk_reader.h"
#include "util/text.h"

extern char** environ;

namespace {

constexpr long long FILE_BYTES = 1024LL * 1024 * 1024;
constexpr int SECTOR_BYTES = 512;
constexpr int REQUEST_SECTORS = DISK_READ_PIECE_BYTES / SECTOR_BYTES;
constexpr int ROUNDS = 3;

double Seconds(std::chrono::steady_clock::time_point tStart) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
}

bool MakeFile(const std::string& strPath) {
    int hFile = open(strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (hFile < 0) return false;
    std::vector<unsigned char> vecChunk(1 << 20);
    bool bOk = true;
    for (long long llDone = 0; bOk && llDone < FILE_BYTES; llDone += static_cast<long long>(vecChunk.size())) {
        for (size_t i = 0; i < vecChunk.size(); i += 8) vecChunk[i] = static_cast<unsigned char>((llDone >> 20) + i);
        bOk = write(hFile, vecChunk.data(), vecChunk.size()) == static_cast<ssize_t>(vecChunk.size());
    }
    return close(hFile) == 0 && bOk;
}

// Returns the bytes read, or -1.
long long WarmCache(const std::string& strPath) {
    int hFile = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (hFile < 0) return -1;
    std::vector<unsigned char> vecBuf(1 << 20);
    long long llTotal = 0;
    ssize_t nGot;
    while ((nGot = read(hFile, vecBuf.data(), vecBuf.size())) > 0) llTotal += nGot;
    close(hFile);
    return nGot < 0 ? -1 : llTotal;
}

// Seconds for one end-to-end pass in 64 KiB requests, or -1.
double TimeReader(const std::string& strPath, long long llBytes) {
    std::wstring wstrPath = Path2Unicode(strPath.c_str());
    long long llSectors = llBytes / SECTOR_BYTES;
    CDiskReader reader;
    if (reader.Init(&wstrPath[0], static_cast<unsigned long long>(llSectors)) != DEVICE_READ_OK) return -1;
    std::vector<unsigned char> vecBuf(DISK_READ_PIECE_BYTES);
    auto tStart = std::chrono::steady_clock::now();
    for (long long llSector = 0; llSector < llSectors; llSector += REQUEST_SECTORS) {
        int nCount = static_cast<int>(std::min<long long>(REQUEST_SECTORS, llSectors - llSector));
        unsigned int nRead = 0;
        if (reader.ReadData(vecBuf.data(), nCount, llSector, SECTOR_BYTES, &nRead) != DEVICE_READ_OK) return -1;
    }
    return Seconds(tStart);
}

// Seconds for `dd if=FILE of=/dev/null bs=64k`, timed around the whole process, or -1.
double TimeDd(const std::string& strPath) {
    std::string strIf = "if=" + strPath;
    char szDd[] = "dd", szOf[] = "of=/dev/null", szBs[] = "bs=64k", szNone[] = "status=none";
    char* argv[] = {szDd, &strIf[0], szOf, szBs, szNone, nullptr};
    auto tStart = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, "dd", nullptr, nullptr, argv, environ) != 0) return -1;
    int nStatus = 0;
    if (waitpid(pid, &nStatus, 0) != pid || !WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0) return -1;
    return Seconds(tStart);
}

template <typename F>
double Best(F fnRun) {
    double dBest = -1;
    for (int i = 0; i < ROUNDS; ++i) {
        double d = fnRun();
        if (d < 0) return -1;
        if (dBest < 0 || d < dBest) dBest = d;
    }
    return dBest;
}

}  // namespace

int main(int argc, char** argv) {
    std::string strPath;
    bool bCreated = false;
    if (argc > 1) {
        strPath = argv[1];
    } else {
        const char* szTmp = getenv("TMPDIR");
        strPath = std::string(szTmp != nullptr ? szTmp : "/tmp") + "/korvalo-bench-" + std::to_string(getpid()) + ".img";
        printf("creating %s (1 GiB)\n", strPath.c_str());
        if (!MakeFile(strPath)) {
            fprintf(stderr, "cannot create %s\n", strPath.c_str());
            unlink(strPath.c_str());
            return 1;
        }
        bCreated = true;
    }

    int nExit = 1;
    long long llBytes = WarmCache(strPath);
    if (llBytes < SECTOR_BYTES) {
        fprintf(stderr, "cannot read %s, or it is smaller than a sector\n", strPath.c_str());
    } else {
        double dReader = Best([&] { return TimeReader(strPath, llBytes); });
        double dDd = Best([&] { return TimeDd(strPath); });
        if (dReader <= 0 || dDd <= 0) {
            fprintf(stderr, "a timed pass failed (reader %.3f s, dd %.3f s)\n", dReader, dDd);
        } else {
            double dMb = static_cast<double>(llBytes) / 1e6;
            printf("file        %s, %lld bytes, page cache warm\n", strPath.c_str(), llBytes);
            printf("CDiskReader %8.1f MB/s  (64 KiB requests, best of %d)\n", dMb / dReader, ROUNDS);
            printf("dd bs=64k   %8.1f MB/s  (whole process, best of %d)\n", dMb / dDd, ROUNDS);
            printf("reader/dd   %8.2f\n", dDd / dReader);
            nExit = 0;
        }
    }
    if (bCreated) unlink(strPath.c_str());
    return nExit;
}
