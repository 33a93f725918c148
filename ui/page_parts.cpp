#include "ui/page_parts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/app_styles.h"

QVBoxLayout* TightColumn(QWidget* pOwner) {
    auto* pLayout = new QVBoxLayout(pOwner);
    pLayout->setSpacing(0);
    pLayout->setContentsMargins(0, 0, 0, 0);
    return pLayout;
}

QHBoxLayout* TightRow(QWidget* pOwner) {
    auto* pLayout = new QHBoxLayout(pOwner);
    pLayout->setSpacing(0);
    pLayout->setContentsMargins(0, 0, 0, 0);
    return pLayout;
}

QLabel* AreaLabel(const char* szStyle, int nMinHeight, QWidget* pParent) {
    auto* pArea = new QLabel(pParent);
    pArea->setStyleSheet(szStyle);
    pArea->setMinimumHeight(nMinHeight);
    return pArea;
}

QLabel* GreyLine(QWidget* pParent) {
    auto* pLine = new QLabel(pParent);
    pLine->setStyleSheet(GREY_LINE_STYLE);
    pLine->setFixedHeight(4);
    return pLine;
}

QPushButton* MainButton(const QString& strText, const QFont& font, QWidget* pParent) {
    auto* pButton = new QPushButton(strText, pParent);
    pButton->setFlat(true);
    pButton->setCursor(Qt::PointingHandCursor);
    pButton->setFont(font);
    pButton->setStyleSheet(MAIN_BUTTON_STYLE);
    return pButton;
}

QLabel* ImageLabel(const char* szImage, QWidget* pParent) {
    auto* pLabel = new QLabel(pParent);
    pLabel->setPixmap(QPixmap(szImage));
    pLabel->setAlignment(Qt::AlignCenter);
    return pLabel;
}
