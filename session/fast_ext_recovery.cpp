#include "session/fast_ext_recovery.h"

#include <cerrno>

int CFastExtRecovery::Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t) {
    int nRet = m_DiskReader.Init(nDiskNo, static_cast<unsigned long long>(llStartSector + llSectorCount));
    if (nRet != KR_SUCCESS) return nRet;
    m_llStartSector = llStartSector;
    m_llSectorCount = llSectorCount;
    return KR_SUCCESS;
}

int CFastExtRecovery::Init(wchar_t*, wchar_t) {
    return KR_SUCCESS;
}

int CFastExtRecovery::InitCallBack(SCAN_CALLBACK, RECOVERY_CALLBACK, void*, int) {
    return KR_SUCCESS;
}

int CFastExtRecovery::ScanDevice(wchar_t*) {
    return KR_SUCCESS;
}

int CFastExtRecovery::GetChildrenFileNode(_FILE_NODE_*, unsigned int, std::vector<_FILE_NODE_>&) {
    return KR_SUCCESS;
}

int CFastExtRecovery::GetChildrenFileCount(_FILE_NODE_*, unsigned int, unsigned int&) {
    return KR_SUCCESS;
}

unsigned long long CFastExtRecovery::GetLostFileCount() {
    return 0;
}

int CFastExtRecovery::GetFileNodeParentDirPath(_FILE_NODE_*, wchar_t*, int) {
    return KR_SUCCESS;
}

int CFastExtRecovery::SaveFileData(_FILE_NODE_*, wchar_t*, int) {
    return KR_SUCCESS;
}

int CFastExtRecovery::GetUnUsedSectorCount(unsigned long long&, unsigned long long& u64SectorCount) {
    // No map of free space: no free runs to offer.
    u64SectorCount = 0;
    return KR_SUCCESS;
}

int CFastExtRecovery::InitSearchCallBack(SEARCH_CALLBACK, void*) {
    return KR_SUCCESS;
}

int CFastExtRecovery::SearchFileNode(wchar_t*, std::vector<__SEARCH_FILE_INFO__>&) {
    return KR_SUCCESS;
}

int CFastExtRecovery::BuildBitMapInfo() {
    // Claiming a bitmap here would make the deep scan sweep only the (empty) list of free runs,
    // i.e. nothing at all. Saying "no bitmap" makes it sweep the whole area.
    return ENOTSUP;
}

int CFastExtRecovery::PreView(_FILE_NODE_*, wchar_t*, unsigned char*, int& nBufLen, PREVIEW_CALLBACK, void*) {
    // Nothing was placed in the buffer; leaving the capacity here would show stale bytes.
    nBufLen = 0;
    return KR_SUCCESS;
}
