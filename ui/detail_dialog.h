#pragma once
// CDetail: the outcome of every file of a recovery run. Failures are listed first, the newest at
// the top, then files kept only in part (the disk could not read all of them) in the order they
// came, then the successes in the order they came.
#include <QDialog>

// The status of one recovered file, as its recovery report carries it.
enum RECOVERY_FILE_STATUS { FILE_RECOVERED = 0, FILE_FAILED = 1, FILE_PARTIAL = 2 };

class QLabel;
class QTableWidget;

constexpr int DETAIL_WIDTH = 600;
constexpr int DETAIL_HEIGHT = 400;

class CDetail : public QDialog {
    Q_OBJECT

public:
    explicit CDetail(QWidget* pParent = nullptr);

    // One file: FILE_FAILED (or any other non-zero status) lists it as "Failed" (red, at the
    // top), FILE_PARTIAL as "Partial" (orange, below the failures), 0 as "Success".
    void AddTableItem(const QString& strName, int bFailed);

    int SuccessCount() const { return m_nSuccess; }
    int FailureCount() const { return m_nFailed; }
    int PartialCount() const { return m_nPartial; }
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
    int m_nPartial = 0;
};
