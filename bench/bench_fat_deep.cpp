// Throughput of the deep FAT engine over a real FAT32 volume made at start-up with mkfs.fat and
// mtools (40 folders of 30 long-named files, half of them deleted): every sector of the image is
// offered to the directory parsers as the deep scan does, then the end pass builds the tree.
// Prints sectors per second of the whole path and directory entries per second.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/log_file_manager.h"
#include "fat/fat_record_tests.h"
#include "fat/professional_fat_recovery.h"
#include "util/text.h"

namespace {

constexpr int SECTOR = 512;
constexpr int FOLDERS = 40;
constexpr int FILES_PER_FOLDER = 30;

struct Image {
    std::string strDir;
    std::string strPath;
    std::vector<unsigned char> vBytes;
};

bool Run(const std::string& strCommand) {
    const bool bOk = system(("MTOOLS_SKIP_CHECK=1 " + strCommand + " >/dev/null 2>&1").c_str()) == 0;
    if (!bOk) fprintf(stderr, "failed: %s\n", strCommand.c_str());
    return bOk;
}

// Empty when the tools are missing.
const Image& GetImage() {
    static Image s_image;
    if (!s_image.strPath.empty()) return s_image;
    char szDir[] = "/tmp/korvalo-bench-fat-deep-XXXXXX";
    if (mkdtemp(szDir) == nullptr) return s_image;
    s_image.strDir = szDir;
    s_image.strPath = s_image.strDir + "/card.img";
    setenv("KORVALO_HOME", s_image.strDir.c_str(), 1);
    CLogFileManager::GetInstance().Init();
    // One local folder of long-named files, copied into every folder of the card.
    const std::string strSource = s_image.strDir + "/src";
    bool bOk = Run("mkdir " + strSource);
    for (int nFile = 0; bOk && nFile < FILES_PER_FOLDER; ++nFile)
        std::ofstream(strSource + "/A long picture name number " + std::to_string(nFile) + ".txt")
            << std::string(3000 + nFile, 'n');
    bOk = bOk && Run("truncate -s 64M " + s_image.strPath) && Run("/usr/sbin/mkfs.fat -F 32 -s 1 " + s_image.strPath);
    for (int nFolder = 0; bOk && nFolder < FOLDERS; ++nFolder) {
        const std::string strFolder = "::/Folder number " + std::to_string(nFolder);
        std::string strDelete = "mdel -i " + s_image.strPath;
        for (int nFile = 0; nFile < FILES_PER_FOLDER; nFile += 2)
            strDelete += " '" + strFolder + "/A long picture name number " + std::to_string(nFile) + ".txt'";
        bOk = Run("mmd -i " + s_image.strPath + " '" + strFolder + "'") &&
              Run("mcopy -i " + s_image.strPath + " " + strSource + "/* '" + strFolder + "/'") && Run(strDelete);
    }
    std::ifstream file(s_image.strPath, std::ios::binary);
    if (bOk && file) s_image.vBytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return s_image;
}

void BM_DeepFatScan(benchmark::State& state) {
    const Image& image = GetImage();
    if (image.vBytes.empty()) {
        state.SkipWithError("mkfs.fat or mtools missing");
        return;
    }
    const size_t nSectors = image.vBytes.size() / SECTOR;
    unsigned long long u64Nodes = 0;
    for (auto _ : state) {
        CProfessionalFatRecovery engine;
        std::wstring wstrPath = Path2Unicode(image.strPath.c_str());
        engine.Init(&wstrPath[0], L'E');
        std::wstring wstrStore = L"bench_fat_deep";
        engine.ClearProfessionalVec(&wstrStore[0]);
        engine.InitVirtualDbrInfo();
        std::vector<unsigned char> vSector(SECTOR);
        for (size_t i = 0; i < nSectors; ++i) {
            const unsigned char* p = image.vBytes.data() + i * SECTOR;
            vSector.assign(p, p + SECTOR);
            if (IsFatFileRecord(vSector.data(), SECTOR))
                engine.ParseFatFileRecord(vSector.data(), i);
            else if (IsFatFDTRecord(vSector.data(), SECTOR))
                engine.ParseFDTFileRecord(vSector.data(), i);
        }
        engine.DealProfessionalRecordVec();
        u64Nodes = engine.GetLostFileCount();
        const std::string strNodes = engine.GetScanResult()->GetNodeFilePath();
        state.PauseTiming();
        unlink(strNodes.c_str());
        unlink((strNodes + "_Relation").c_str());
        unlink((strNodes + "_DirInfo").c_str());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * nSectors * SECTOR));
    state.counters["sectors/s"] =
        benchmark::Counter(static_cast<double>(nSectors), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["nodes"] = static_cast<double>(u64Nodes);
}
BENCHMARK(BM_DeepFatScan)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const Image& image = GetImage();
    if (!image.strDir.empty()) Run("rm -rf '" + image.strDir + "'");
    return 0;
}
