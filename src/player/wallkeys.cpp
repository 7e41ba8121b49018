#include "player/wallkeys.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

// Widgets that step or scroll with the page keys themselves.
bool usesPageKeys(const QWidget *widget)
{
    return qobject_cast<const QAbstractSpinBox *>(widget) || qobject_cast<const QAbstractSlider *>(widget)
        || qobject_cast<const QComboBox *>(widget) || qobject_cast<const QAbstractItemView *>(widget)
        || qobject_cast<const QTextEdit *>(widget) || qobject_cast<const QPlainTextEdit *>(widget);
}

// Widgets a space is typed into.
bool typesText(const QWidget *widget)
{
    return qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QTextEdit *>(widget)
        || qobject_cast<const QPlainTextEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget)
        || (qobject_cast<const QComboBox *>(widget) && static_cast<const QComboBox *>(widget)->isEditable());
}

} // namespace

WallKeys::WallKeys(QWidget *window, Actions actions)
    : QObject(window),
      m_window(window),
      m_actions(std::move(actions))
{
    // An application-wide filter: a modal dialog or an open menu takes the keyboard from the
    // window, and a shortcut of the window's would not reach it then.
    qApp->installEventFilter(this);
}

WallKeys::~WallKeys()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void WallKeys::closeMenus()
{
    // Bounded: a popup that refuses to close must not hang the key.
    for (int n = 0; n < 16; ++n) {
        QWidget *popup = QApplication::activePopupWidget();
        if (!popup)
            return;
        popup->close();
    }
}

bool WallKeys::eventFilter(QObject *watched, QEvent *event)
{
    // Each press is seen first at the widget it is sent to; the window system's own window
    // object passes it on to that widget, so it is left alone here.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    return handle(static_cast<QWidget *>(watched), static_cast<QKeyEvent *>(event));
}

bool WallKeys::handle(QWidget *target, QKeyEvent *key)
{
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    const int code = key->key();
    if (code >= Qt::Key_F1 && code <= Qt::Key_F12 && modifiers == Qt::NoModifier) {
        closeMenus();
        // A held key repeats: the cart fired would stop again at once.
        if (!key->isAutoRepeat())
            m_actions.fire(code - Qt::Key_F1);
        return true;
    }
    if (code == Qt::Key_Escape
        && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier || modifiers == Qt::ControlModifier)) {
        if (!m_actions.playing())
            return false; // the menu or dialog closes as usual
        closeMenus();
        if (modifiers == Qt::ShiftModifier)
            m_actions.stopAll();
        else if (modifiers == Qt::ControlModifier)
            m_actions.fadeAll();
        else
            m_actions.fade();
        return true;
    }
    if (code == Qt::Key_Space
        && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier || modifiers == Qt::ControlModifier)) {
        if (typesText(target))
            return false;
        // Held down, GO fires once: the repeats are swallowed, where Space is GO.
        if (key->isAutoRepeat())
            return m_actions.inOrder && m_actions.inOrder();
        const int step = modifiers == Qt::ShiftModifier ? -1 : modifiers == Qt::ControlModifier ? 1 : 0;
        if (!m_actions.cue || !m_actions.cue(step))
            return false; // no running order: Space does what it always did
        closeMenus();
        return true;
    }
    const bool pageKey = (modifiers == Qt::NoModifier && (code == Qt::Key_PageDown || code == Qt::Key_PageUp))
        || (modifiers == Qt::ControlModifier && code >= Qt::Key_1 && code <= Qt::Key_9);
    if (!pageKey)
        return false;
    const bool onWall = target->window() == m_window || qobject_cast<QMenu *>(target);
    if (!onWall && usesPageKeys(target))
        return false;
    closeMenus();
    return m_actions.page(key);
}
