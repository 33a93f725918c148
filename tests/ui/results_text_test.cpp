// The results browser's texts. Runs under the offscreen platform.
#include <QtTest>

#include "ui/results_text.h"

class ResultsTextTest : public QObject {
    Q_OBJECT

private slots:
    void RowsAndSummaryRead() {
        QCOMPARE(ResultGroupRowText(RESULT_GROUP_PHOTO, 2), QString("Photo(2)"));
        QCOMPARE(ResultGroupRowText(RESULT_GROUP_OTHER, 1), QString("Other(1)"));
        QCOMPARE(ExtensionRowText(RESULT_NO_EXTENSION_KEY, 1), QString("unKnow Files (1)"));
        QCOMPARE(SelectionSummary(0, 0), QString("Select 0 Bytes in 0 file"));
        QCOMPARE(SelectionSummary(1536, 1), QString("Select 1.50 KB in 1 file"));
        QCOMPARE(SelectionSummary(2048, 2), QString("Select 2.00 KB in 2 files"));
    }

    void TextViewKeepsBytesAndBreaksEvery256() {
        QCOMPARE(WinHexBufData(nullptr, 0), QByteArray("\r\n"));
        const unsigned char abShort[] = {'P', 'K', 0, 3};
        QCOMPARE(WinHexBufData(abShort, 4), QByteArray("PK.\x03\r\n"));
        const unsigned char abCrLf[] = {'h', 'i', '\r', '\n'};
        QCOMPARE(WinHexBufData(abCrLf, 4), QByteArray("hi\r\n\r\n"));
        // Exactly 256 bytes end with one line end, not two; 257 with a break and one at the end.
        QByteArray full(256, 'a');
        QCOMPARE(WinHexBufData(reinterpret_cast<const unsigned char*>(full.constData()), 256), full + "\r\n");
        QByteArray longer(257, 'b');
        QCOMPARE(WinHexBufData(reinterpret_cast<const unsigned char*>(longer.constData()), 257),
                 QByteArray(256, 'b') + "\r\nb\r\n");
    }
};

QTEST_MAIN(ResultsTextTest)
#include "results_text_test.moc"
