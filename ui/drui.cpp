#include "ui/drui.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "ui/window_drag.h"
#include "util/app_folder.h"
#include "util/debug_log.h"

DRUI::DRUI(QWidget* pParent) : QMainWindow(pParent, Qt::FramelessWindowHint) {
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
    m_vecPreviewBuf.assign(DRUI_PREVIEW_BYTES, 0);
    m_vecPreviewText.assign(2 * DRUI_PREVIEW_BYTES, 0);
    m_pStackedLayout = new QStackedLayout();
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
