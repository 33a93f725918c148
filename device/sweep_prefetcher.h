#pragma once
// Read-ahead for a sweep that walks the device in fixed-size chunks. A second thread reads the
// chunks that follow the one being parsed, in large requests, so the wait for the disk (or the
// copy out of the page cache) overlaps the parsing. A chunk that cannot be read whole is read
// again in halves down to single sectors (device/salvaging_read.h), so a bad sector costs only
// itself: every chunk handed out holds every sector that could be read, zeros for the rest, and
// the list of the sectors that could not.
//
// The sweep mostly asks for the next chunk in line; when it jumps (past a carved file, to the
// next free run) the read-ahead starts over at the new place.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/sector_ranges.h"
#include "util/page_buffer.h"

class CDiskReader;

class CSweepPrefetcher {
public:
    // nChunkSectors: the sweep's full chunk size in sectors. The reader must outlive this object.
    CSweepPrefetcher(const CDiskReader& reader, int nBytesPerSector, int nChunkSectors);
    ~CSweepPrefetcher();
    CSweepPrefetcher(const CSweepPrefetcher&) = delete;
    CSweepPrefetcher& operator=(const CSweepPrefetcher&) = delete;

    // The nSectors sectors (at most one chunk) at u64Sector, where the sweep will not ask for
    // anything at or past u64RunEnd before it asks with another run end. Returns the chunk, which
    // stays valid and may be written to until the next call. *pnResult: 0 when every sector was
    // read; 30 when some could not be: they are zeros in the chunk and *pvecUnreadable lists
    // them (absolute sectors, merged; cleared first, empty otherwise), and the read's log line is
    // written here, on the caller's thread; 87 when the request passes the reader's limit or is
    // more than one chunk (nothing read). On 0 and 30 *pnReadSectors gets nSectors: the whole
    // chunk holds defined bytes. Read-ahead serves full chunks inside the run and the short last
    // one; any other request is read when asked.
    unsigned char* Fetch(unsigned long long u64Sector, int nSectors, unsigned long long u64RunEnd,
                         unsigned int* pnReadSectors, int* pnResult,
                         std::vector<SECTOR_RANGE>* pvecUnreadable = nullptr);

private:
    struct Block;
    struct Chunk {
        unsigned char* pData = nullptr;
        unsigned int nRead = 0;
        int nResult = 0;
        int nError = 0;
        const std::vector<SECTOR_RANGE>* pUnreadable = nullptr;
    };
    enum class Served { Done, Wait, Restart };

    void ReadAhead();
    void ReadBlock(Block& block) const;
    void RestartLocked(unsigned long long u64Sector, unsigned long long u64RunEnd);
    Served ServeLocked(unsigned long long u64Sector, int nSectors, Chunk& chunk);

    const CDiskReader& m_reader;
    const int m_nBytesPerSector;
    const int m_nChunkSectors;

    std::mutex m_mutex;
    std::condition_variable m_cvWorker;    // room in the ring, a restart, or the end
    std::condition_variable m_cvConsumer;  // a block became ready
    std::unique_ptr<CPageBuffer> m_pRingMemory;  // every block's bytes, page-aligned
    std::vector<std::unique_ptr<Block>> m_ring;
    size_t m_nHead = 0;    // the oldest ready block (the one the sweep is on)
    size_t m_nReady = 0;   // ready blocks from m_nHead on
    unsigned long long m_u64Generation = 0;  // bumped by each restart; stale reads are dropped
    unsigned long long m_u64NextSector = 0;  // where the next block to read starts
    unsigned long long m_u64ReadyEnd = 0;    // where the ready blocks end
    unsigned long long m_u64RunEnd = 0;      // read-ahead stays below this
    bool m_bStarted = false;
    bool m_bStop = false;
    std::thread m_worker;
    std::vector<unsigned char> m_vecDirect;  // for chunks read without the read-ahead
    std::vector<SECTOR_RANGE> m_vecDirectUnreadable;
};
