#pragma once
// Small pieces the pages of the main window are built from.
#include <QFont>
#include <QString>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

// A column or row without spacing or margins, laid on pOwner.
QVBoxLayout* TightColumn(QWidget* pOwner);
QHBoxLayout* TightRow(QWidget* pOwner);
// A coloured area at least nMinHeight high.
QLabel* AreaLabel(const char* szStyle, int nMinHeight, QWidget* pParent);
// The thin grey line under a title bar.
QLabel* GreyLine(QWidget* pParent);
// A flat blue main button with a pointing hand.
QPushButton* MainButton(const QString& strText, const QFont& font, QWidget* pParent);
// A resource image, centred.
QLabel* ImageLabel(const char* szImage, QWidget* pParent);
