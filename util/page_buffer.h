#pragma once
// Memory that system reads copy into, page-aligned like the page cache it is copied from, and
// mapped straight from the system so it leaves the process when freed. A buffer a few bytes
// past a page boundary makes the kernel's copy stall on 4 KiB aliasing between its loads and
// stores: a sweep of a cached image ran a third slower.
#include <sys/mman.h>

#include <cstddef>

class CPageBuffer {
public:
    explicit CPageBuffer(size_t nBytes) : m_nBytes(nBytes) {
        void* p = nBytes == 0 ? MAP_FAILED
                              : mmap(nullptr, nBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        m_pData = p == MAP_FAILED ? nullptr : static_cast<unsigned char*>(p);
    }
    ~CPageBuffer() {
        if (m_pData != nullptr) munmap(m_pData, m_nBytes);
    }
    CPageBuffer(const CPageBuffer&) = delete;
    CPageBuffer& operator=(const CPageBuffer&) = delete;

    // Null when the memory could not be had.
    unsigned char* Get() const { return m_pData; }

private:
    unsigned char* m_pData = nullptr;
    size_t m_nBytes;
};
