#pragma once
// The outcome of a session step, and failures of single files in words. The numbers of
// SESSION_RESULT are the command line's exit statuses.
#include <string>

enum SESSION_RESULT {
    SESSION_OK = 0,
    SESSION_BAD_REQUEST = 1,      // an area or option that does not fit the source
    SESSION_CANNOT_OPEN = 2,      // the source (or the destination) cannot be opened or read
    SESSION_STOPPED = 3,          // the user asked to stop
    SESSION_SOME_FAILED = 4,      // some chosen files were not recovered
    SESSION_REFUSED = 5,          // the destination lies, or may lie, on the source
    SESSION_NO_WORK_FOLDER = 6,   // no place off the source for the scan's stores, or they cannot be written
    SESSION_UNREADABLE = 7,       // done, but some sectors could not be read (files may be partial)
};

// Why a file was not recovered, from the engines' result code: "cannot read its sectors on the
// source", "destination full", "name refused", ... Never empty.
std::string DescribeRecoveryError(int nResult);
