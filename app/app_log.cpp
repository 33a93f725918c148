#include "app/app_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <QByteArray>
#include <QDebug>
#include <mutex>
#include <string>

#include "util/debug_log.h"

namespace {
std::mutex g_logMutex;
std::string g_strLogPath;  // guarded by g_logMutex

void ForwardEngineLine(void*, const char* szLine) {
    QString strLine = QString::fromUtf8(szLine);
    // Engine lines carry their own line end; the log adds one.
    if (strLine.endsWith('\n')) strLine.chop(1);
    qDebug().noquote() << strLine;
}
}  // namespace

void AppLogMessageHandler(QtMsgType eType, const QMessageLogContext&, const QString& strMessage) {
    if (eType != QtDebugMsg) return;
    const QByteArray line = QStringLiteral("Debug: %1\n").arg(strMessage).toUtf8();
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_strLogPath.empty()) return;
    const int hLog = open(g_strLogPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (hLog < 0) return;
    (void)!write(hLog, line.constData(), static_cast<size_t>(line.size()));
    close(hLog);
}

void InstallAppLog(const QString& strLogPath) {
    {
        std::lock_guard<std::mutex> lock(g_logMutex);
        g_strLogPath = strLogPath.toStdString();
    }
    qInstallMessageHandler(&AppLogMessageHandler);
    SetDebugSink(&ForwardEngineLine, nullptr);
}
