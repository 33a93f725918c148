// Carving throughput: a 512 MiB raw image of random bytes with 200 planted files (JPEG, PNG,
// GIF, ZIP, PDF, MP3, MPEG) swept sector by sector through CFileTypeRecovery, as the deep
// scan does. Prints MB/s, the files carved and how many planted heads were among them.
//
//   bench_carving [MiB]      (default 512; the image lives in a temporary folder while it runs)
//
// The fixture library needs GoogleTest, which benchmarks do not link; its two gtest-free
// sources are compiled in here so the bench sweeps exactly as the tests do.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "carving/file_type_recovery.h"
#include "device/disk_reader.h"
#include "engine/log_file_manager.h"
#include "tests/fixtures/carving_image.cpp"
#include "tests/fixtures/carving_sweep.cpp"
#include "util/text.h"

namespace {

constexpr int kSector = 512;
constexpr unsigned long long kBlockSectors = 2048;  // the image is written 1 MiB at a time
constexpr int kPlanted = 200;

std::vector<unsigned char> SampleOfKind(int nKind, size_t nLen, uint32_t nSeed) {
    switch (nKind % 7) {
    case 0: return MakeSampleJpeg(nLen, nSeed);
    case 1: return MakeSamplePng(nLen, nSeed);
    case 2: return MakeSampleGif(nLen, nSeed);
    case 3: return MakeSampleZip(nLen, nSeed);
    case 4: return MakeSamplePdf(nLen, nSeed);
    case 5: return MakeSampleMp3(nLen, nSeed);
    default: return MakeSampleMpeg(nLen, nSeed);
    }
}

// Writes the image block by block; returns the planted head sectors (empty on failure).
std::set<unsigned long long> WriteImage(const std::string& strPath, unsigned long long u64Blocks) {
    std::set<unsigned long long> setHeads;
    FILE* pFile = fopen(strPath.c_str(), "wb");
    if (pFile == nullptr) return setHeads;
    const unsigned long long u64Every = std::max<unsigned long long>(1, u64Blocks * kBlockSectors / kPlanted);
    unsigned long long u64NextPlant = 100;
    int nPlanted = 0;
    for (unsigned long long b = 0; b < u64Blocks; ++b) {
        CCarvingImage block(kBlockSectors, kSector);
        block.FillRandom(0, kBlockSectors, static_cast<uint32_t>(b + 1));
        const unsigned long long u64First = b * kBlockSectors;
        // A head too close to the block's end (files must fit in their block) moves on.
        if (u64NextPlant < u64First) u64NextPlant = u64First + 100;
        while (nPlanted < kPlanted && u64NextPlant < u64First + kBlockSectors - 130) {
            const size_t nLen = 4096 + static_cast<size_t>(nPlanted * 977 % 57000);
            std::vector<unsigned char> vecFile = SampleOfKind(nPlanted, nLen, static_cast<uint32_t>(nPlanted));
            const unsigned long long u64Local = u64NextPlant - u64First;
            block.Plant(u64Local, vecFile, "");
            // Zero padding after the end marker, as a file system leaves its last cluster.
            const unsigned long long u64Tail = u64Local * kSector + vecFile.size();
            block.Poke(u64Tail, std::vector<unsigned char>((kSector - u64Tail % kSector) % kSector, 0));
            setHeads.insert(u64NextPlant);
            ++nPlanted;
            u64NextPlant += u64Every;
        }
        if (fwrite(block.Bytes().data(), 1, block.Bytes().size(), pFile) != block.Bytes().size()) {
            fclose(pFile);
            return {};
        }
    }
    fclose(pFile);
    return setHeads;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned long long u64MiB = argc > 1 ? strtoull(argv[1], nullptr, 10) : 512;
    if (u64MiB == 0) return 2;
    char szHome[] = "/tmp/bench_carving.XXXXXX";
    if (mkdtemp(szHome) == nullptr) return 1;
    setenv("KORVALO_HOME", szHome, 1);
    CLogFileManager::GetInstance().Init();

    const std::string strImage = std::string(szHome) + "/image.raw";
    const std::set<unsigned long long> setHeads = WriteImage(strImage, u64MiB);
    int nExit = 1;
    if (!setHeads.empty()) {
        std::wstring wstrImage = Path2Unicode(strImage.c_str());
        CFileTypeRecovery engine;
        CDiskReader reader;
        const unsigned long long u64Sectors = u64MiB * kBlockSectors;
        if (engine.Init(&wstrImage[0], L'C') == 0 && reader.Init(&wstrImage[0], u64Sectors) == 0) {
            const auto start = std::chrono::steady_clock::now();
            _CARVING_SWEEP_RESULT_ result = SweepCarving(engine, &reader, 0, u64Sectors, kSector);
            const double dSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            size_t nPlantedFound = 0;
            for (const _CARVING_SWEEP_STEP_& step : result.vecSteps) nPlantedFound += setHeads.count(step.u64Sector);
            printf("image            %llu MiB, %zu planted files\n", u64MiB, setHeads.size());
            printf("sweep            %.2f s, %.1f MB/s\n", dSeconds, static_cast<double>(u64MiB) * 1048576.0 / 1e6 / dSeconds);
            printf("sectors offered  %llu\n", result.u64SectorsOffered);
            printf("files carved     %llu (planted heads among them: %zu)\n", result.u64FileCount, nPlantedFound);
            nExit = 0;
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(szHome, ec);
    return nExit;
}
