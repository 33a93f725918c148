#include "session/recovery_factory.h"

#include <atomic>
#include <climits>
#include <memory>
#include <vector>

#include "device/disk_reader.h"
#include "device/salvaging_read.h"
#include "device/volume_tests.h"
#include "fat/fast_fat_recovery.h"
#include "ntfs/fast_ntfs_recovery.h"
#include "session/fast_ext_recovery.h"
#include "session/professional_recovery.h"
#include "util/debug_log.h"

namespace {

constexpr int PROBE_SECTOR_BYTES = 512;

std::atomic<bool> g_bFastEnginesEnabled{true};

// The first FACTORY_PROBE_BYTES of what reader covers from u64Start on. What cannot be read (an
// area or image shorter than that, bad first sectors) stays zero: only the fast engine's choice
// looks at these bytes, and the deep scan needs none of them. False when the reader refuses the
// request (a start no byte offset can name).
bool ReadProbe(const CDiskReader& reader, unsigned long long u64Start, unsigned char* pHead) {
    std::vector<SECTOR_RANGE> vecUnreadable;
    int nError = 0;
    return ReadSalvaging(reader, pHead, FACTORY_PROBE_BYTES / PROBE_SECTOR_BYTES, u64Start, PROBE_SECTOR_BYTES,
                         vecUnreadable, nError) != KR_ERROR_INVALID_PARAMETER;
}

}  // namespace

CFileRecoveryFactory& CFileRecoveryFactory::GetInstance() {
    static CFileRecoveryFactory s_factory;
    return s_factory;
}

ENGINE_KIND CFileRecoveryFactory::DecideEngineKind(bool bIsNtfs, bool bIsFat, bool bIsExt, RECOVERY_TYPE eType) {
    if (eType != RECOVERY_TYPE_FAST) return ENGINE_KIND_PROFESSIONAL;
    if (bIsNtfs) return ENGINE_KIND_FAST_NTFS;
    if (bIsFat) return ENGINE_KIND_FAST_FAT;
    if (bIsExt) return ENGINE_KIND_FAST_EXT;
    return ENGINE_KIND_NONE;
}

ENGINE_KIND CFileRecoveryFactory::ChooseEngineKind(unsigned char* pHead, RECOVERY_TYPE eType) {
    return DecideEngineKind(IsNtfs(pHead), IsFat(pHead), IsExt(pHead), eType);
}

void CFileRecoveryFactory::SetFastEnginesEnabled(bool bEnabled) {
    g_bFastEnginesEnabled.store(bEnabled);
}

IFileRecoveryParse* CFileRecoveryFactory::NewEngine(ENGINE_KIND eKind) {
    if (eKind != ENGINE_KIND_PROFESSIONAL && !g_bFastEnginesEnabled.load()) return nullptr;
    switch (eKind) {
        case ENGINE_KIND_FAST_NTFS:
            return new CFastNtfsRecovery();
        case ENGINE_KIND_FAST_FAT:
            return new CFastFatRecovery();
        case ENGINE_KIND_FAST_EXT:
            return new CFastExtRecovery();
        case ENGINE_KIND_PROFESSIONAL:
            return new CProfessionalRecovery();
        case ENGINE_KIND_NONE:
            break;
    }
    return nullptr;
}

IFileRecoveryParse* CFileRecoveryFactory::CreateFileRecoveryInstance(int nDiskNo, long long llStartSector,
                                                                     long long llSectorCount, wchar_t wcDrive,
                                                                     RECOVERY_TYPE eType) {
    if (llStartSector < 0 || llStartSector > LLONG_MAX / PROBE_SECTOR_BYTES - FACTORY_PROBE_BYTES / PROBE_SECTOR_BYTES) {
        DebugLog("lseek Failed\n");
        return nullptr;
    }
    const unsigned long long u64Start = static_cast<unsigned long long>(llStartSector);
    CDiskReader reader;
    if (reader.Init(nDiskNo, u64Start + FACTORY_PROBE_BYTES / PROBE_SECTOR_BYTES) != KR_SUCCESS) {
        DebugLog("Open Failed\n");
        return nullptr;
    }
    ENGINE_KIND eKind = ENGINE_KIND_PROFESSIONAL;
    if (eType == RECOVERY_TYPE_FAST) {
        std::unique_ptr<unsigned char[]> pHead(new unsigned char[FACTORY_PROBE_BYTES]());
        if (!ReadProbe(reader, u64Start, pHead.get())) return nullptr;
        eKind = ChooseEngineKind(pHead.get(), eType);
    }
    IFileRecoveryParse* pEngine = NewEngine(eKind);
    if (pEngine != nullptr) pEngine->Init(nDiskNo, llStartSector, llSectorCount, wcDrive);
    return pEngine;
}

IFileRecoveryParse* CFileRecoveryFactory::CreateFileRecoveryInstance(wchar_t* pPath, wchar_t wcDrive,
                                                                     RECOVERY_TYPE eType) {
    if (pPath == nullptr) return nullptr;
    CDiskReader reader;
    if (reader.Init(pPath, FACTORY_PROBE_BYTES / PROBE_SECTOR_BYTES) != KR_SUCCESS) return nullptr;
    ENGINE_KIND eKind = ENGINE_KIND_PROFESSIONAL;
    if (eType == RECOVERY_TYPE_FAST) {
        std::unique_ptr<unsigned char[]> pHead(new unsigned char[FACTORY_PROBE_BYTES]());
        if (!ReadProbe(reader, 0, pHead.get())) return nullptr;
        eKind = ChooseEngineKind(pHead.get(), eType);
    }
    IFileRecoveryParse* pEngine = NewEngine(eKind);
    if (pEngine != nullptr) pEngine->Init(pPath, wcDrive);
    return pEngine;
}
