#pragma once
// Pure tests and defaults for NTFS file records. They never write to the buffer.

// True when buf starts with "FILE" (buf must hold 4 bytes; null is never a record).
bool HasNtfsFileSignature(const unsigned char* buf);

// True when the bytes start a file record of nRecordSize bytes: the "FILE" signature, bytes in
// use not above nRecordSize, bytes allocated equal to it, and the update sequence number equal
// to the last word of the first 512-byte sector. Reads only the first 512 bytes, so buf must
// hold min(nRecordSize, 512) bytes; a record size below 512 is never a record.
bool IsNtfsFileRecord(unsigned char* buf, int nRecordSize);

// The sectors per cluster that formatting picks by default for a volume of u64SectorCount
// sectors of nBytesPerSector bytes (used when no boot sector tells).
unsigned int GetDefaultNtfsSectorPerCluster(unsigned long long u64SectorCount, unsigned int nBytesPerSector);

// True for a sectors-per-cluster value (in 512-byte sectors) NTFS can have: a power of two up to
// 4096 (2 MiB clusters). A torn or foreign boot sector or record must not set another.
bool IsUsableNtfsSectorsPerCluster(unsigned long long u64Value);
