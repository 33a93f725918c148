#include "session/recovery_result.h"

#include <cstring>

#include "engine/result_codes.h"
#include "fat/fat_file_data.h"
#include "ntfs/ntfs_records.h"

std::string DescribeRecoveryError(int nResult) {
    switch (nResult) {
    case KR_SUCCESS:
        return "recovered";
    case KR_STOPPED_BY_USER:
        return "stopped";
    // The destination is checked to be writable before anything is recovered, so 30 is the
    // engines' failed read, never a read-only destination.
    case KR_ERROR_READ_FAULT:
        return "cannot read its sectors on the source";
    case KR_ERROR_INVALID_PARAMETER:
        return "its data lies outside the area that was read";
    case KR_ERROR_DATA_MISSING:
        return "its data ends before its size (clusters or runs are missing)";
    case FAT_ERROR_CLUSTER_TOO_LARGE:
        return "its cluster size is not plausible";
    case NTFS_ERROR_NO_SIGNATURE:
        return "its file record is no longer there";
    case NTFS_ERROR_ATTRIBUTE_NOT_FOUND:
    case NTFS_ERROR_NO_RESIDENT_DATA:
        return "its file record holds no data";
    case ENOSPC:
    case EDQUOT:
        return "destination full";
    case ENAMETOOLONG:
    case EILSEQ:
    case EINVAL:
    case EEXIST:
        return "name refused by the destination";
    case EACCES:
    case EPERM:
        return "no permission to write in the destination";
    case EIO:
        return "input/output error";
    default:
        break;
    }
    if (nResult > 0) return strerror(nResult);
    return "error " + std::to_string(nResult);
}
