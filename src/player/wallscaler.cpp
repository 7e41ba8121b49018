#include "player/wallscaler.h"

#include "common/settings.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

// "1280x800" as a size at least minimum; nothing for anything else.
std::optional<QSize> sizeFrom(const QString &text, QSize minimum)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    bool okWidth = false, okHeight = false;
    const int width = parts.value(0).toInt(&okWidth);
    const int height = parts.value(1).toInt(&okHeight);
    if (parts.size() != 2 || !okWidth || !okHeight || width < minimum.width() || height < minimum.height()
        || width > 16384 || height > 16384)
        return std::nullopt;
    return QSize(width, height);
}

} // namespace

WallScaler::WallScaler(QWidget *window, QWidget *frame, QMenu *viewMenu)
    : QObject(window),
      m_window(window),
      m_frame(frame),
      m_classic(window->size())
{
    // Resizable from the classic size up; the classic size stays the start's.
    m_window->setMinimumSize(m_classic);
    m_window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_window->installEventFilter(this);
    m_keepSize.setSingleShot(true);
    m_keepSize.setInterval(500);
    connect(&m_keepSize, &QTimer::timeout, this, &WallScaler::keepSize);

    QMenu *view = viewMenu;
    m_fullScreen = view->addAction(tr("Full screen"));
    m_fullScreen->setObjectName(QStringLiteral("FullScreen"));
    m_fullScreen->setCheckable(true);
    m_fullScreen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F11));
    m_fullScreen->setShortcutContext(Qt::WindowShortcut);
    m_window->addAction(m_fullScreen); // the key works with the menu closed
    connect(m_fullScreen, &QAction::triggered, this, [this](bool on) { setFullScreen(on); });
    QAction *classic = view->addAction(tr("Classic size"));
    classic->setObjectName(QStringLiteral("ClassicSize"));
    connect(classic, &QAction::triggered, this, &WallScaler::classicSize);
    m_corners = view->addAction(tr("Show lengths and keys"));
    m_corners->setObjectName(QStringLiteral("LengthsAndKeys"));
    m_corners->setCheckable(true);
    connect(m_corners, &QAction::triggered, this, [this](bool on) {
        Settings settings;
        if (QSettings *file = settings.file())
            file->setValue(QStringLiteral("view/lengthsAndKeys"), on);
        emit cornersChanged();
    });
    connect(view, &QMenu::aboutToShow, this, [this] {
        m_fullScreen->setChecked(isFullScreen());
        m_corners->setChecked(showsLengthsAndKeys());
    });
}

bool WallScaler::isFullScreen() const
{
    // Kept apart from the window's state, which setting the size by hand clears.
    return m_full;
}

void WallScaler::setFullScreen(bool on)
{
    if (on == isFullScreen())
        return;
    Settings settings;
    if (QSettings *file = settings.file())
        file->setValue(QStringLiteral("view/fullScreen"), on);
    m_full = on;
    if (on) {
        m_window->showFullScreen();
        // Where no window manager takes the state (a bare X server), the size is set as well.
        if (const QScreen *screen = m_window->screen())
            m_window->setGeometry(screen->geometry());
    } else {
        m_window->showNormal();
        const QVariant kept = settings.file() ? settings.file()->value(QStringLiteral("view/size")) : QVariant();
        m_window->resize(sizeFrom(kept.toString(), m_classic).value_or(m_classic));
    }
    m_fullScreen->setChecked(on);
}

void WallScaler::classicSize()
{
    setFullScreen(false);
    m_window->resize(m_classic);
    if (const QScreen *screen = m_window->screen())
        m_window->move(screen->availableGeometry().center() - m_window->rect().center());
}

bool WallScaler::showsLengthsAndKeys() const
{
    Settings settings;
    const QVariant chosen = settings.file() ? settings.file()->value(QStringLiteral("view/lengthsAndKeys"))
                                            : QVariant();
    const QString text = chosen.toString();
    if (text == QLatin1String("true") || text == QLatin1String("false"))
        return text == QLatin1String("true");
    return isFullScreen();
}

void WallScaler::restore()
{
    m_restored = true;
    Settings settings;
    const QSettings *file = settings.file();
    if (!file)
        return;
    if (file->value(QStringLiteral("view/fullScreen")).toString() == QLatin1String("true")) {
        // Once shown: a window not yet mapped takes no full-screen state on every platform.
        m_full = true;
        QTimer::singleShot(0, m_window, [this] {
            m_window->showFullScreen();
            if (const QScreen *screen = m_window->screen())
                m_window->setGeometry(screen->geometry());
        });
        return;
    }
    if (const std::optional<QSize> size = sizeFrom(file->value(QStringLiteral("view/size")).toString(), m_classic);
        size && *size != m_classic) {
        const QPoint centre = m_window->geometry().center();
        m_window->resize(*size);
        m_window->move(centre - m_window->rect().center());
    }
}

void WallScaler::keepSize() const
{
    if (isFullScreen())
        return;
    Settings settings;
    if (QSettings *file = settings.file())
        file->setValue(QStringLiteral("view/size"),
                       QStringLiteral("%1x%2").arg(m_window->width()).arg(m_window->height()));
}

void WallScaler::apply()
{
    if (m_applying)
        return;
    m_applying = true;
    const QSize now = m_window->size();
    m_scale = std::max(1.0,
                       std::min(double(now.width()) / m_classic.width(), double(now.height()) / m_classic.height()));
    const double left = (now.width() - m_classic.width() * m_scale) / 2;
    const double top = (now.height() - m_classic.height() * m_scale) / 2;
    const auto scaled = [this, left, top](const QRect &r) {
        const auto at = [this](double origin, int v) { return int(std::lround(origin + v * m_scale)); };
        const int x = at(left, r.left()), y = at(top, r.top());
        return QRect(x, y, at(left, r.left() + r.width()) - x, at(top, r.top() + r.height()) - y);
    };
    for (QObject *child : m_window->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget || widget->isWindow())
            continue;
        // Controls are built at the classic size: the first sight of one is its classic look.
        auto it = m_classicOf.find(widget);
        if (it == m_classicOf.end()) {
            it = m_classicOf.insert(widget, {widget->geometry(), widget->font()});
            connect(widget, &QObject::destroyed, this, [this, widget] { m_classicOf.remove(widget); });
        }
        const bool classic = m_scale == 1.0 && left == 0 && top == 0;
        QFont font = it->font;
        if (!classic) {
            if (font.pointSizeF() > 0)
                font.setPointSizeF(font.pointSizeF() * m_scale);
            else if (font.pixelSize() > 0)
                font.setPixelSize(int(std::lround(font.pixelSize() * m_scale)));
        }
        if (widget->font() != font)
            widget->setFont(font);
        QRect geometry = classic ? it->geometry : scaled(it->geometry);
        if (widget == m_frame && !classic) // the frame fills the window, with the classic strip below
            geometry = QRect(0, 0, now.width(), now.height() - int(std::lround(1 * m_scale)));
        if (widget->geometry() != geometry)
            widget->setGeometry(geometry);
    }
    m_applying = false;
    if (showsLengthsAndKeys() != m_lastCorners) {
        m_lastCorners = showsLengthsAndKeys();
        emit cornersChanged();
    }
}

bool WallScaler::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        if (!m_restored)
            restore();
        break;
    case QEvent::Resize:
        apply();
        m_keepSize.start(); // once the drag has ended, not at every step of it
        break;
    case QEvent::Hide: // a size not written yet goes with the window's close
        if (m_keepSize.isActive()) {
            m_keepSize.stop();
            keepSize();
        }
        break;
    case QEvent::WindowStateChange:
        apply();
        break;
    case QEvent::ChildAdded:
        // A control made later (a notice, a cue line) takes the scale once it is built.
        if (m_scale != 1.0)
            QTimer::singleShot(0, this, &WallScaler::apply);
        break;
    case QEvent::MouseButtonPress: {
        const auto *press = static_cast<QMouseEvent *>(event);
        const QPoint at = press->position().toPoint();
        if (press->button() == Qt::LeftButton && !isFullScreen() && at.x() >= m_window->width() - kCornerGrip
            && at.y() >= m_window->height() - kCornerGrip && m_window->windowHandle()
            && m_window->windowHandle()->startSystemResize(Qt::BottomEdge | Qt::RightEdge))
            return true;
        break;
    }
    default:
        break;
    }
    return false;
}
