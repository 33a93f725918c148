#include "ui/results_text.h"

#include "util/format.h"

namespace {
constexpr int TEXT_VIEW_LINE_BYTES = 256;
}  // namespace

QString ResultGroupRowText(RESULT_GROUP eGroup, size_t nFiles) {
    static const char* const s_aszGroups[RESULT_GROUP_COUNT] = {"Photo", "Music", "Office", "Video", "Archive", "Other"};
    const char* szGroup = eGroup >= 0 && eGroup < RESULT_GROUP_COUNT ? s_aszGroups[eGroup] : "Other";
    return QString("%1(%2)").arg(szGroup).arg(static_cast<qulonglong>(nFiles));
}

QString ExtensionRowText(const QString& strKey, size_t nFiles) {
    return QString("%1 Files (%2)").arg(strKey).arg(static_cast<qulonglong>(nFiles));
}

QString SelectionSummary(unsigned long long u64Bytes, size_t nFiles) {
    const QString strSize = QString::fromStdString(GetFileSizeString(static_cast<long long>(u64Bytes)));
    return QString(nFiles < 2 ? "Select %1 in %2 file" : "Select %1 in %2 files").arg(strSize).arg(static_cast<qulonglong>(nFiles));
}

QByteArray WinHexBufData(const unsigned char* pBuf, int nLen) {
    QByteArray text;
    for (int i = 0; pBuf != nullptr && i < nLen; ++i) {
        text.append(pBuf[i] == 0 ? '.' : static_cast<char>(pBuf[i]));
        if ((i + 1) % TEXT_VIEW_LINE_BYTES == 0) text.append("\r\n");
    }
    // A buffer that ended a line already has its line end; the file's own bytes never count.
    if (nLen <= 0 || pBuf == nullptr || nLen % TEXT_VIEW_LINE_BYTES != 0) text.append("\r\n");
    return text;
}
