#pragma once
// A small NTFS volume around the input of the fast NTFS engine's fuzz targets: a fixed boot
// sector (512-byte sectors, one per cluster) and $MFT record, then the input as MFT records
// 1..63 and as the clusters after the MFT, so every other record, parent, attribute list, extent
// and data run comes from the fuzzer. The image is an anonymous memory file opened through its
// /proc path, as a disk would be. Scan stores go to a temporary application folder in /dev/shm.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/log_file_manager.h"
#include "ntfs/fast_ntfs_recovery.h"
#include "util/le.h"
#include "util/text.h"

class CFastNtfsFuzzVolume {
public:
    static constexpr uint64_t kMftSector = 16;  // cluster 16 with one sector per cluster
    static constexpr uint32_t kMftRecords = 64;
    static constexpr uint64_t kDataSector = kMftSector + 2 * kMftRecords;
    static constexpr size_t kMinDataBytes = 32768;

    CFastNtfsFuzzVolume() {
        char szHome[] = "/dev/shm/korvalo-fuzz-fastntfs-XXXXXX";
        if (mkdtemp(szHome) == nullptr) abort();
        setenv("KORVALO_HOME", szHome, 1);
        CLogFileManager::GetInstance().Init();
        CLogFileManager::GetInstance().AddDirIndex();
        m_hMemory = memfd_create("korvalo-fuzz-ntfs", 0);
        if (m_hMemory < 0) abort();
        m_wstrPath = Path2Unicode(("/proc/self/fd/" + std::to_string(m_hMemory)).c_str());
    }
    ~CFastNtfsFuzzVolume() { close(m_hMemory); }

    // The device becomes the volume around these bytes; returns the path to hand to Init.
    wchar_t* Load(const uint8_t* pData, size_t nLen) {
        const size_t nRecordBytes = 1024 * (kMftRecords - 1);
        const size_t nInMft = nLen < nRecordBytes ? nLen : nRecordBytes;
        const size_t nData = nLen - nInMft < kMinDataBytes ? kMinDataBytes : (nLen - nInMft + 511) / 512 * 512;
        std::vector<uint8_t> vecImage(kDataSector * 512 + nData, 0);
        WriteBootSector(vecImage.data(), vecImage.size() / 512);
        WriteMftRecord(vecImage.data() + kMftSector * 512);
        memcpy(vecImage.data() + kMftSector * 512 + 1024, pData, nInMft);
        memcpy(vecImage.data() + kDataSector * 512, pData + nInMft, nLen - nInMft);
        if (ftruncate(m_hMemory, 0) != 0 || pwrite(m_hMemory, vecImage.data(), vecImage.size(), 0) !=
                                                 static_cast<ssize_t>(vecImage.size()))
            abort();
        return &m_wstrPath[0];
    }

    // Removes what the engine's store wrote, so inputs do not pile up in one store.
    static void DropStore(CFastNtfsRecovery& engine) {
        CScanResultFileManager* pStore = engine.GetScanResult();
        if (pStore == nullptr) return;
        pStore->FlushBufToFile();
        unlink(pStore->GetNodeFilePath().c_str());
        unlink(pStore->GetRelationFilePath().c_str());
        unlink(pStore->GetDirInfoFilePath().c_str());
    }

private:
    static void WriteBootSector(uint8_t* p, uint64_t u64Sectors) {
        p[0] = 0xEB;
        p[1] = 0x52;
        p[2] = 0x90;
        memcpy(p + 3, "NTFS    ", 8);
        WriteLe16(p + 11, 512);
        p[13] = 1;
        p[21] = 0xF8;
        WriteLe64(p + 40, u64Sectors - 1);
        WriteLe64(p + 48, kMftSector);
        p[510] = 0x55;
        p[511] = 0xAA;
    }
    // Record 0: $DATA of 128 clusters from cluster kMftSector, the 64 records.
    static void WriteMftRecord(uint8_t* p) {
        memcpy(p, "FILE", 4);
        WriteLe16(p + 4, 48);
        WriteLe16(p + 6, 3);
        WriteLe16(p + 20, 56);
        WriteLe16(p + 22, 1);
        WriteLe32(p + 24, 136);
        WriteLe32(p + 28, 1024);
        WriteLe16(p + 48, 1);
        WriteLe16(p + 510, 1);
        WriteLe16(p + 1022, 1);
        uint8_t* pAttr = p + 56;
        WriteLe32(pAttr, 0x80);
        WriteLe32(pAttr + 4, 72);
        pAttr[8] = 1;
        WriteLe64(pAttr + 24, 2 * kMftRecords - 1);
        WriteLe16(pAttr + 32, 64);
        WriteLe64(pAttr + 40, 1024 * kMftRecords);
        WriteLe64(pAttr + 48, 1024 * kMftRecords);
        WriteLe64(pAttr + 56, 1024 * kMftRecords);
        const uint8_t abRuns[] = {0x11, 2 * kMftRecords, static_cast<uint8_t>(kMftSector), 0};
        memcpy(pAttr + 64, abRuns, sizeof(abRuns));
        WriteLe32(p + 128, 0xFFFFFFFFu);
    }

    int m_hMemory = -1;
    std::wstring m_wstrPath;
};
