#pragma once
// CNtfsParse: the record fix-up and the run-list decoder both NTFS engines own one of.
#include <vector>

#include "ntfs/run_list.h"

class CNtfsParse {
public:
    // Sets the fix-up stride to nBytesPerSector (sizes other than 512, 1024, 2048 or 4096 count
    // as 512) and the sectors per record to 2 for 512-byte sectors, else 1. Returns 0.
    int Init(int nBytesPerSector);

    // Puts the saved words (from byte 50 on) back at the end of each sector of the record, in
    // place. The record must hold stride x sectors-per-record bytes. 0, or -1 for a null record
    // or one whose first byte is 0. The update sequence number is not compared here.
    int FileRecordFixUp(unsigned char* pRecord) const;

    // Appends the decoded runs of the non-resident attribute at pAttribute. Reads only the
    // attribute's own bytes (its length field says how many), and nothing at all when that
    // length is not below the stride. Decoding ends at a zero header byte, a header half above 7,
    // or an entry that would run past the attribute; runs decoded before stand.
    void GetRunList(const unsigned char* pAttribute, std::vector<__RUNLIST__>& vecRuns) const;
    // The same without the stride limit, for run lists that fill most of a record (fragmented
    // files): the caller has checked that the attribute's length lies inside its buffer.
    void GetWholeRunList(const unsigned char* pAttribute, std::vector<__RUNLIST__>& vecRuns) const;

    int GetBytesPerSector() const { return m_nBytesPerSector; }
    int GetSectorsPerRecord() const { return m_nSectorsPerRecord; }

private:
    int m_nBytesPerSector = 512;
    int m_nSectorsPerRecord = 2;
};
