#pragma once
// What the results page asks of whoever runs the jobs (the window program's job runner, or a
// test's stand-in): a preview of one find and the recovery of the ticked ones. Each call runs
// its job behind its progress dialog and returns when the dialog has closed.
#include <QByteArray>
#include <QString>
#include <vector>

#include "engine/file_node.h"

struct PREVIEW_RESULT {
    QString strPicturePath;   // a picture file the engine wrote; empty for anything else
    QByteArray bytes;         // the find's first bytes when it is no picture
};

class IResultJobs {
public:
    virtual ~IResultJobs() = default;
    virtual PREVIEW_RESULT RunPreview(const __SEARCH_FILE_INFO__& hit, const QString& strName) = 0;
    // Recovers the finds into category folders below strFolder, asking first when that folder
    // lies on the device being scanned. nUnreadable more were chosen but could not be read back
    // from the scan's results: the user is told they are left out.
    virtual void RunRecovery(const std::vector<__SEARCH_FILE_INFO__>& vecChosen, size_t nUnreadable,
                             const QString& strFolder) = 0;
    // The folder a find was found in ("A/B/"), empty when none is known.
    virtual QString FolderOf(const __SEARCH_FILE_INFO__& hit) = 0;
};
