#include "common/module1.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <limits>

namespace Module1 {

namespace {
long long roundedHundredths(double hundredths)
{
    // Beyond this the value is no time a track can have; clamping keeps llround defined.
    constexpr double kLimit = 1e15;
    if (!std::isfinite(hundredths))
        hundredths = 0;
    return std::llround(std::clamp(hundredths, -kLimit, kLimit));
}
} // namespace

long long shownSeconds(double hundredths)
{
    const long long whole = roundedHundredths(hundredths);
    return whole < 0 ? -1 : whole / 100;
}

QString hundredthsText(double hundredths)
{
    const long long whole = roundedHundredths(hundredths);
    const QString digits = QStringLiteral("%1").arg(whole < 0 ? -whole : whole, 6, 10, QLatin1Char('0'));
    return whole < 0 ? QLatin1Char('-') + digits : digits;
}

QString TimeText(const QString &hundredths)
{
    // All digits but the last two are the whole seconds, however many there are, so long
    // tracks show their true minutes.
    if (hundredths.startsWith(QLatin1Char('-')))
        return QStringLiteral("00.00");
    qsizetype digitCount = 0;
    while (digitCount < hundredths.size() && hundredths.at(digitCount).isDigit())
        ++digitCount;
    bool ok = false;
    const long long seconds = digitCount > 2 ? hundredths.left(digitCount - 2).toLongLong(&ok) : 0;
    if (!ok || seconds < 0)
        return QStringLiteral("00.00");
    return QStringLiteral("%1.%2").arg(seconds / 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString displayTime(double seconds)
{
    return TimeText(hundredthsText(seconds * 100));
}

void CentreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.x() + int(std::lround((area.width() - size.width()) / 2.0)),
                 area.y() + int(std::lround((area.height() - size.height()) / 2.0)));
}

} // namespace Module1
