#include "util/rsb.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

const int kInvalidParameter = 87;
const int kBreakdownFailed = 34;  // ERANGE: the time does not fit a calendar date

typedef struct tm* (*BREAKDOWN)(const time_t*, struct tm*);

int FillSystemTime(SYSTEMTIME* pTime, BREAKDOWN pBreakdown) {
    if (pTime == nullptr) return kInvalidParameter;
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    time_t tSeconds = tv.tv_sec;
    struct tm tmParts;
    if (pBreakdown(&tSeconds, &tmParts) == nullptr) return kBreakdownFailed;
    pTime->wYear = static_cast<uint16_t>(tmParts.tm_year + 1900);
    pTime->wMonth = static_cast<uint16_t>(tmParts.tm_mon + 1);
    pTime->wDay = static_cast<uint16_t>(tmParts.tm_mday);
    pTime->wDayOfWeek = static_cast<uint16_t>(tmParts.tm_wday);
    pTime->wHour = static_cast<uint16_t>(tmParts.tm_hour);
    pTime->wMinute = static_cast<uint16_t>(tmParts.tm_min);
    pTime->wSecond = static_cast<uint16_t>(tmParts.tm_sec);
    pTime->wMilliseconds = static_cast<uint16_t>(tv.tv_usec / 1000);
    return 0;
}

}  // namespace

int rsb_getLocalTime(SYSTEMTIME* pTime) {
    return FillSystemTime(pTime, localtime_r);
}

int rsb_getSystemTime(SYSTEMTIME* pTime) {
    return FillSystemTime(pTime, gmtime_r);
}

long long rsb_getTickCount() {
    // The same elapsed real time in milliseconds that times() counts, read from the coarse
    // monotonic clock: it is served without a system call, and the sweep asks once per chunk.
    struct timespec tsNow;
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &tsNow) != 0) return 0;
    return static_cast<long long>(tsNow.tv_sec) * 1000 + tsNow.tv_nsec / 1000000;
}

int rsb_msleep(int nMs) {
    struct timespec tsWait;
    tsWait.tv_sec = nMs / 1000;
    tsWait.tv_nsec = static_cast<long>(nMs % 1000) * 1000000L;
    struct timespec tsLeft;
    int nResult;
    // A signal would otherwise cut the wait short and callers would poll too fast.
    while ((nResult = nanosleep(&tsWait, &tsLeft)) != 0 && errno == EINTR) tsWait = tsLeft;
    return nResult;
}

int rsb_statH(int fd, STRUCT_RSB_FILE_ATTR* pAttr) {
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0) return -1;
    if (pAttr == nullptr) return 0;
    memset(pAttr, 0, sizeof(*pAttr));
    uint64_t u64Size = static_cast<uint64_t>(st.st_size);
    pAttr->u32Mode = static_cast<uint32_t>(st.st_mode);
    pAttr->u32Uid = static_cast<uint32_t>(st.st_uid);
    pAttr->u32Gid = static_cast<uint32_t>(st.st_gid);
    pAttr->u32SizeHigh = static_cast<uint32_t>(u64Size >> 32);
    pAttr->u32SizeLow = static_cast<uint32_t>(u64Size);
    pAttr->i64AccessTime = static_cast<int64_t>(st.st_atime);
    pAttr->i64ModifyTime = static_cast<int64_t>(st.st_mtime);
    pAttr->i64ChangeTime = static_cast<int64_t>(st.st_ctime);
    pAttr->u64RDev = static_cast<uint64_t>(st.st_rdev);
    pAttr->u64Inode = static_cast<uint64_t>(st.st_ino);
    pAttr->u64LinkCount = static_cast<uint64_t>(st.st_nlink);
    return 0;
}

int rsb_getFileSizeH(int fd, int* pLow, int* pHigh) {
    if (fd < 0 || pLow == nullptr) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0) return -1;
    uint64_t u64Size = static_cast<uint64_t>(st.st_size);
    // fstat reports 0 for a block device; ask the device itself (keeps the file position).
    if (S_ISBLK(st.st_mode) && ioctl(fd, BLKGETSIZE64, &u64Size) != 0) return -1;
    *pLow = static_cast<int>(static_cast<uint32_t>(u64Size));
    if (pHigh != nullptr) *pHigh = static_cast<int>(static_cast<uint32_t>(u64Size >> 32));
    return 0;
}

int rsb_getFreeSpace(char* szPath, int /*nUnused*/, unsigned int* pHigh, unsigned int* pLow) {
    if (szPath == nullptr || pHigh == nullptr || pLow == nullptr) return kInvalidParameter;
    *pHigh = 0;
    *pLow = 0;
    if (szPath[0] != '/') return 0;
    struct statvfs sv;
    // Every retry makes the path strictly shorter, so the loop ends at "/" at the latest.
    while (statvfs(szPath, &sv) != 0) {
        if (strlen(szPath) < 2) return -1;
        char* pLastSlash = strrchr(szPath, '/');
        if (pLastSlash == szPath)
            szPath[1] = '\0';
        else
            *pLastSlash = '\0';
    }
    uint64_t u64Free = static_cast<uint64_t>(sv.f_bavail) * static_cast<uint64_t>(sv.f_frsize);
    *pHigh = static_cast<unsigned int>(u64Free >> 32);
    *pLow = static_cast<unsigned int>(u64Free);
    return 0;
}
