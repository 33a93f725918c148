#include "ui/drui.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QStackedLayout>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/link_config.h"
#include "ui/result_table_model.h"
#include "ui/window_drag.h"
#include "util/app_folder.h"
#include "util/debug_log.h"

DRUI::DRUI(QWidget* pParent) : QMainWindow(pParent, Qt::FramelessWindowHint) {
    RegisterPartitionItemType();
    RegisterFileNodeType();
    setFixedSize(DRUI_WIDTH, DRUI_HEIGHT);
    if (const QScreen* pScreen = QGuiApplication::primaryScreen())
        move(pScreen->availableGeometry().center() - rect().center());
    setWindowTitle("Free Korvalo");
    QWidget* pCentral = new QWidget(this);
    pCentral->setStyleSheet("background-color: rgb(251, 252, 255);");
    setCentralWidget(pCentral);
    installEventFilter(new CWindowDrag(this));
}

DRUI::~DRUI() = default;

void DRUI::Init() {
    m_pStackedLayout = new QStackedLayout();
    m_pStackedLayout->addWidget(InitLayout1Widget());
    m_pStackedLayout->addWidget(InitLayout2Widget());
    m_pStackedLayout->setCurrentIndex(DRUI_START_PAGE);
    QVBoxLayout* pMain = new QVBoxLayout(centralWidget());
    pMain->setSpacing(0);
    pMain->setContentsMargins(0, 0, 0, 0);
    pMain->addLayout(m_pStackedLayout);
    if (rsb_createAppFolders() != 0) DebugLog("cannot create the application folders\n");
}

void DRUI::keyPressEvent(QKeyEvent* pEvent) {
    // Escape is swallowed: no page is left or closed by it.
    if (pEvent->key() == Qt::Key_Escape) {
        pEvent->accept();
        return;
    }
    QMainWindow::keyPressEvent(pEvent);
}

void DRUI::btnSlot() {
    m_pStackedLayout->setCurrentIndex(DRUI_DEVICE_PAGE);
}

void DRUI::btnSlotBack() {
    const bool bFromResults = m_pStackedLayout->currentIndex() == DRUI_RESULTS_PAGE;
    m_pStackedLayout->setCurrentIndex(bFromResults ? DRUI_DEVICE_PAGE : DRUI_START_PAGE);
    emit LastScanDropped();
}

void DRUI::btnMinSlot() {
    showMinimized();
}

void DRUI::btnCloseSlot() {
    close();
}

void DRUI::btnAboutSlot() {
    btnOpenUrl(ReadAppLinkUrls().strAbout);
}

void DRUI::btnSupportSlot() {
    btnOpenUrl(ReadAppLinkUrls().strSupport);
}

void DRUI::btnHelpSlot() {
    btnOpenUrl(ReadAppLinkUrls().strHelp);
}

void DRUI::btnOpenUrl(QString url) {
    QDesktopServices::openUrl(QUrl(url));
}
