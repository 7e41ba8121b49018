#include "common/windowmover.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

WindowMover::WindowMover(QWidget *window)
    : QObject(window),
      m_window(window)
{
    window->installEventFilter(this);
}

bool WindowMover::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        // The system's move also works where windows cannot place themselves (Wayland).
        if (m_window->windowHandle() && m_window->windowHandle()->startSystemMove())
            return true;
        m_dragging = true;
        m_grabOffset = mouse->globalPosition().toPoint() - m_window->pos();
        return true;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_dragging || !(mouse->buttons() & Qt::LeftButton))
            return false;
        m_window->move(mouse->globalPosition().toPoint() - m_grabOffset);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!m_dragging)
            return false;
        m_dragging = false;
        return true;
    default:
        return false;
    }
}
