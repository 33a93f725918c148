#pragma once
// DRUI: the main window. A frameless window of fixed size that holds its pages in a stacked
// layout; it is dragged by any free spot, a right click closes it, and Escape does nothing.
#include <QMainWindow>
#include <vector>

class QStackedLayout;

// Size of the main window.
constexpr int DRUI_WIDTH = 1000;
constexpr int DRUI_HEIGHT = 660;
// Bytes a preview may fill in memory, and the text view of it twice that.
constexpr int DRUI_PREVIEW_BYTES = 10240;

class DRUI : public QMainWindow {
    Q_OBJECT

public:
    explicit DRUI(QWidget* pParent = nullptr);
    ~DRUI() override;

    // Makes the preview buffers, the page stack and the application folders.
    void Init();

    QStackedLayout* Pages() const { return m_pStackedLayout; }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    QStackedLayout* m_pStackedLayout = nullptr;
    std::vector<unsigned char> m_vecPreviewBuf;
    std::vector<char> m_vecPreviewText;
};
