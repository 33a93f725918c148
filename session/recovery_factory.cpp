#include "session/recovery_factory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>

#include "device/disk_reader.h"
#include "device/volume_tests.h"
#include "session/fast_ext_recovery.h"
#include "session/professional_recovery.h"
#include "util/debug_log.h"
#include "util/disk_map.h"
#include "util/text.h"

namespace {

// Closes the factory's own descriptor on every way out.
class CScopedFd {
public:
    explicit CScopedFd(int hFd) : m_hFd(hFd) {}
    ~CScopedFd() {
        if (m_hFd >= 0) close(m_hFd);
    }
    CScopedFd(const CScopedFd&) = delete;
    CScopedFd& operator=(const CScopedFd&) = delete;
    int Get() const { return m_hFd; }

private:
    int m_hFd;
};

bool ReadProbe(int hFile, unsigned char* pBuf) {
    unsigned int nRead = 0;
    return ReadData(hFile, pBuf, FACTORY_PROBE_BYTES, &nRead) == KR_SUCCESS &&
           nRead == static_cast<unsigned int>(FACTORY_PROBE_BYTES);
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

IFileRecoveryParse* CFileRecoveryFactory::NewEngine(ENGINE_KIND eKind) {
    switch (eKind) {
        case ENGINE_KIND_FAST_EXT:
            return new CFastExtRecovery();
        case ENGINE_KIND_PROFESSIONAL:
            return new CProfessionalRecovery();
        // The fast NTFS and FAT engines are not part of this build yet.
        case ENGINE_KIND_FAST_NTFS:
        case ENGINE_KIND_FAST_FAT:
        case ENGINE_KIND_NONE:
            break;
    }
    return nullptr;
}

IFileRecoveryParse* CFileRecoveryFactory::CreateFileRecoveryInstance(int nDiskNo, long long llStartSector,
                                                                     long long llSectorCount, wchar_t wcDrive,
                                                                     RECOVERY_TYPE eType) {
    CScopedFd disk(rsb_openDisk(nDiskNo));
    if (disk.Get() < 0) {
        DebugLog("Open Failed\n");
        return nullptr;
    }
    std::unique_ptr<unsigned char[]> pHead(new unsigned char[FACTORY_PROBE_BYTES]);
    bool bSeekOk = llStartSector >= 0 && llStartSector <= LLONG_MAX / 512 &&
                   lseek(disk.Get(), static_cast<off_t>(llStartSector * 512), SEEK_SET) >= 0;
    if (!bSeekOk) {
        DebugLog("lseek Failed\n");
        return nullptr;
    }
    if (!ReadProbe(disk.Get(), pHead.get())) {
        DebugLog("read Failed\n");
        return nullptr;
    }
    IFileRecoveryParse* pEngine = NewEngine(ChooseEngineKind(pHead.get(), eType));
    if (pEngine != nullptr) pEngine->Init(nDiskNo, llStartSector, llSectorCount, wcDrive);
    return pEngine;
}

IFileRecoveryParse* CFileRecoveryFactory::CreateFileRecoveryInstance(wchar_t* pPath, wchar_t wcDrive,
                                                                     RECOVERY_TYPE eType) {
    if (pPath == nullptr) return nullptr;
    std::string strPath = Unicode2Path(pPath);
    CScopedFd image(open(strPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (image.Get() < 0) return nullptr;
    std::unique_ptr<unsigned char[]> pHead(new unsigned char[FACTORY_PROBE_BYTES]);
    if (!ReadProbe(image.Get(), pHead.get())) return nullptr;
    IFileRecoveryParse* pEngine = NewEngine(ChooseEngineKind(pHead.get(), eType));
    if (pEngine != nullptr) pEngine->Init(pPath, wcDrive);
    return pEngine;
}
