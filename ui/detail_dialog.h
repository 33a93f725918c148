#pragma once
// CDetail: the outcome of every file of a recovery run. Failures are listed first, the newest at
// the top, then the successes in the order they came.
#include <QDialog>

class QLabel;
class QTableWidget;

constexpr int DETAIL_WIDTH = 600;
constexpr int DETAIL_HEIGHT = 400;

class CDetail : public QDialog {
    Q_OBJECT

public:
    explicit CDetail(QWidget* pParent = nullptr);

    // One file: bFailed non-zero lists it as "Failed" (red, at the top), else as "Success".
    void AddTableItem(const QString& strName, int bFailed);

    int SuccessCount() const { return m_nSuccess; }
    int FailureCount() const { return m_nFailed; }
    QTableWidget* Table() const { return m_pTable; }
    QString SummaryText() const;

public slots:
    void btnSlot();

private:
    void InitDialog();
    void CreateTable();
    void UpdateSummary();

    QLabel* m_pSummary = nullptr;
    QTableWidget* m_pTable = nullptr;
    int m_nSuccess = 0;
    int m_nFailed = 0;
};
