#pragma once
// CMessageBox: a yes/no question in the program's look. Any way of closing it other than "Yes"
// (the title bar's close button, a right click, "No") answers no.
#include <QDialog>

class QLabel;

constexpr int MESSAGE_BOX_WIDTH = 400;
constexpr int MESSAGE_BOX_HEIGHT = 150;

class CMessageBox : public QDialog {
    Q_OBJECT

public:
    explicit CMessageBox(QWidget* pParent = nullptr);

    // Builds the question layout around strText. bUnused: every caller passes false.
    void InitQuestionDialog(const QString& strText, bool bUnused);
    // 1 after "Yes", else 0.
    int GetMessageBoxRet() const { return m_nResult; }

public slots:
    void btnSlotOK();
    void btnSlotNO();

private:
    QLabel* m_pMessage = nullptr;
    int m_nResult = 0;
};
