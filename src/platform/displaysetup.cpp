#include "platform/displaysetup.h"

#include <QByteArray>
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
