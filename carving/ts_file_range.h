#pragma once
// One transport stream already carved in this scan, so a later packet of it is not taken for a
// new stream head.

struct _TS_FILE_RANGE_ {
    unsigned long long u64StartSector;  // absolute sector of the stream's head
    unsigned long long u64EndSector;    // absolute sector of its last byte (inclusive)
};
