#include "ui/window_drag.h"

#include <QMouseEvent>
#include <QWidget>

bool CWindowDrag::eventFilter(QObject* pWatched, QEvent* pEvent) {
    QWidget* pWindow = qobject_cast<QWidget*>(pWatched);
    if (pWindow == nullptr) return false;
    switch (pEvent->type()) {
        case QEvent::MouseButtonPress: {
            auto* pMouse = static_cast<QMouseEvent*>(pEvent);
            if (pMouse->button() == Qt::RightButton) {
                pWindow->close();
                return true;
            }
            if (pMouse->button() == Qt::LeftButton) {
                m_bDragging = true;
                m_offset = pMouse->globalPosition().toPoint() - pWindow->frameGeometry().topLeft();
            }
            return false;
        }
        case QEvent::MouseMove: {
            auto* pMouse = static_cast<QMouseEvent*>(pEvent);
            if (m_bDragging && (pMouse->buttons() & Qt::LeftButton)) pWindow->move(pMouse->globalPosition().toPoint() - m_offset);
            return false;
        }
        case QEvent::MouseButtonRelease:
            m_bDragging = false;
            return false;
        default:
            return false;
    }
}
