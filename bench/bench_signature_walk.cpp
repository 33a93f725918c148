// Sectors per second of the detection walk (the fast walk and the plain table walk) on random
// sectors, zero sectors and heads of real files found on this machine.
//
//   bench_signature_walk [--benchmark_filter=...]
// The "sectors_per_s" counter is the figure to read.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "carving/file_type_judge.h"
#include "device/disk_reader.h"
#include "util/text.h"

namespace {

constexpr int SECTOR = 512;
constexpr int SECTORS_PER_SET = 4096;

std::vector<unsigned char> RandomSectors() {
    std::vector<unsigned char> vec(static_cast<size_t>(SECTOR) * SECTORS_PER_SET);
    std::mt19937 rng(7);
    for (unsigned char& uc : vec) uc = static_cast<unsigned char>(rng());
    return vec;
}

bool EndsWith(const std::string& str, const std::string& strEnd) {
    return str.size() >= strEnd.size() && str.compare(str.size() - strEnd.size(), strEnd.size(), strEnd) == 0;
}

// Up to nPerKind files of each extension below the folder, depth-first.
void FindFiles(const std::string& strDir, int nDepth, std::vector<std::string>& vecFiles,
               std::vector<int>& vecCounts, const std::vector<std::string>& vecExts, int nPerKind) {
    if (nDepth > 6) return;
    DIR* pDir = opendir(strDir.c_str());
    if (pDir == nullptr) return;
    while (dirent* pEntry = readdir(pDir)) {
        std::string strName = pEntry->d_name;
        if (strName == "." || strName == "..") continue;
        std::string strPath = strDir + "/" + strName;
        if (pEntry->d_type == DT_DIR) {
            FindFiles(strPath, nDepth + 1, vecFiles, vecCounts, vecExts, nPerKind);
            continue;
        }
        if (pEntry->d_type != DT_REG) continue;
        for (size_t i = 0; i < vecExts.size(); ++i)
            if (EndsWith(strName, vecExts[i]) && vecCounts[i] < nPerKind) {
                vecFiles.push_back(strPath);
                ++vecCounts[i];
            }
    }
    closedir(pDir);
}

// Heads of real files, one per sector, in an image file that the device-reading tests read
// through the judge context (the Office package test reads 20 sectors after a zip head).
struct REAL_HEADS {
    std::vector<unsigned char> vecSectors;
    std::string strImage;
    CDiskReader reader;
    int nFiles = 0;
};

REAL_HEADS* LoadRealHeads() {
    static REAL_HEADS* pHeads = nullptr;
    if (pHeads != nullptr) return pHeads;
    pHeads = new REAL_HEADS;
    std::vector<std::string> vecExts = {".png", ".jpg", ".gif", ".ttf", ".gz", ".pdf", ".zip",
                                        ".jar", ".mp3", ".ico", ".exe", ".wav", ".bmp", ".doc"};
    std::vector<int> vecCounts(vecExts.size(), 0);
    std::vector<std::string> vecFiles;
    FindFiles("/usr/share", 0, vecFiles, vecCounts, vecExts, 40);
    FindFiles("/usr/lib", 0, vecFiles, vecCounts, vecExts, 40);
    // Each head is followed by 20 sectors of its file so the device reads see real data.
    for (const std::string& strFile : vecFiles) {
        FILE* pFile = fopen(strFile.c_str(), "rb");
        if (pFile == nullptr) continue;
        std::vector<unsigned char> vecFile(21 * SECTOR, 0);
        size_t nGot = fread(vecFile.data(), 1, vecFile.size(), pFile);
        fclose(pFile);
        if (nGot < 64) continue;
        pHeads->vecSectors.insert(pHeads->vecSectors.end(), vecFile.begin(), vecFile.end());
        ++pHeads->nFiles;
    }
    char szPath[] = "/tmp/bench_signature_walk.XXXXXX";
    int hFile = mkstemp(szPath);
    if (hFile >= 0) {
        bool bOk = write(hFile, pHeads->vecSectors.data(), pHeads->vecSectors.size()) ==
                   static_cast<ssize_t>(pHeads->vecSectors.size());
        close(hFile);
        pHeads->strImage = szPath;
        std::wstring wstrPath = Path2Unicode(szPath);
        if (bOk) pHeads->reader.Init(&wstrPath[0], pHeads->vecSectors.size() / SECTOR);
    }
    return pHeads;
}

template <EXTEND_NAME_TYPE (*WALK)(const unsigned char*, int)>
void RunOverSectors(benchmark::State& state, const std::vector<unsigned char>& vecSectors,
                    int nStrideSectors) {
    const size_t nSectors = vecSectors.size() / SECTOR / nStrideSectors;
    CFileTypeJudge::m_nBytesPerSector = SECTOR;
    size_t i = 0;
    int nFound = 0;
    for (auto _ : state) {
        size_t nSector = i * nStrideSectors;
        CFileTypeJudge::m_u64StartSector = CFileTypeJudge::m_u64CurrentSector = nSector;
        EXTEND_NAME_TYPE nType = WALK(vecSectors.data() + nSector * SECTOR, SECTOR);
        benchmark::DoNotOptimize(nType);
        nFound += nType != EXT_UNKNOWN;
        if (++i == nSectors) i = 0;
    }
    state.counters["sectors_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                         benchmark::Counter::kIsRate);
    state.counters["found_per_sector"] = static_cast<double>(nFound) / static_cast<double>(state.iterations());
}

template <EXTEND_NAME_TYPE (*WALK)(const unsigned char*, int)>
void BM_RandomSectors(benchmark::State& state) {
    static const std::vector<unsigned char> vec = RandomSectors();
    CFileTypeJudge::m_pDiskReader = nullptr;
    RunOverSectors<WALK>(state, vec, 1);
}

template <EXTEND_NAME_TYPE (*WALK)(const unsigned char*, int)>
void BM_ZeroSectors(benchmark::State& state) {
    static const std::vector<unsigned char> vec(static_cast<size_t>(SECTOR) * SECTORS_PER_SET, 0);
    CFileTypeJudge::m_pDiskReader = nullptr;
    RunOverSectors<WALK>(state, vec, 1);
}

template <EXTEND_NAME_TYPE (*WALK)(const unsigned char*, int)>
void BM_RealFileHeads(benchmark::State& state) {
    REAL_HEADS* pHeads = LoadRealHeads();
    if (pHeads->nFiles == 0) {
        state.SkipWithError("no real files found");
        return;
    }
    CFileTypeJudge::m_pDiskReader = &pHeads->reader;
    RunOverSectors<WALK>(state, pHeads->vecSectors, 21);
    state.SetLabel(std::to_string(pHeads->nFiles) + " files");
    CFileTypeJudge::m_pDiskReader = nullptr;
}

constexpr auto FAST = &CFileTypeJudge::GetDataBufType;
constexpr auto PLAIN = &CFileTypeJudge::GetDataBufTypeInTableOrder;

BENCHMARK_TEMPLATE(BM_RandomSectors, FAST)->Name("fast_walk/random_sectors");
BENCHMARK_TEMPLATE(BM_ZeroSectors, FAST)->Name("fast_walk/zero_sectors");
BENCHMARK_TEMPLATE(BM_RealFileHeads, FAST)->Name("fast_walk/real_file_heads");
BENCHMARK_TEMPLATE(BM_RandomSectors, PLAIN)->Name("table_walk/random_sectors");
BENCHMARK_TEMPLATE(BM_ZeroSectors, PLAIN)->Name("table_walk/zero_sectors");
BENCHMARK_TEMPLATE(BM_RealFileHeads, PLAIN)->Name("table_walk/real_file_heads");

}  // namespace

int main(int argc, char** argv) {
    CFileTypeJudge judge;  // keeps the shared context alive as an engine would
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    REAL_HEADS* pHeads = LoadRealHeads();
    if (!pHeads->strImage.empty()) unlink(pHeads->strImage.c_str());
    return 0;
}
