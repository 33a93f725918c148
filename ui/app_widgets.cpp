#include "ui/app_widgets.h"

#include <QLabel>
#include <QPushButton>

#include "ui/app_styles.h"

QLabel* MakeTextLabel(const QString& strText, int nPoints, const QColor& color) {
    QLabel* pLabel = new QLabel(strText);
    pLabel->setFont(QFont("Arial", nPoints));
    QPalette palette = pLabel->palette();
    palette.setColor(QPalette::WindowText, color);
    pLabel->setPalette(palette);
    return pLabel;
}

QLabel* MakeBarTitle(const QString& strText, int nMinHeight) {
    QLabel* pLabel = MakeTextLabel(strText, 11, Qt::white);
    pLabel->setStyleSheet(BAR_BACKGROUND_STYLE);
    pLabel->setMinimumHeight(nMinHeight);
    return pLabel;
}

QPushButton* MakeGreyButton(const QString& strText, QSize size, QWidget* pParent) {
    QPushButton* pButton = new QPushButton(strText, pParent);
    pButton->setStyleSheet(GREY_BUTTON_STYLE);
    pButton->setFont(QFont("Arial", 11));
    pButton->setFlat(true);
    pButton->setCursor(Qt::PointingHandCursor);
    pButton->setFixedSize(size);
    return pButton;
}
