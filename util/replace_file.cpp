#include "util/replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "util/safe_writer.h"

int ReplaceFileWhole(const std::string& strPath, const void* pData, size_t nLen) {
    const std::string strTmp = strPath + ".tmp";
    // Whatever sat at the temporary name (a link, a file linked elsewhere) is dropped rather than
    // written through.
    if (unlink(strTmp.c_str()) != 0 && errno != ENOENT) return errno;
    const int hFile = open(strTmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (hFile < 0) return errno;
    int nResult = WriteAll(hFile, pData, nLen);
    if (nResult == 0 && fsync(hFile) != 0) nResult = errno;
    if (close(hFile) != 0 && nResult == 0) nResult = errno;
    if (nResult == 0 && rename(strTmp.c_str(), strPath.c_str()) != 0) nResult = errno;
    if (nResult != 0) unlink(strTmp.c_str());
    return nResult;
}
