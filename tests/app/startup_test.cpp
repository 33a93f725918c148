// Start-up of the window program: who relaunches how, the log, the clean-up of preview files, and
// the main window's frame. Runs under the offscreen platform.
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <map>
#include <string>

#include "app/app_log.h"
#include "app/startup.h"
#include "ui/drui.h"
#include "util/debug_log.h"

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void OnlyASingleArgumentRunsTheWindow() {
        QCOMPARE(DecideStartup(2, false), STARTUP_RUN_WINDOW);
        QCOMPARE(DecideStartup(2, true), STARTUP_RUN_WINDOW);
        QCOMPARE(DecideStartup(1, false), STARTUP_RELAUNCH_THROUGH_PKEXEC);
        QCOMPARE(DecideStartup(3, false), STARTUP_RELAUNCH_THROUGH_PKEXEC);
        QCOMPARE(DecideStartup(1, true), STARTUP_RELAUNCH_DIRECTLY);
    }

    void PkexecKeepsWhatReachesTheDisplay() {
        const std::map<std::string, std::string> env = {
            {"DISPLAY", ":1"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}, {"HOME", "/home/ann"}, {"WAYLAND_DISPLAY", ""},
            {"KORVALO_DISKS", "/home/ann/card.img"}};
        auto getEnv = [&](const char* szName) -> const char* {
            auto it = env.find(szName);
            return it == env.end() ? nullptr : it->second.c_str();
        };
        const std::vector<std::string> expected = {"pkexec", "env", "DISPLAY=:1", "XDG_RUNTIME_DIR=/run/user/1000",
                                                   "KORVALO_DISKS=/home/ann/card.img", "/opt/k/korvalo-gui", "start"};
        QVERIFY(PkexecCommand("/opt/k/korvalo-gui", getEnv) == expected);
    }

    void DebugMessagesAndEngineLinesAreLoggedOthersDropped() {
        QTemporaryDir dir;
        const QString strLog = dir.filePath("Log.txt");
        InstallAppLog(strLog);
        qDebug("abc");
        qWarning("a warning");
        DebugLog("engine %d\n", 7);
        qInstallMessageHandler(nullptr);
        SetDebugSink(nullptr, nullptr);
        QFile log(strLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(), QByteArray("Debug: abc\nDebug: engine 7\n"));
    }

    void PreviewFilesAreRemovedAtExitAndNothingElse() {
        QTemporaryDir dir, outside;
        for (const char* szName : {"photo.tmp.jpg", "tmp.png", "x.png"}) QVERIFY(QFile(dir.filePath(szName)).open(QIODevice::WriteOnly));
        QVERIFY(QFile(outside.filePath("kept.jpg")).open(QIODevice::WriteOnly));
        QVERIFY(symlink(outside.filePath("kept.jpg").toUtf8().constData(), dir.filePath("tmp.link").toUtf8().constData()) == 0);
        QCOMPARE(DeleteTmpFile(dir.path().toUtf8().constData()), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System), QStringList{"x.png"});
        QVERIFY(QFile::exists(outside.filePath("kept.jpg")));
        QCOMPARE(DeleteTmpFile(dir.filePath("missing").toUtf8().constData()), 0);
    }

    void MainWindowIsFramelessFixedAndClosesOnRightClickOnly() {
        QTemporaryDir home;
        qputenv("KORVALO_HOME", home.path().toUtf8());
        DRUI window;
        window.Init();
        window.show();
        QCOMPARE(window.size(), QSize(DRUI_WIDTH, DRUI_HEIGHT));
        QCOMPARE(window.windowTitle(), QString("Free Korvalo"));
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(QFileInfo(home.filePath("ScanLog")).isDir());
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        QTest::mouseClick(&window, Qt::RightButton);
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
