// Odd paths through the path helpers: split, extension, level count and destination naming.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "util/path.h"
#include "util/text.h"

namespace {

const char* const kTakenNames[] = {"a.jpg", "a(1).jpg", "noext", "x.tar.gz"};
char g_szFolder[] = "/tmp/korvalo-fuzz-XXXXXX";

void RemoveFuzzFolder() {
    for (const char* szName : kTakenNames) unlink((std::string(g_szFolder) + "/" + szName).c_str());
    rmdir(g_szFolder);
}

// One folder for the whole run, with a few names already taken, so GetRealFileName has to count.
const std::string& FuzzFolder() {
    static const std::string strFolder = [] {
        if (mkdtemp(g_szFolder) == nullptr) abort();
        atexit(RemoveFuzzFolder);
        for (const char* szName : kTakenNames) {
            int fd = open((std::string(g_szFolder) + "/" + szName).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            if (fd >= 0) close(fd);
        }
        return std::string(g_szFolder);
    }();
    return strFolder;
}

void CheckTerminated(const char* szPart) {
    if (strnlen(szPart, KORVALO_PATH_PART_SIZE) >= static_cast<size_t>(KORVALO_PATH_PART_SIZE)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    std::string strPath(reinterpret_cast<const char*>(pData), nSize);  // c_str() stops at a NUL
    const char* szPath = strPath.c_str();

    char szDrive[KORVALO_PATH_PART_SIZE], szDir[KORVALO_PATH_PART_SIZE];
    char szFname[KORVALO_PATH_PART_SIZE], szExt[KORVALO_PATH_PART_SIZE];
    _splitpath(szPath, szDrive, szDir, szFname, szExt);
    CheckTerminated(szDrive);
    CheckTerminated(szDir);
    CheckTerminated(szFname);
    CheckTerminated(szExt);
    // Short parts put together give the path back.
    size_t nLen = strlen(szPath);
    if (nLen < KORVALO_PATH_PART_SIZE && std::string(szDir) + szFname + szExt != szPath) abort();

    char szExtOnly[KORVALO_PATH_PART_SIZE];
    if (GetExtendName(szPath, szExtOnly) == 0) CheckTerminated(szExtOnly);

    // The same bytes as record text (GB18030) and as an OS path (UTF-8).
    std::wstring strWide = Ansi2Unicode(szPath);
    int nCount = 0;
    GetPathDirIndex(strWide.c_str(), nCount);
    if (nCount < 0 || static_cast<size_t>(nCount) > strWide.size()) abort();
    wchar_t wszSmall[16];
    Ansi2Unicode(szPath, wszSmall, 16);
    std::string strBack = Unicode2Ansi(strWide.c_str());
    char szSmall[8];
    Unicode2Ansi(strWide.c_str(), szSmall, sizeof(szSmall));
    if (strlen(szSmall) >= sizeof(szSmall) || strBack.compare(0, strlen(szSmall), szSmall) != 0) abort();
    GetPathDirIndex(Path2Unicode(szPath).c_str(), nCount);

    // Inside the fixed folder, so existence tests only look there (".." may climb, harmlessly).
    std::string strFull = FuzzFolder() + "/" + szPath;
    size_t nCapacity = (nSize & 1) != 0 ? 8 : 4096;
    std::vector<wchar_t> vecOut(nCapacity + 1, L'#');
    int nResult = GetRealFileName(strFull.c_str(), vecOut.data(), static_cast<int>(nCapacity));
    if (vecOut[nCapacity] != L'#') abort();
    if (nResult != 0 && vecOut[0] != L'#') abort();  // a refusal writes nothing
    if (nResult == 0 && wcslen(vecOut.data()) >= nCapacity) abort();
    return 0;
}
