// Throughput and memory of the whole deep scan (fast pass, then the NTFS / FAT / carving sweep)
// over two 1 GiB images made at start-up, compared with a plain sequential read of the same
// file by dd. Both images are read once before timing so the figures measure the scan, not
// the disk.
//   bench_deep_scan [work-folder]     (default /tmp; everything made there is deleted at the end)
// 1. raw: random bytes with about 200 planted media files (jpg, png, mp3, avi, mp4), each
//    followed by zeros to the next 4 KiB;
// 2. fat32: a real FAT32 volume (mkfs.fat, mtools) holding a few thousand small files, a third
//    of them deleted.
// The goal is at least 1 GB/s of swept data with memory that does not grow with the image, so
// the raw image is also scanned over its first 256 MiB first: the peak memory after that
// scan and after the whole 1 GiB scan should be about the same.
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "carving/file_category.h"
#include "engine/log_file_manager.h"
#include "session/professional_recovery.h"
#include "tests/fixtures/fat_image_walk.h"
#include "tests/fixtures/media_samples.h"
#include "util/app_folder.h"
#include "util/disk_map.h"

namespace {

constexpr unsigned long long SECTOR = 512;
constexpr unsigned long long IMAGE_BYTES = 1ull << 30;
constexpr unsigned long long PREFIX_BYTES = 256ull << 20;
constexpr int PLANTED_FILES = 200;
constexpr unsigned long long PAD_TO = 4096;
// Each timed run is repeated and the fastest kept: the machine is shared.
constexpr int RUNS = 3;

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool Shell(const std::string& strCommand) {
    const bool bOk = system(("MTOOLS_SKIP_CHECK=1 " + strCommand + " >/dev/null 2>&1").c_str()) == 0;
    if (!bOk) fprintf(stderr, "failed: %s\n", strCommand.c_str());
    return bOk;
}

std::string Quote(const std::string& str) { return "'" + str + "'"; }

// Streams the file through a small buffer so it sits in the page cache.
void ReadOnce(const std::string& strPath) {
    std::ifstream file(strPath, std::ios::binary);
    std::vector<char> vBuf(1 << 20);
    while (file.read(vBuf.data(), static_cast<std::streamsize>(vBuf.size())) || file.gcount() > 0) {
    }
}

struct ScanProgress {
    unsigned long long u64SweepSectors = 0;  // area the sweep reported as its total
    unsigned long long u64Found = 0;

    static int OnScan(void* pParam, int, int, int, unsigned long long, unsigned long long u64Total,
                      unsigned long long u64Found, wchar_t*) {
        auto* pSelf = static_cast<ScanProgress*>(pParam);
        if (u64Total > pSelf->u64SweepSectors) pSelf->u64SweepSectors = u64Total;
        if (u64Found > pSelf->u64Found) pSelf->u64Found = u64Found;
        return 0;
    }
};

struct ScanFigures {
    bool bOk = false;
    double dSeconds = 0;
    unsigned long long u64SweptBytes = 0;
    size_t nSearchHits = 0;
    unsigned long long u64LostFiles = 0;
    std::vector<__SEARCH_FILE_INFO__> vecHits;
};

// One fresh deep scan of the first u64Sectors of disk 0, then a search for every category.
ScanFigures DeepScan(unsigned long long u64Sectors) {
    ScanFigures figures;
    CLogFileManager::GetInstance().Init();
    CProfessionalRecovery engine;
    const auto start = std::chrono::steady_clock::now();
    if (engine.Init(0, 0, static_cast<long long>(u64Sectors), L'C') != 0) return figures;
    engine.SetNotLoadLogFile();
    ScanProgress progress;
    engine.InitCallBack(&ScanProgress::OnScan, nullptr, &progress, 100);
    if (engine.ScanDevice(nullptr) != 0) return figures;
    figures.dSeconds = Seconds(start);
    figures.u64SweptBytes = progress.u64SweepSectors * SECTOR;
    std::wstring wstrKey = BuildSearchKey(FILE_CATEGORY_ALL);
    engine.SearchFileNode(&wstrKey[0], figures.vecHits);
    figures.nSearchHits = figures.vecHits.size();
    figures.u64LostFiles = engine.GetLostFileCount();
    figures.bOk = true;
    return figures;
}

// Fastest of RUNS fresh scans; the figures of that run are kept.
ScanFigures BestDeepScan(unsigned long long u64Sectors) {
    ScanFigures best;
    for (int nRun = 0; nRun < RUNS; ++nRun) {
        ScanFigures run = DeepScan(u64Sectors);
        if (!run.bOk) return run;
        if (!best.bOk || run.dSeconds < best.dSeconds) best = std::move(run);
    }
    return best;
}

// Fastest of RUNS plain reads (the time includes starting dd, a millisecond or two).
double DdSeconds(const std::string& strImage) {
    double dBest = -1;
    for (int nRun = 0; nRun < RUNS; ++nRun) {
        const auto start = std::chrono::steady_clock::now();
        if (!Shell("dd if=" + Quote(strImage) + " of=/dev/null bs=64k")) return -1;
        const double dSeconds = Seconds(start);
        if (dBest < 0 || dSeconds < dBest) dBest = dSeconds;
    }
    return dBest;
}

double MBps(unsigned long long u64Bytes, double dSeconds) { return dSeconds > 0 ? static_cast<double>(u64Bytes) / dSeconds / 1e6 : 0; }

void Report(const char* szCase, const ScanFigures& scan, double dDdSeconds, unsigned long long u64ImageBytes) {
    const double dScanRate = MBps(scan.u64SweptBytes, scan.dSeconds);
    const double dDdRate = MBps(u64ImageBytes, dDdSeconds);
    printf("%s deep scan time (best of %d): %.3f s\n", szCase, RUNS, scan.dSeconds);
    printf("%s swept bytes: %llu (image %llu)\n", szCase, scan.u64SweptBytes, u64ImageBytes);
    printf("%s deep scan rate: %.1f MB/s of swept data (MB = 10^6 bytes)\n", szCase, dScanRate);
    printf("%s dd bs=64k time (best of %d): %.3f s\n", szCase, RUNS, dDdSeconds);
    printf("%s dd bs=64k rate: %.1f MB/s\n", szCase, dDdRate);
    printf("%s scan / dd ratio: %.3f\n", szCase, dDdRate > 0 ? dScanRate / dDdRate : 0);
    printf("%s files found (search all categories): %zu\n", szCase, scan.nSearchHits);
    const char* szSources[] = {"fast NTFS", "fast FAT", "deep NTFS", "deep FAT", "carving"};
    for (int nSource = FILE_SOURCE_FAST_NTFS; nSource <= FILE_SOURCE_CARVING; ++nSource) {
        size_t nHits = 0;
        for (const __SEARCH_FILE_INFO__& hit : scan.vecHits) nHits += hit.nSourceType == nSource ? 1 : 0;
        if (nHits > 0) printf("%s   of which from %s: %zu\n", szCase, szSources[nSource], nHits);
    }
    printf("%s lost files reported by the engine: %llu\n", szCase, scan.u64LostFiles);
    printf("%s peak memory (ru_maxrss) after scan: %ld KiB\n", szCase, PeakKiB());
}

// --- case 1: random bytes with planted media --------------------------------------------------

struct PlantedFile {
    unsigned long long u64Sector;
    std::string strExt;
};

MEDIA_BYTES MakeSample(int nIndex, std::string& strExt) {
    const uint32_t nSeed = 1000u + static_cast<uint32_t>(nIndex);
    switch (nIndex % 5) {
        case 0: strExt = "jpg"; return MakeJpegFile(20000 + 997u * (nIndex % 50), nSeed);
        case 1: strExt = "png"; return MakePngFile(64 + nIndex % 32, 48 + nIndex % 16, nSeed);
        case 2: strExt = "mp3"; return MakeMp3File(40 + nIndex % 60);
        case 3: strExt = "avi"; return MakeAviFile(20 + nIndex % 40, nSeed);
        default: strExt = "mp4"; return MakeMp4File(30000 + 1013u * (nIndex % 40), nSeed);
    }
}

// Written in 1 MiB pieces so building the image does not raise the peak memory measured later.
bool MakeRandomImage(const std::string& strPath, std::vector<PlantedFile>& vecPlanted) {
    FILE* pFile = fopen(strPath.c_str(), "wb");
    if (pFile == nullptr) return false;
    std::vector<uint64_t> vBuf((1 << 20) / sizeof(uint64_t));
    uint64_t u64State = 0x9E3779B97F4A7C15ull;
    bool bOk = true;
    for (unsigned long long u64Done = 0; bOk && u64Done < IMAGE_BYTES; u64Done += vBuf.size() * 8) {
        for (uint64_t& u64Word : vBuf) {  // xorshift64*
            u64State ^= u64State >> 12;
            u64State ^= u64State << 25;
            u64State ^= u64State >> 27;
            u64Word = u64State * 0x2545F4914F6CDD1Dull;
        }
        bOk = fwrite(vBuf.data(), 8, vBuf.size(), pFile) == vBuf.size();
    }
    // Evenly spread heads on 4 KiB boundaries, away from the very start.
    const unsigned long long u64Stride = (IMAGE_BYTES / PLANTED_FILES) / PAD_TO * PAD_TO;
    for (int nFile = 0; bOk && nFile < PLANTED_FILES; ++nFile) {
        std::string strExt;
        MEDIA_BYTES vecFile = MakeSample(nFile, strExt);
        const unsigned long long u64Offset = PAD_TO * 16 + nFile * u64Stride;
        const size_t nPadded = (vecFile.size() + PAD_TO - 1) / PAD_TO * PAD_TO;
        vecFile.resize(nPadded, 0);
        bOk = fseeko(pFile, static_cast<off_t>(u64Offset), SEEK_SET) == 0 &&
              fwrite(vecFile.data(), 1, vecFile.size(), pFile) == vecFile.size();
        vecPlanted.push_back({u64Offset / SECTOR, strExt});
    }
    return fclose(pFile) == 0 && bOk;
}

// Hits whose head sector and extension match a planted file.
size_t CountPlantedFound(const std::vector<__SEARCH_FILE_INFO__>& vecHits, const std::vector<PlantedFile>& vecPlanted) {
    size_t nFound = 0;
    for (const PlantedFile& planted : vecPlanted) {
        for (const __SEARCH_FILE_INFO__& hit : vecHits) {
            const std::string strName = hit.szFileName;
            const size_t nDot = strName.rfind('.');
            if (hit.u64RecordSector == planted.u64Sector && nDot != std::string::npos &&
                strName.substr(nDot + 1) == planted.strExt) {
                ++nFound;
                break;
            }
        }
    }
    return nFound;
}

void RunRandomCase(const std::string& strDir) {
    const std::string strImage = strDir + "/random.img";
    std::vector<PlantedFile> vecPlanted;
    const auto makeStart = std::chrono::steady_clock::now();
    if (!MakeRandomImage(strImage, vecPlanted)) {
        printf("raw: could not make the image\n");
        return;
    }
    printf("raw image made in %.1f s: %llu bytes, %zu planted files\n", Seconds(makeStart), IMAGE_BYTES,
           vecPlanted.size());
    printf("raw peak memory (ru_maxrss) before any scan: %ld KiB\n", PeakKiB());
    rsb_setDiskList({strImage});
    ReadOnce(strImage);

    const ScanFigures prefix = DeepScan(PREFIX_BYTES / SECTOR);
    if (prefix.bOk) {
        printf("raw-256MiB deep scan time: %.3f s\n", prefix.dSeconds);
        printf("raw-256MiB deep scan rate: %.1f MB/s of swept data\n", MBps(prefix.u64SweptBytes, prefix.dSeconds));
        printf("raw-256MiB peak memory (ru_maxrss) after scan: %ld KiB\n", PeakKiB());
    } else {
        printf("raw-256MiB deep scan failed\n");
    }

    ReadOnce(strImage);
    const ScanFigures whole = BestDeepScan(IMAGE_BYTES / SECTOR);
    if (!whole.bOk) {
        printf("raw deep scan failed\n");
    } else {
        Report("raw", whole, DdSeconds(strImage), IMAGE_BYTES);
        printf("raw planted files found at their head sector: %zu of %zu\n",
               CountPlantedFound(whole.vecHits, vecPlanted), vecPlanted.size());
    }
    unlink(strImage.c_str());
}

// --- case 2: a real FAT32 volume --------------------------------------------------------------

constexpr int FAT_FOLDERS = 20;
constexpr int FAT_FILES_PER_FOLDER = 150;

bool WriteFile(const std::string& strPath, const MEDIA_BYTES& vecBytes) {
    std::ofstream file(strPath, std::ios::binary);
    file.write(reinterpret_cast<const char*>(vecBytes.data()), static_cast<std::streamsize>(vecBytes.size()));
    return static_cast<bool>(file);
}

bool MakeFatImage(const std::string& strDir, const std::string& strImage, size_t& nCopied, size_t& nDeleted) {
    const std::string strSource = strDir + "/fat-src";
    if (!Shell("mkdir -p " + Quote(strSource))) return false;
    std::vector<std::string> vecDeleteArgs(FAT_FOLDERS);  // per folder: the mdel arguments
    for (int nFolder = 0; nFolder < FAT_FOLDERS; ++nFolder) {
        const std::string strFolderName = "Folder " + std::to_string(nFolder);
        if (!Shell("mkdir -p " + Quote(strSource + "/" + strFolderName))) return false;
        for (int nFile = 0; nFile < FAT_FILES_PER_FOLDER; ++nFile) {
            const int nIndex = nFolder * FAT_FILES_PER_FOLDER + nFile;
            std::string strExt = "txt";
            const MEDIA_BYTES vecFile =
                nIndex % 4 == 3 ? MEDIA_BYTES(2000 + nIndex % 3000, 'n') : MakeSample(nIndex, strExt);
            const std::string strName = strFolderName + "/File number " + std::to_string(nFile) + "." + strExt;
            if (!WriteFile(strSource + "/" + strName, vecFile)) return false;
            ++nCopied;
            if (nFile % 3 == 0) {  // a third of the files deleted afterwards
                vecDeleteArgs[nFolder] += " " + Quote("::/" + strName);
                ++nDeleted;
            }
        }
    }
    if (!MakeFatImageWithClusters(strImage, 32, static_cast<int>(IMAGE_BYTES >> 20), 8)) return false;
    // One recursive copy of every folder, then one mdel call per folder.
    std::string strCopy = "mcopy -s -i " + Quote(strImage);
    for (int nFolder = 0; nFolder < FAT_FOLDERS; ++nFolder)
        strCopy += " " + Quote(strSource + "/Folder " + std::to_string(nFolder));
    if (!Shell(strCopy + " ::/")) return false;
    for (const std::string& strArgs : vecDeleteArgs)
        if (!Shell("mdel -i " + Quote(strImage) + strArgs)) return false;
    return Shell("rm -rf " + Quote(strSource));
}

void RunFatCase(const std::string& strDir) {
    const std::string strImage = strDir + "/fat32.img";
    size_t nCopied = 0;
    size_t nDeleted = 0;
    const auto makeStart = std::chrono::steady_clock::now();
    if (!MakeFatImage(strDir, strImage, nCopied, nDeleted)) {
        printf("fat32: could not make the image (mkfs.fat / mtools missing?)\n");
        Shell("rm -rf " + Quote(strDir + "/fat-src"));
        unlink(strImage.c_str());
        return;
    }
    printf("fat32 image made in %.1f s: %llu bytes, %zu files copied, %zu deleted\n", Seconds(makeStart),
           IMAGE_BYTES, nCopied, nDeleted);
    rsb_setDiskList({strImage});
    ReadOnce(strImage);
    const ScanFigures scan = BestDeepScan(IMAGE_BYTES / SECTOR);
    if (scan.bOk)
        Report("fat32", scan, DdSeconds(strImage), IMAGE_BYTES);
    else
        printf("fat32 deep scan failed\n");
    unlink(strImage.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string strWork = argc > 1 ? argv[1] : "/tmp";
    std::string strTemplate = strWork + "/bench_deep_scan.XXXXXX";
    if (mkdtemp(&strTemplate[0]) == nullptr) {
        perror("mkdtemp");
        return 1;
    }
    const std::string strDir = strTemplate;
    setenv("KORVALO_HOME", (strDir + "/home").c_str(), 1);
    if (rsb_createAppFolders() != 0) {
        fprintf(stderr, "cannot create the application folders under %s\n", strDir.c_str());
        Shell("rm -rf " + Quote(strDir));
        return 1;
    }
    CLogFileManager::GetInstance().Init();

    RunRandomCase(strDir);
    RunFatCase(strDir);

    Shell("rm -rf " + Quote(strDir));
    return 0;
}
