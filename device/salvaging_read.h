#pragma once
// Reading a stretch of the device so that a bad sector costs only itself: a request that fails
// is asked again in halves, and those in halves, down to single sectors. Both the sweep's
// read-ahead (on its worker thread) and the sweep's own reads go through here.
#include <vector>

#include "device/sector_ranges.h"

class CDiskReader;

// Reads nSectorCount sectors of nBytesPerSector bytes from u64FirstSector into pBuf. Sectors that
// stay unreadable one at a time, and those past the end of the device's data, are zero-filled
// and added to vecUnreadable (merged, sorted). Returns 0 when every sector arrived; 30 when some
// did not (nError then gets errno of the first failed read, 0 when the data ended); 87 when the
// reader refused the request (nothing read, nothing added).
int ReadSalvaging(const CDiskReader& reader, unsigned char* pBuf, int nSectorCount, unsigned long long u64FirstSector,
                  int nBytesPerSector, std::vector<SECTOR_RANGE>& vecUnreadable, int& nError);
