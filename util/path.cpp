#include "util/path.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <string>

#include "util/text.h"

namespace {

const int kInvalidParameter = 87;

struct PathParts {
    std::string strDir;
    std::string strFname;
    std::string strExt;
};

PathParts SplitPath(const std::string& strPath) {
    PathParts parts;
    if (strPath.empty()) return parts;
    if (strPath.back() == '/') {
        parts.strDir = strPath;
        return parts;
    }
    size_t nSlash = strPath.rfind('/');
    size_t nNameStart = nSlash == std::string::npos ? 0 : nSlash + 1;
    parts.strDir = strPath.substr(0, nNameStart);
    // Only a dot inside the name counts; one in a folder name is not an extension.
    size_t nDot = strPath.rfind('.');
    if (nDot != std::string::npos && nDot >= nNameStart) {
        parts.strFname = strPath.substr(nNameStart, nDot - nNameStart);
        parts.strExt = strPath.substr(nDot);
    } else {
        parts.strFname = strPath.substr(nNameStart);
    }
    return parts;
}

// Copies into a caller's part buffer, cut so it never overflows it.
void CopyPart(char* szOut, const std::string& strPart) {
    if (szOut == nullptr) return;
    size_t nLen = strPart.size();
    if (nLen > static_cast<size_t>(KORVALO_PATH_PART_SIZE - 1)) nLen = KORVALO_PATH_PART_SIZE - 1;
    memcpy(szOut, strPart.data(), nLen);
    szOut[nLen] = '\0';
}

bool Exists(const std::string& strPath) {
    return access(strPath.c_str(), F_OK) == 0;
}

}  // namespace

void _splitpath(const char* szPath, char* szDrive, char* szDir, char* szFname, char* szExt) {
    PathParts parts = SplitPath(szPath != nullptr ? szPath : "");
    CopyPart(szDrive, std::string());
    CopyPart(szDir, parts.strDir);
    CopyPart(szFname, parts.strFname);
    CopyPart(szExt, parts.strExt);
}

int GetExtendName(const char* szName, char* szExt) {
    if (szName == nullptr || szExt == nullptr) return kInvalidParameter;
    const char* pDot = strrchr(szName, '.');
    if (pDot == nullptr) return kInvalidParameter;
    CopyPart(szExt, pDot + 1);
    return 0;
}

int GetPathDirIndex(const wchar_t* wszPath, int& nCount) {
    nCount = 0;
    if (wszPath == nullptr) return kInvalidParameter;
    size_t nLen = wcslen(wszPath);
    if (nLen < 2) return 0;
    // The last character is left out so "/a/b/" and "/a/b" are on the same level.
    for (size_t i = 0; i + 1 < nLen; ++i)
        if (wszPath[i] == L'/' || wszPath[i] == L'\\') ++nCount;
    return 0;
}

std::wstring MakeSafePathComponent(std::wstring wstrName) {
    for (wchar_t& wc : wstrName)
        if (wc == L'/' || wc == L'\0') wc = L'_';
    if (wstrName.empty() || wstrName == L"." || wstrName == L"..") wstrName = L"_";
    return wstrName;
}

int GetRealFileName(const char* szPath, wchar_t* pOut, int nOutCapacity) {
    if (szPath == nullptr || pOut == nullptr || nOutCapacity <= 0) return kInvalidParameter;
    std::string strName = szPath;
    if (Exists(strName)) {
        PathParts parts = SplitPath(strName);
        bool bFound = false;
        for (int n = 1; n < INT_MAX && !bFound; ++n) {
            strName = parts.strDir + parts.strFname + "(" + std::to_string(n) + ")" + parts.strExt;
            bFound = !Exists(strName);
        }
        if (!bFound) return kInvalidParameter;
    }
    std::wstring strWide = Path2Unicode(strName.c_str());
    // Refuse rather than hand back a cut name: a cut name could be an existing file.
    if (strWide.size() >= static_cast<size_t>(nOutCapacity)) return kInvalidParameter;
    wmemcpy(pOut, strWide.c_str(), strWide.size() + 1);
    return 0;
}
