#include "ui/message_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/app_styles.h"
#include "ui/app_widgets.h"
#include "ui/window_drag.h"

namespace {
constexpr int TITLE_MIN_HEIGHT = 30;
constexpr int BOTTOM_MIN_HEIGHT = 40;
const QSize BUTTON_SIZE(80, 25);
}  // namespace

CMessageBox::CMessageBox(QWidget* pParent) : QDialog(pParent, Qt::Dialog | Qt::FramelessWindowHint) {
    setWindowTitle("Free Korvalo");
    setFixedSize(MESSAGE_BOX_WIDTH, MESSAGE_BOX_HEIGHT);
    installEventFilter(new CWindowDrag(this));
}

void CMessageBox::InitQuestionDialog(const QString& strText, bool) {
    QWidget* pTitle = new QWidget();
    pTitle->setStyleSheet(BAR_BACKGROUND_STYLE);
    pTitle->setMinimumHeight(TITLE_MIN_HEIGHT);
    QPushButton* pClose = new QPushButton();
    pClose->setIcon(QIcon(":/image/close.png"));
    pClose->setFlat(true);
    pClose->setCursor(Qt::PointingHandCursor);
    pClose->setFixedSize(24, 24);
    connect(pClose, &QPushButton::clicked, this, &CMessageBox::btnSlotNO);
    QHBoxLayout* pTitleLayout = new QHBoxLayout(pTitle);
    pTitleLayout->setContentsMargins(0, 0, 4, 0);
    pTitleLayout->addWidget(MakeTextLabel("  Question", 12, Qt::white));
    pTitleLayout->addStretch();
    pTitleLayout->addWidget(pClose);

    QLabel* pPicture = new QLabel();
    pPicture->setPixmap(QPixmap(":/image/question.png"));
    m_pMessage = MakeTextLabel(strText, 12, Qt::black);
    m_pMessage->setWordWrap(true);
    QHBoxLayout* pBody = new QHBoxLayout();
    pBody->setContentsMargins(5, 0, 5, 0);
    pBody->setSpacing(10);
    pBody->addWidget(pPicture);
    pBody->addWidget(m_pMessage, 1);

    // The two buttons sit at fixed places: "No" at a quarter of the width, "Yes" 100 pixels on.
    QWidget* pBottom = new QWidget();
    pBottom->setStyleSheet("background-color: rgb(220, 220, 220);");
    pBottom->setMinimumHeight(BOTTOM_MIN_HEIGHT);
    QPushButton* pNo = MakeGreyButton("No", BUTTON_SIZE, pBottom);
    QPushButton* pYes = MakeGreyButton("Yes", BUTTON_SIZE, pBottom);
    pNo->move(MESSAGE_BOX_WIDTH / 4, 5);
    pYes->move(MESSAGE_BOX_WIDTH / 4 + 100, 5);
    connect(pNo, &QPushButton::clicked, this, &CMessageBox::btnSlotNO);
    connect(pYes, &QPushButton::clicked, this, &CMessageBox::btnSlotOK);

    QVBoxLayout* pLayout = new QVBoxLayout(this);
    pLayout->setSpacing(0);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(pTitle);
    pLayout->addLayout(pBody, 1);
    pLayout->addWidget(pBottom);
}

void CMessageBox::btnSlotOK() {
    m_nResult = 1;
    close();
}

void CMessageBox::btnSlotNO() {
    m_nResult = 0;
    close();
}
