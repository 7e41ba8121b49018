#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets the user move a borderless window by dragging its face (anywhere no control takes the
// mouse): through the window system's own move where it offers one, by hand otherwise.
class WindowMover : public QObject
{
    Q_OBJECT

public:
    // Watches window, and belongs to it.
    explicit WindowMover(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    bool m_dragging = false;
    QPoint m_grabOffset; // the press point relative to the window's top-left corner
};
