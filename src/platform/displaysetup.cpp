#include "platform/displaysetup.h"

#include <QByteArray>
#include <QFileInfo>
#include <QtGlobal>

void prepareDisplay()
{
    // While a track plays the window repaints one button, and once a second a display, four
    // times a second. Under X11 Qt hands each repaint over in shared memory, which costs a round
    // trip to the X server and a wake-up of Qt's event-reader thread every time; the few
    // kilobytes sent in the request itself cost less (measured: a third of the window's CPU).
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", QByteArrayLiteral("1"));
}

std::optional<QString> displayProblem()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return std::nullopt;
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!wayland.isEmpty()) {
        const QString socket = wayland.startsWith(QLatin1Char('/'))
            ? wayland
            : qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + wayland;
        if (QFileInfo::exists(socket))
            return std::nullopt;
    }
    const QString x11 = qEnvironmentVariable("DISPLAY");
    if (!x11.isEmpty()) {
        // ":0" or ":0.0" is a local server with a socket to look for; "host:10.0" (an SSH
        // forwarding, another machine) can only be tried.
        if (!x11.startsWith(QLatin1Char(':')))
            return std::nullopt;
        const QString number = x11.mid(1).section(QLatin1Char('.'), 0, 0);
        if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + number))
            return std::nullopt;
    }
    return QStringLiteral("no display: set DISPLAY or WAYLAND_DISPLAY, or run it from a desktop session");
}
