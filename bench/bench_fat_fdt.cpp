// Sectors per second of the FAT directory tests the deep scan runs on every sector: random
// sectors (file content), zero sectors (unused space) and real directory sectors taken from an
// image made with mkfs.fat and mtools at start-up. Single-threaded; one call per sector.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fat/fat_record_tests.h"

namespace {

constexpr int SECTOR = 512;
constexpr int POOL_SECTORS = 4096;  // 2 MiB: more than the first cache levels hold

using SectorPool = std::vector<unsigned char>;

SectorPool RandomSectors() {
    SectorPool v(static_cast<size_t>(POOL_SECTORS) * SECTOR);
    std::mt19937 rng(7);
    for (unsigned char& b : v) b = static_cast<unsigned char>(rng());
    return v;
}

SectorPool ZeroSectors() { return SectorPool(static_cast<size_t>(POOL_SECTORS) * SECTOR, 0); }

// The directory sectors of a FAT16 image filled with folders, long names and deleted files.
SectorPool DirectorySectors() {
    char szDir[] = "/tmp/korvalo-bench-XXXXXX";
    if (mkdtemp(szDir) == nullptr) return {};
    const std::string strDir = szDir;
    const std::string strImg = strDir + "/card.img";
    std::string strScript = "cd '" + strDir + "' && export MTOOLS_SKIP_CHECK=1 PATH=\"$PATH:/usr/sbin:/sbin\" && "
                            "truncate -s 16M card.img && mkfs.fat -F 16 card.img && echo x > n && "
                            "mmd -i card.img ::/DCIM ::/DOCS && mkdir p && for i in $(seq 1 200); do "
                            "cp n \"p/Picture from the summer holiday $i.jpeg\"; cp n p/IMG_$i.JPG; done && "
                            "mcopy -i card.img p/* ::/DCIM/ && mcopy -i card.img p/IMG_1*.JPG ::/DOCS/ && "
                            "mdel -i card.img '::/DCIM/IMG_2*.JPG' '::/DCIM/Picture from the summer holiday 3*'";
    const bool bBuilt = system(("(" + strScript + ") >/dev/null 2>&1").c_str()) == 0;
    SectorPool vImage;
    if (bBuilt) {
        std::ifstream file(strImg, std::ios::binary);
        vImage.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    system(("rm -rf '" + strDir + "'").c_str());
    SectorPool vDirs;
    for (size_t i = 0; i + SECTOR <= vImage.size(); i += SECTOR) {
        const unsigned char* p = &vImage[i];
        if (IsFatFDTRecord(p, SECTOR) || IsFatFileRecord(p, SECTOR)) vDirs.insert(vDirs.end(), p, p + SECTOR);
    }
    return vDirs;
}

const SectorPool& Pool(int nKind) {
    static const SectorPool s_random = RandomSectors();
    static const SectorPool s_zero = ZeroSectors();
    static const SectorPool s_dirs = DirectorySectors();
    return nKind == 0 ? s_random : nKind == 1 ? s_zero : s_dirs;
}

const char* KindName(int nKind) { return nKind == 0 ? "random" : nKind == 1 ? "zero" : "directory"; }

template <int (*Test)(const unsigned char*, int)>
void RunOverSectors(benchmark::State& state) {
    const int nKind = static_cast<int>(state.range(0));
    const SectorPool& vPool = Pool(nKind);
    const size_t nSectors = vPool.size() / SECTOR;
    if (nSectors == 0) {
        state.SkipWithError("no directory sectors (mkfs.fat or mtools missing)");
        return;
    }
    size_t nIndex = 0;
    int64_t nAccepted = 0;
    for (auto _ : state) {
        nAccepted += Test(&vPool[nIndex * SECTOR], SECTOR);
        if (++nIndex == nSectors) nIndex = 0;
    }
    benchmark::DoNotOptimize(nAccepted);
    state.SetLabel(std::string(KindName(nKind)) + ", " + std::to_string(nSectors) + " distinct sectors");
    state.counters["sectors/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
    state.counters["accepted"] = static_cast<double>(nAccepted) / static_cast<double>(state.iterations());
}

void BM_IsFatFDTRecord(benchmark::State& state) { RunOverSectors<IsFatFDTRecord>(state); }
void BM_IsFatFileRecord(benchmark::State& state) { RunOverSectors<IsFatFileRecord>(state); }

BENCHMARK(BM_IsFatFDTRecord)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_IsFatFileRecord)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
