#pragma once
// Integer results of every engine operation. Any other positive value is the errno of the
// system call that failed; a progress callback's own non-zero answer is handed back unchanged.
#include <cerrno>

#include "device/read_results.h"

constexpr int KR_SUCCESS = DEVICE_READ_OK;
// Null node, range beyond the area, nothing found.
constexpr int KR_ERROR_INVALID_PARAMETER = DEVICE_INVALID_REQUEST;
// A read returned nothing or met the end of the device.
constexpr int KR_ERROR_READ_FAULT = DEVICE_READ_FAULT;
// A recovery or carving callback asked to stop.
constexpr int KR_STOPPED_BY_USER = -9527;
// A file's data ends before its size (a cluster chain or run list stops early): what was
// written is incomplete, so the file is not recovered.
constexpr int KR_ERROR_DATA_MISSING = ENODATA;
