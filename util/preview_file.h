#pragma once
// The file a picture is previewed through: "tmp.<ext>" in the scan-log folder, made afresh by a
// safe writer for every preview, so nothing planted under that name is followed or reused.
#include <string>

#include "util/safe_writer.h"

class CPreviewFile {
public:
    CPreviewFile() = default;
    ~CPreviewFile();  // closes the file and keeps it
    CPreviewFile(const CPreviewFile&) = delete;
    CPreviewFile& operator=(const CPreviewFile&) = delete;

    // The path (UTF-8) the preview of a picture with extension strExt ("jpg") is written to.
    static std::string PathFor(const std::string& strExt);
    // Creates it, and the scan-log folder when missing; 0 or errno.
    int Create(const std::string& strExt);
    int Handle() const { return m_hFile; }
    // Closes it; a failed preview (bKeep false) leaves no file behind.
    void Finish(bool bKeep);

private:
    CSafeWriter m_writer;
    std::string m_strName;
    int m_hFile = -1;
};
