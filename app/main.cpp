// korvalo-gui: the window program. Started by a user it asks for administrator rights and starts
// itself again with them ("korvalo-gui start"), which runs the window.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <climits>
#include <string>

#include "app/app_log.h"
#include "app/startup.h"
#include "app/window_jobs.h"
#include "ui/drui.h"
#include "util/app_folder.h"
#include "util/disk_map.h"
#include "util/text.h"

namespace {
std::string OwnExecutable(const char* szArgv0) {
    char szPath[PATH_MAX] = {0};
    const ssize_t nLen = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    return nLen > 0 ? std::string(szPath, static_cast<size_t>(nLen)) : std::string(szArgv0);
}
}  // namespace

int main(int argc, char** argv) {
    const STARTUP_ACTION eAction = DecideStartup(argc, geteuid() == 0);
    if (eAction != STARTUP_RUN_WINDOW) return RelaunchElevated(eAction, OwnExecutable(argv[0]));

    // The privileged instance keeps its files in the application folder, never in whatever
    // folder it was started from.
    rsb_createAppFolders();
    const std::string strAppFolder = rsb_getAppFolder();
    const std::string strOut = strAppFolder + "Out.txt";
    const int hOut = open(strOut.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (hOut >= 0) dup2(hOut, STDERR_FILENO);

    QApplication app(argc, argv);
    InstallAppLog(QString::fromStdString(strAppFolder + "Log.txt"));
    if (inner_initUnicodeMap("UTF-8") != 0) qDebug("inner_initUnicodeMap failed");
    {
        DRUI window;
        window.Init();
        CWindowJobs jobs(window, rsb_getDiskList());
        QObject::connect(&window, &DRUI::ScanRequested, &jobs, &CWindowJobs::OnScanRequested);
        window.SetResultJobs(&jobs);
        window.show();
        app.exec();
    }
    DeleteTmpFile(rsb_getScanLogFolder().c_str());
    if (hOut >= 0) {
        close(hOut);
        unlink(strOut.c_str());
    }
    return 0;
}
