#pragma once
// The rsb_ system-service layer: wall-clock times, a millisecond tick, sleeping, attributes
// of open files and free space of a file system.
#include <cstdint>

struct SYSTEMTIME {
    uint16_t wYear;          // e.g. 2024
    uint16_t wMonth;         // 1-12
    uint16_t wDay;           // day of the month, 1-31 (comes before the day of the week)
    uint16_t wDayOfWeek;     // 0 = Sunday
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};

// Filled by rsb_statH. Only the size halves are read elsewhere; the rest mirrors fstat.
struct STRUCT_RSB_FILE_ATTR {
    uint32_t u32Reserved1;   // always 0
    uint32_t u32Mode;        // st_mode bits
    uint32_t u32Uid;
    uint32_t u32Gid;
    uint32_t u32SizeHigh;    // file size = high * 2^32 + low
    uint32_t u32SizeLow;
    int64_t i64AccessTime;   // seconds since 1970
    int64_t i64ModifyTime;
    int64_t i64ChangeTime;
    uint32_t u32Reserved2;   // always 0
    uint64_t u64RDev;        // device id of a special file
    uint64_t u64Inode;
    uint64_t u64LinkCount;
};

// Current local / UTC time with milliseconds. 0, 87 for a null record, 34 when the
// calendar breakdown fails.
int rsb_getLocalTime(SYSTEMTIME* pTime);
int rsb_getSystemTime(SYSTEMTIME* pTime);

// Milliseconds of elapsed real time on an arbitrary origin; only differences mean anything.
long long rsb_getTickCount();

// Sleeps nMs milliseconds (resuming after signals). Returns nanosleep's result: 0, or -1 for a
// negative time.
int rsb_msleep(int nMs);

// Attributes of an open file; pAttr may be null (then only the query is made).
// 0, or -1 for a negative descriptor or a failed query.
int rsb_statH(int fd, STRUCT_RSB_FILE_ATTR* pAttr);

// Size of an open file (block devices too) as low and, when pHigh is not null, high 32 bits.
// 0, or -1 when pLow is null or the query fails.
int rsb_getFileSizeH(int fd, int* pLow, int* pHigh);

// Free bytes available to unprivileged users on the file system holding szPath, as high and
// low 32 bits. A path that cannot be queried is shortened at its last "/" until one can:
// szPath is modified. A path not beginning with "/" gives 0 bytes and result 0.
// Returns 0; -1 when even a path shorter than 2 characters fails; 87 for null arguments.
int rsb_getFreeSpace(char* szPath, int nUnused, unsigned int* pHigh, unsigned int* pLow);
