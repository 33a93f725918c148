#pragma once
// The small widgets every dialog of the program builds the same way.
#include <QColor>
#include <QSize>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// A label in "Arial" of nPoints, in the given text colour.
QLabel* MakeTextLabel(const QString& strText, int nPoints, const QColor& color);
// The slate title bar of a dialog: white "Arial" 11 text, at least nMinHeight pixels high.
QLabel* MakeBarTitle(const QString& strText, int nMinHeight);
// A flat grey rounded button of a fixed size, "Arial" 11, with a pointing-hand cursor.
QPushButton* MakeGreyButton(const QString& strText, QSize size, QWidget* pParent = nullptr);
