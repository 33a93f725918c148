#include "device/sweep_prefetcher.h"

#include <algorithm>
#include <system_error>

#include "device/disk_reader.h"
#include "device/salvaging_read.h"

namespace {
// Chunks per read-ahead request and requests kept ready: with 64 KiB chunks that is 512 KiB
// reads and 2 MiB of buffers, whatever the size of the device.
constexpr int BLOCK_CHUNKS = 8;
constexpr size_t RING_BLOCKS = 4;
}  // namespace

struct CSweepPrefetcher::Block {
    unsigned char* pData = nullptr;  // inside the ring's memory
    unsigned long long u64Generation = 0;
    unsigned long long u64First = 0;
    unsigned long long u64Sectors = 0;
    int nChunks = 0;
    // Per chunk: sectors asked for, sectors it holds, the read's result, errno and what could
    // not be read.
    int anSectors[BLOCK_CHUNKS] = {};
    unsigned int anRead[BLOCK_CHUNKS] = {};
    int anResult[BLOCK_CHUNKS] = {};
    int anError[BLOCK_CHUNKS] = {};
    std::vector<SECTOR_RANGE> avecUnreadable[BLOCK_CHUNKS];
};

CSweepPrefetcher::CSweepPrefetcher(const CDiskReader& reader, int nBytesPerSector, int nChunkSectors)
    : m_reader(reader), m_nBytesPerSector(nBytesPerSector), m_nChunkSectors(nChunkSectors) {
    if (nBytesPerSector <= 0 || nChunkSectors <= 0) return;  // every Fetch then reads directly
    const size_t nBlockBytes = static_cast<size_t>(BLOCK_CHUNKS) * static_cast<size_t>(nChunkSectors) *
                               static_cast<size_t>(nBytesPerSector);
    m_pRingMemory = std::make_unique<CPageBuffer>(nBlockBytes * RING_BLOCKS);
    if (m_pRingMemory->Get() == nullptr) return;  // no memory for read-ahead: every Fetch reads directly
    for (size_t i = 0; i < RING_BLOCKS; ++i) {
        m_ring.push_back(std::make_unique<Block>());
        m_ring.back()->pData = m_pRingMemory->Get() + i * nBlockBytes;
    }
    try {
        m_worker = std::thread(&CSweepPrefetcher::ReadAhead, this);
    } catch (const std::system_error&) {
        m_ring.clear();  // no thread to be had: read each chunk when it is asked for
    }
}

CSweepPrefetcher::~CSweepPrefetcher() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cvWorker.notify_one();
    if (m_worker.joinable()) m_worker.join();
}

void CSweepPrefetcher::ReadAhead() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cvWorker.wait(lock, [this] {
            return m_bStop || (m_bStarted && m_nReady < m_ring.size() && m_u64NextSector < m_u64RunEnd);
        });
        if (m_bStop) return;
        // The slot after the ready ones: the sweep never looks at it until it is counted ready.
        Block& block = *m_ring[(m_nHead + m_nReady) % m_ring.size()];
        block.u64Generation = m_u64Generation;
        block.u64First = m_u64NextSector;
        block.nChunks = 0;
        unsigned long long u64Sector = block.u64First;
        while (block.nChunks < BLOCK_CHUNKS && u64Sector < m_u64RunEnd) {
            unsigned long long u64Left = m_u64RunEnd - u64Sector;
            int nSectors = u64Left < static_cast<unsigned long long>(m_nChunkSectors) ? static_cast<int>(u64Left)
                                                                                      : m_nChunkSectors;
            block.anSectors[block.nChunks++] = nSectors;
            u64Sector += static_cast<unsigned long long>(nSectors);
        }
        block.u64Sectors = u64Sector - block.u64First;
        m_u64NextSector = u64Sector;

        lock.unlock();
        ReadBlock(block);
        lock.lock();
        if (block.u64Generation != m_u64Generation) continue;  // the sweep went elsewhere meanwhile
        m_u64ReadyEnd = block.u64First + block.u64Sectors;
        ++m_nReady;
        m_cvConsumer.notify_one();
    }
}

void CSweepPrefetcher::ReadBlock(Block& block) const {
    unsigned int nRead = 0;
    int nResult = m_reader.ReadDataAt(block.pData, static_cast<int>(block.u64Sectors),
                                      static_cast<long long>(block.u64First), m_nBytesPerSector, &nRead, nullptr);
    unsigned long long u64Offset = 0;
    for (int i = 0; i < block.nChunks; ++i) {
        const unsigned long long u64End = u64Offset + static_cast<unsigned long long>(block.anSectors[i]);
        block.anError[i] = 0;
        block.avecUnreadable[i].clear();
        if (nResult == DEVICE_READ_OK || nRead >= u64End) {
            block.anResult[i] = DEVICE_READ_OK;
        } else {
            // The large request stopped at or before this chunk: the chunk is read on its own,
            // and a bad spot in it costs no more than its own sectors.
            block.anResult[i] = ReadSalvaging(
                m_reader, block.pData + u64Offset * static_cast<unsigned long long>(m_nBytesPerSector),
                block.anSectors[i], block.u64First + u64Offset, m_nBytesPerSector, block.avecUnreadable[i],
                block.anError[i]);
        }
        block.anRead[i] =
            block.anResult[i] == DEVICE_INVALID_REQUEST ? 0 : static_cast<unsigned int>(block.anSectors[i]);
        u64Offset = u64End;
    }
}

void CSweepPrefetcher::RestartLocked(unsigned long long u64Sector, unsigned long long u64RunEnd) {
    ++m_u64Generation;
    m_nReady = 0;
    m_u64NextSector = m_u64ReadyEnd = u64Sector;
    m_u64RunEnd = u64RunEnd;
    m_bStarted = true;
    m_cvWorker.notify_one();
}

CSweepPrefetcher::Served CSweepPrefetcher::ServeLocked(unsigned long long u64Sector, int nSectors,
                                                       Chunk& chunk) {
    while (m_nReady > 0) {
        Block& block = *m_ring[m_nHead];
        if (u64Sector >= block.u64First + block.u64Sectors) {
            // The sweep has moved past this block: its slot can be read into again.
            m_nHead = (m_nHead + 1) % m_ring.size();
            --m_nReady;
            m_cvWorker.notify_one();
            continue;
        }
        if (u64Sector < block.u64First) return Served::Restart;
        const unsigned long long u64Offset = u64Sector - block.u64First;
        if (u64Offset % static_cast<unsigned long long>(m_nChunkSectors) != 0) return Served::Restart;
        const size_t nIndex = static_cast<size_t>(u64Offset / static_cast<unsigned long long>(m_nChunkSectors));
        if (block.anSectors[nIndex] != nSectors) return Served::Restart;
        chunk.pData = block.pData + u64Offset * static_cast<unsigned long long>(m_nBytesPerSector);
        chunk.nRead = block.anRead[nIndex];
        chunk.nResult = block.anResult[nIndex];
        chunk.nError = block.anError[nIndex];
        chunk.pUnreadable = &block.avecUnreadable[nIndex];
        return Served::Done;
    }
    // Nothing ready: wait only when the block being read starts with this very chunk.
    return u64Sector == m_u64ReadyEnd ? Served::Wait : Served::Restart;
}

unsigned char* CSweepPrefetcher::Fetch(unsigned long long u64Sector, int nSectors, unsigned long long u64RunEnd,
                                       unsigned int* pnReadSectors, int* pnResult,
                                       std::vector<SECTOR_RANGE>* pvecUnreadable) {
    Chunk chunk;
    // The read-ahead plans full chunks, and a shorter one only where the run ends.
    const bool bPlanned = u64Sector < u64RunEnd &&
                          static_cast<unsigned long long>(nSectors) ==
                              std::min<unsigned long long>(static_cast<unsigned long long>(m_nChunkSectors),
                                                           u64RunEnd - u64Sector);
    if (nSectors > m_nChunkSectors) {
        chunk.nResult = DEVICE_INVALID_REQUEST;  // more than one chunk was never asked for
    } else if (m_ring.empty() || !bPlanned) {
        // Outside what the read-ahead plans for: read it here and now.
        const size_t nBytes = nSectors > 0 && m_nBytesPerSector > 0
                                  ? static_cast<size_t>(nSectors) * static_cast<size_t>(m_nBytesPerSector)
                                  : 0;
        if (nBytes > m_vecDirect.size()) m_vecDirect.resize(nBytes);
        chunk.pData = m_vecDirect.empty() ? nullptr : m_vecDirect.data();
        m_vecDirectUnreadable.clear();
        chunk.nResult = ReadSalvaging(m_reader, chunk.pData, nSectors, u64Sector, m_nBytesPerSector,
                                      m_vecDirectUnreadable, chunk.nError);
        chunk.nRead = chunk.nResult == DEVICE_INVALID_REQUEST ? 0 : static_cast<unsigned int>(nSectors);
        chunk.pUnreadable = &m_vecDirectUnreadable;
    } else {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_bStarted || u64RunEnd != m_u64RunEnd) RestartLocked(u64Sector, u64RunEnd);
        for (;;) {
            Served served = ServeLocked(u64Sector, nSectors, chunk);
            if (served == Served::Done) break;
            if (served == Served::Restart) RestartLocked(u64Sector, u64RunEnd);
            m_cvConsumer.wait(lock);
        }
    }
    if (chunk.nResult == DEVICE_READ_FAULT) LogReadFault(chunk.nError);
    if (pnReadSectors != nullptr && (chunk.nResult == DEVICE_READ_OK || chunk.nResult == DEVICE_READ_FAULT))
        *pnReadSectors = chunk.nRead;
    if (pnResult != nullptr) *pnResult = chunk.nResult;
    if (pvecUnreadable != nullptr) {
        pvecUnreadable->clear();
        if (chunk.pUnreadable != nullptr)
            pvecUnreadable->insert(pvecUnreadable->end(), chunk.pUnreadable->begin(), chunk.pUnreadable->end());
    }
    return chunk.pData;
}
