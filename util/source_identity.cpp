#include "util/source_identity.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

namespace {

constexpr size_t HEAD_BYTES = 1 << 20;
constexpr size_t SAMPLE_BYTES = 4096;
constexpr unsigned SAMPLES = 16;

// 64-bit FNV-1a: no security is asked of it, only that different sources differ.
class CFingerprint {
public:
    void Add(const void* pData, size_t nLen) {
        const unsigned char* p = static_cast<const unsigned char*>(pData);
        for (size_t i = 0; i < nLen; ++i) m_u64Hash = (m_u64Hash ^ p[i]) * 0x100000001b3ULL;
    }
    void AddNumber(unsigned long long u64Value) { Add(&u64Value, sizeof(u64Value)); }
    unsigned long long Value() const { return m_u64Hash != 0 ? m_u64Hash : 1; }  // 0 means "unknown"

private:
    unsigned long long m_u64Hash = 0xcbf29ce484222325ULL;
};

// Adds nLen bytes from u64Offset; a failed read adds its errno instead, so a sector that keeps
// failing is part of the fingerprint too.
void AddBytesAt(int hFile, unsigned long long u64Offset, size_t nLen, unsigned char* pBuf, CFingerprint& print) {
    size_t nDone = 0;
    while (nDone < nLen) {
        const ssize_t nRead = pread(hFile, pBuf + nDone, nLen - nDone, static_cast<off_t>(u64Offset + nDone));
        if (nRead < 0 && errno == EINTR) continue;
        if (nRead <= 0) {
            print.AddNumber(nRead < 0 ? static_cast<unsigned long long>(errno) : 0);
            break;
        }
        nDone += static_cast<size_t>(nRead);
    }
    print.Add(pBuf, nDone);
}

}  // namespace

std::string CanonicalSourcePath(const std::string& strPath) {
    if (strPath.empty()) return strPath;
    char szResolved[PATH_MAX];
    if (realpath(strPath.c_str(), szResolved) != nullptr) return szResolved;
    if (strPath[0] == '/') return strPath;
    char szCwd[PATH_MAX];
    if (getcwd(szCwd, sizeof(szCwd)) == nullptr) return strPath;
    return std::string(szCwd) + "/" + strPath;
}

unsigned long long SourceFingerprint(const char* szPath) {
    if (szPath == nullptr || szPath[0] == '\0') return 0;
    const int hFile = open(szPath, O_RDONLY | O_CLOEXEC);
    if (hFile < 0) return 0;
    CFingerprint print;
    struct stat st;
    if (fstat(hFile, &st) == 0) {
        if (S_ISBLK(st.st_mode)) {
            print.AddNumber(st.st_rdev);
        } else {
            print.AddNumber(st.st_dev);
            print.AddNumber(st.st_ino);
            print.AddNumber(static_cast<unsigned long long>(st.st_mtim.tv_sec));
            print.AddNumber(static_cast<unsigned long long>(st.st_mtim.tv_nsec));
        }
    }
    const off_t llEnd = lseek(hFile, 0, SEEK_END);
    const unsigned long long u64Size = llEnd > 0 ? static_cast<unsigned long long>(llEnd) : 0;
    print.AddNumber(u64Size);

    std::unique_ptr<unsigned char[]> pBuf(new unsigned char[HEAD_BYTES]);
    AddBytesAt(hFile, 0, static_cast<size_t>(std::min<unsigned long long>(u64Size, HEAD_BYTES)), pBuf.get(), print);
    if (u64Size > HEAD_BYTES) {
        for (unsigned i = 1; i <= SAMPLES; ++i) {
            // The last sample ends at the end of the source.
            const unsigned long long u64At = i == SAMPLES ? u64Size - std::min<unsigned long long>(u64Size, SAMPLE_BYTES)
                                                          : u64Size / SAMPLES * i;
            AddBytesAt(hFile, u64At, static_cast<size_t>(std::min<unsigned long long>(SAMPLE_BYTES, u64Size - u64At)),
                       pBuf.get(), print);
        }
    }
    close(hFile);
    return print.Value();
}
