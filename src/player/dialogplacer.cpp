#include "player/dialogplacer.h"

#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QWidget>

DialogPlacer::DialogPlacer(QWidget *window)
    : QObject(window),
      m_window(window)
{
    qApp->installEventFilter(this);
}

bool DialogPlacer::eventFilter(QObject *watched, QEvent *event)
{
    // The type first: this sees every event of the program.
    if (event->type() != QEvent::Show || !m_window || !m_window->isVisible())
        return false;
    auto *dialog = qobject_cast<QDialog *>(watched);
    if (!dialog || !dialog->isWindow())
        return false;
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(m_window->frameGeometry().center());
    if (const QScreen *screen = m_window->screen()) {
        const QRect room = screen->availableGeometry();
        frame.moveLeft(std::clamp(frame.left(), room.left(), std::max(room.left(), room.right() - frame.width() + 1)));
        frame.moveTop(std::clamp(frame.top(), room.top(), std::max(room.top(), room.bottom() - frame.height() + 1)));
    }
    dialog->move(frame.topLeft());
    return false;
}
