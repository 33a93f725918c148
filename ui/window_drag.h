#pragma once
// The frameless windows of the program are dragged by any free spot, and a right click closes
// them. A window installs one of these as the event filter of itself.
#include <QObject>
#include <QPoint>

class CWindowDrag : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    bool m_bDragging = false;
    QPoint m_offset;  // from the window's corner to the point that was grabbed
};
