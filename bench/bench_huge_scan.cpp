// Scans of huge areas through the recovery session, as the command line runs them:
//   bench_huge_scan [WORK_DIR] [FINDS]
// 1. a sparse 2 TiB image whose last 4 GiB hold a few hundred photos: the last 4 GiB are swept;
// 2. a 1 GiB area holding FINDS (default 2,000,000) small pictures, one per sector.
// Prints for each the seconds, the throughput, the finds, and the peak memory of the process after
// the scan, after the command line's listing of every find, and after a search holding them all.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "carving/file_category.h"
#include "session/recovery_session.h"
#include "util/app_folder.h"

namespace {
constexpr unsigned long long SECTOR = 512;

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void PutBigEndian32(std::vector<unsigned char>& v, uint32_t u) {
    for (int nShift = 24; nShift >= 0; nShift -= 8) v.push_back(static_cast<unsigned char>(u >> nShift));
}

void AddChunk(std::vector<unsigned char>& png, const char* szType, const std::vector<unsigned char>& data) {
    PutBigEndian32(png, static_cast<uint32_t>(data.size()));
    std::vector<unsigned char> typed(szType, szType + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    PutBigEndian32(png, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

// A 1 x 1 picture whose colour depends on nSeed: a whole, valid PNG of 69 bytes.
std::vector<unsigned char> TinyPng(uint32_t nSeed) {
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<unsigned char> header;
    PutBigEndian32(header, 1);
    PutBigEndian32(header, 1);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    AddChunk(png, "IHDR", header);
    const unsigned char abRow[4] = {0, static_cast<unsigned char>(nSeed), static_cast<unsigned char>(nSeed >> 8),
                                    static_cast<unsigned char>(nSeed >> 16)};
    std::vector<unsigned char> packed(compressBound(sizeof(abRow)));
    uLongf nPacked = packed.size();
    compress(packed.data(), &nPacked, abRow, sizeof(abRow));
    packed.resize(nPacked);
    AddChunk(png, "IDAT", packed);
    AddChunk(png, "IEND", {});
    return png;
}

// Writes a picture at the start of nFiles sectors from u64FirstSector on, nStride sectors apart.
bool PlantPictures(const std::string& strImage, unsigned long long u64FirstSector, size_t nFiles, size_t nStride) {
    const int hFile = open(strImage.c_str(), O_WRONLY);
    if (hFile < 0) return false;
    constexpr size_t RUN_SECTORS = 8192;
    std::vector<unsigned char> vecRun;
    bool bOk = true;
    for (size_t i = 0; i < nFiles && bOk;) {
        // Neighbouring sectors are written a run at a time, lone ones one at a time.
        const size_t nRun = nStride == 1 ? std::min(RUN_SECTORS, nFiles - i) : 1;
        vecRun.assign(nRun * SECTOR, 0);
        for (size_t k = 0; k < nRun; ++k) {
            const std::vector<unsigned char> png = TinyPng(static_cast<uint32_t>(i + k));
            std::copy(png.begin(), png.end(), vecRun.begin() + static_cast<std::ptrdiff_t>(k * SECTOR));
        }
        const off_t nOffset = static_cast<off_t>((u64FirstSector + i * nStride) * SECTOR);
        bOk = pwrite(hFile, vecRun.data(), vecRun.size(), nOffset) == static_cast<ssize_t>(vecRun.size());
        i += nRun;
    }
    close(hFile);
    return bOk;
}

// Scans the range and prints one line of figures.
void ScanAndReport(const char* szWhat, const std::string& strImage, unsigned long long u64Start,
                   unsigned long long u64Sectors) {
    CRecoverySession session;
    SESSION_AREA area;
    area.eKind = SESSION_AREA::SECTOR_RANGE;
    area.u64Start = u64Start;
    area.u64Sectors = u64Sectors;
    const auto start = std::chrono::steady_clock::now();
    if (session.OpenSource(strImage) != SESSION_OK || session.ChooseArea(area) != SESSION_OK ||
        session.Scan(SESSION_RESCAN) != SESSION_OK) {
        printf("%s: scan failed: %s\n", szWhat, session.LastError().c_str());
        return;
    }
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double dScanPeak = PeakMiB();
    // The command line's listing: a compact index, each record read back as its line is made.
    const auto listStart = std::chrono::steady_clock::now();
    CFoundFileIndex index;
    std::vector<unsigned long long> vecIds;
    session.IndexFinds(index);
    session.ListFinds(FILE_CATEGORY_ALL, index, vecIds);
    unsigned long long u64LineBytes = 0;
    __SEARCH_FILE_INFO__ hit;
    for (unsigned long long u64Id : vecIds) {
        if (session.ReadFind(index, u64Id, hit) != SESSION_OK) break;
        u64LineBytes += session.FolderOf(hit).size() + strnlen(hit.szFileName, sizeof(hit.szFileName)) + 1;
    }
    const double dListSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - listStart).count();
    const double dListPeak = PeakMiB();
    // The window's search: every find's whole record in memory.
    std::vector<__SEARCH_FILE_INFO__> vecPhotos;
    session.Search(FILE_CATEGORY_PHOTO, vecPhotos);
    printf("%s\n  scan %.1f s, %.1f MB/s, %zu finds; listing %zu finds (%llu bytes of names) %.1f s\n"
           "  peak %.0f MiB after the scan, %.0f MiB after the listing, %.0f MiB after a search of them all\n",
           szWhat, dSeconds, u64Sectors * SECTOR / 1e6 / dSeconds, vecPhotos.size(), vecIds.size(), u64LineBytes,
           dListSeconds, dScanPeak, dListPeak, PeakMiB());
}
}  // namespace

int main(int argc, char** argv) {
    const std::string strWork = argc > 1 ? argv[1] : "/var/tmp/korvalo-bench-huge";
    const size_t nFinds = argc > 2 ? strtoull(argv[2], nullptr, 10) : 2000000;
    if (system(("mkdir -p '" + strWork + "/home'").c_str()) != 0) return 1;
    setenv("KORVALO_HOME", (strWork + "/home").c_str(), 1);
    rsb_createAppFolders();

    // 1. The last 4 GiB of a sparse 2 TiB disk, with a photo every 16 MiB.
    const std::string strHuge = strWork + "/huge.img";
    const unsigned long long u64HugeSectors = (2ull << 40) / SECTOR;
    const unsigned long long u64TailSectors = (4ull << 30) / SECTOR;
    const int hHuge = open(strHuge.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (hHuge < 0 || ftruncate(hHuge, static_cast<off_t>(u64HugeSectors * SECTOR)) != 0) return 1;
    close(hHuge);
    if (!PlantPictures(strHuge, u64HugeSectors - u64TailSectors, 256, 32768)) return 1;
    ScanAndReport("last 4 GiB of a 2 TiB disk", strHuge, u64HugeSectors - u64TailSectors, u64TailSectors);
    unlink(strHuge.c_str());

    // 2. One small picture in every sector of a 1 GiB area.
    const std::string strMany = strWork + "/many.img";
    const int hMany = open(strMany.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (hMany < 0 || ftruncate(hMany, static_cast<off_t>(nFinds * SECTOR)) != 0) return 1;
    close(hMany);
    if (!PlantPictures(strMany, 0, nFinds, 1)) return 1;
    ScanAndReport(("1 GiB holding " + std::to_string(nFinds) + " pictures").c_str(), strMany, 0, nFinds);
    unlink(strMany.c_str());
    return 0;
}
