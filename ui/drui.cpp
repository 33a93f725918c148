#include "ui/drui.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QStackedLayout>
#include <QVBoxLayout>

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

void DRUI::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::RightButton) {
        close();
        return;
    }
    if (pEvent->button() == Qt::LeftButton) {
        m_bDragging = true;
        m_dragOffset = pEvent->globalPosition().toPoint() - frameGeometry().topLeft();
    }
}

void DRUI::mouseMoveEvent(QMouseEvent* pEvent) {
    if (m_bDragging && (pEvent->buttons() & Qt::LeftButton)) move(pEvent->globalPosition().toPoint() - m_dragOffset);
}

void DRUI::mouseReleaseEvent(QMouseEvent*) {
    m_bDragging = false;
}

void DRUI::keyPressEvent(QKeyEvent* pEvent) {
    // Escape is swallowed: no page is left or closed by it.
    if (pEvent->key() == Qt::Key_Escape) {
        pEvent->accept();
        return;
    }
    QMainWindow::keyPressEvent(pEvent);
}
