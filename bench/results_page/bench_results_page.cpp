// How fast the results page opens and scrolls over a million finds:
//   bench_results_page [FINDS]          made-up finds held in memory
//   bench_results_page IMAGE WORK_DIR   the finds of a scan of IMAGE, as the window lists them
// prints the seconds to build the page, to list the largest extension, to jump through its table
// from top to bottom (each screen jumped to is painted), to tick every photo, and the peak
// memory. Runs on the offscreen platform unless another is set.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/session_finds.h"
#include "ui/drui.h"
#include "util/app_folder.h"

namespace {
std::vector<__SEARCH_FILE_INFO__> MakeFinds(size_t nFinds) {
    // Mostly photos, as on a camera card, with music, video, documents and odd names mixed in.
    static const char* const s_aszExtensions[] = {"jpg", "jpg", "jpg", "jpg", "jpg", "jpg", "mp3", "mp4", "docx", "zip"};
    std::vector<__SEARCH_FILE_INFO__> vecFinds(nFinds);
    for (size_t i = 0; i < nFinds; ++i) {
        __SEARCH_FILE_INFO__& hit = vecFinds[i];
        hit.nFileIndex = static_cast<uint32_t>(i + 1);
        hit.u64FileSize = 100000 + (i * 7919) % 5000000;
        if (i % 97 == 0)
            snprintf(hit.szFileName, sizeof(hit.szFileName), "FILE%07zu", i);
        else
            snprintf(hit.szFileName, sizeof(hit.szFileName), "IMG_%07zu.%s", i, s_aszExtensions[i % 10]);
    }
    return vecFinds;
}

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A scan's finds are read through the session, which must outlive the page.
    CRecoverySession session;
    std::shared_ptr<const IFoundFiles> pFinds;
    if (argc > 2) {
        setenv("KORVALO_HOME", argv[2], 1);
        rsb_createAppFolders();
        auto pScanned = std::make_shared<CSessionFinds>(session);
        if (session.OpenSource(argv[1]) != SESSION_OK || session.Scan(SESSION_USE_SAVED) != SESSION_OK ||
            pScanned->List(FILE_CATEGORY_ALL) != SESSION_OK) {
            fprintf(stderr, "cannot scan %s: %s\n", argv[1], session.LastError().c_str());
            return 1;
        }
        pFinds = pScanned;
    } else {
        pFinds = std::make_shared<CFoundFilesInMemory>(MakeFinds(argc > 1 ? strtoull(argv[1], nullptr, 10) : 1000000));
    }
    const size_t nFinds = pFinds->Count();
    DRUI window;
    window.Init();
    window.show();
    QApplication::processEvents();
    const double dBaseMiB = PeakMiB();

    QElapsedTimer timer;
    timer.start();
    window.ShowResults(std::move(pFinds));
    QApplication::processEvents();
    const double dOpen = timer.nsecsElapsed() / 1e9;

    // The largest extension: the first under Photo (jpg of the made-up finds).
    QTreeWidgetItem* pJpg = window.FileTree()->topLevelItem(0)->child(0);
    timer.restart();
    window.FileTree()->setCurrentItem(pJpg);
    QApplication::processEvents();
    const double dList = timer.nsecsElapsed() / 1e9;
    const int nRows = window.FileTable()->model()->rowCount();

    QScrollBar* pBar = window.FileTable()->verticalScrollBar();
    int nScreens = 0;
    timer.restart();
    for (int nValue = 0; nValue <= pBar->maximum(); nValue += std::max(1, pBar->pageStep()) * 997, ++nScreens) {
        pBar->setValue(nValue);
        window.FileTable()->viewport()->repaint();
    }
    const double dScroll = timer.nsecsElapsed() / 1e9;

    timer.restart();
    window.FileTree()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    QApplication::processEvents();
    const double dTick = timer.nsecsElapsed() / 1e9;

    printf("finds                      %zu\n", nFinds);
    printf("open the results page      %.3f s\n", dOpen);
    printf("list the %-7d finds of the largest extension %.3f s\n", nRows, dList);
    printf("jump to %d screens, painted %.3f s (%.2f ms a screen)\n", nScreens, dScroll,
           nScreens > 0 ? dScroll * 1000 / nScreens : 0.0);
    printf("tick all photos (%zu)  %.3f s\n", window.Selection().Count(), dTick);
    printf("peak memory                %.0f MiB (%.0f MiB of it the finds themselves and Qt)\n", PeakMiB(), dBaseMiB);
    return 0;
}
