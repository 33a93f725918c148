#include "session/recovered_names.h"

#include <cstring>

#include "util/path.h"
#include "util/text.h"

namespace {
std::wstring NodeNameWide(const _FILE_NODE_& node) {
    char szName[sizeof(node.szFileName) + 1];
    memcpy(szName, node.szFileName, sizeof(node.szFileName));
    szName[sizeof(node.szFileName)] = '\0';
    return Ansi2Unicode(szName);
}
}  // namespace

std::string NodeNameUtf8(const _FILE_NODE_& node) {
    return Unicode2Path(NodeNameWide(node).c_str());
}

std::string SafeNodeComponentUtf8(const _FILE_NODE_& node) {
    return Unicode2Path(MakeSafePathComponent(NodeNameWide(node)).c_str());
}

std::string SafeRelativeFolder(const std::string& strFolder) {
    std::string strOut;
    size_t nPos = 0;
    while (nPos < strFolder.size()) {
        const size_t nSlash = strFolder.find_first_of("/\\", nPos);
        const std::string strPart =
            strFolder.substr(nPos, nSlash == std::string::npos ? std::string::npos : nSlash - nPos);
        if (!strPart.empty()) strOut += Unicode2Path(MakeSafePathComponent(Path2Unicode(strPart.c_str())).c_str()) + "/";
        if (nSlash == std::string::npos) break;
        nPos = nSlash + 1;
    }
    return strOut;
}
