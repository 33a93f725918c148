#pragma once
// An in-memory device for the carving fuzz targets: the input bytes live in an anonymous
// memory file, read through a real CDiskReader opened on its /proc path, so the judge's
// device reads go through the same code as on a disk.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "carving/file_type_judge.h"
#include "device/disk_reader.h"
#include "util/text.h"

class CCarvingMemoryDisk {
public:
    CCarvingMemoryDisk() {
        m_hMemory = memfd_create("korvalo-fuzz-disk", 0);
        if (m_hMemory < 0) abort();
        m_wstrPath = Path2Unicode(("/proc/self/fd/" + std::to_string(m_hMemory)).c_str());
    }
    ~CCarvingMemoryDisk() { close(m_hMemory); }

    // The device becomes these bytes, zero-padded to whole sectors.
    void Load(const unsigned char* pData, size_t nLen, int nBytesPerSector) {
        size_t nSectors = (nLen + nBytesPerSector - 1) / nBytesPerSector;
        if (ftruncate(m_hMemory, 0) != 0 ||
            ftruncate(m_hMemory, static_cast<off_t>(nSectors * nBytesPerSector)) != 0)
            abort();
        if (nLen > 0 && pwrite(m_hMemory, pData, nLen, 0) != static_cast<ssize_t>(nLen)) abort();
        if (m_reader.Init(&m_wstrPath[0], nSectors) != 0) abort();
        m_nSectors = nSectors;
    }

    // Points the judge context at sector u64Sector of this device.
    void AimAt(unsigned long long u64Sector, int nBytesPerSector) {
        CFileTypeJudge::m_nBytesPerSector = nBytesPerSector;
        CFileTypeJudge::m_pDiskReader = &m_reader;
        CFileTypeJudge::m_u64StartSector = u64Sector;
        CFileTypeJudge::m_u64CurrentSector = u64Sector;
    }

    CDiskReader* Reader() { return &m_reader; }
    size_t SectorCount() const { return m_nSectors; }

private:
    int m_hMemory = -1;
    std::wstring m_wstrPath;
    CDiskReader m_reader;
    size_t m_nSectors = 0;
};
