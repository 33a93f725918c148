#pragma once
// Reads the start of a device area, decides which engine fits and makes it.
#include "engine/recovery_parse.h"

// Bytes read at the start of an area to decide.
constexpr int FACTORY_PROBE_BYTES = 16384;

enum ENGINE_KIND {
    ENGINE_KIND_NONE,
    ENGINE_KIND_FAST_NTFS,
    ENGINE_KIND_FAST_FAT,
    ENGINE_KIND_FAST_EXT,
    ENGINE_KIND_PROFESSIONAL,
};

class CFileRecoveryFactory {
public:
    static CFileRecoveryFactory& GetInstance();

    // A new engine owned by the caller, or null.
    IFileRecoveryParse* CreateFileRecoveryInstance(int nDiskNo, long long llStartSector, long long llSectorCount,
                                                   wchar_t wcDrive, RECOVERY_TYPE eType);
    IFileRecoveryParse* CreateFileRecoveryInstance(wchar_t* pPath, wchar_t wcDrive, RECOVERY_TYPE eType);

    // The decision table: the first volume test that holds picks the fast engine; the
    // professional kind is always the deep scan.
    static ENGINE_KIND DecideEngineKind(bool bIsNtfs, bool bIsFat, bool bIsExt, RECOVERY_TYPE eType);
    // The same applied to FACTORY_PROBE_BYTES bytes read at the start of an area.
    static ENGINE_KIND ChooseEngineKind(unsigned char* pHead, RECOVERY_TYPE eType);
    // A new, not yet initialised engine of that kind; null for ENGINE_KIND_NONE and for kinds
    // this build does not have.
    static IFileRecoveryParse* NewEngine(ENGINE_KIND eKind);

    // Benchmarks measure the deep scan without its fast pass: with the fast engines off, the
    // factory makes none and every scan sweeps its whole area. Not reachable from any front end.
    static void SetFastEnginesEnabled(bool bEnabled);

private:
    CFileRecoveryFactory() = default;
};
