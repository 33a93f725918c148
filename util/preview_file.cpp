#include "util/preview_file.h"

#include <unistd.h>

#include "util/app_folder.h"

namespace {
constexpr unsigned int kScanLogFolderMode = 0755;
}

CPreviewFile::~CPreviewFile() {
    Finish(true);
}

std::string CPreviewFile::PathFor(const std::string& strExt) {
    return rsb_getScanLogFolder() + "tmp." + strExt;
}

int CPreviewFile::Create(const std::string& strExt) {
    Finish(true);
    // The scan-log folder belongs to the program, not to the user the writer gives files to.
    int nResult = rsb_makeDirs(rsb_getScanLogFolder(), kScanLogFolderMode);
    if (nResult == 0) nResult = m_writer.Open(rsb_getScanLogFolder());
    if (nResult != 0) return nResult;
    m_strName = "tmp." + strExt;
    return m_writer.ReplaceFile(m_strName, m_hFile);
}

void CPreviewFile::Finish(bool bKeep) {
    if (m_hFile < 0) return;
    close(m_hFile);
    m_hFile = -1;
    if (!bKeep) m_writer.RemoveFile(m_strName);
}
