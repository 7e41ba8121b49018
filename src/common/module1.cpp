#include "common/module1.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <limits>

namespace Module1 {

QColor colour(quint32 value, const QPalette &palette)
{
    if (value == ButtonFace)
        return palette.color(QPalette::Button);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

QString hundredthsText(double hundredths)
{
    // Beyond this the value is no time a track can have; clamping keeps llround defined.
    constexpr double kLimit = 1e15;
    if (!std::isfinite(hundredths))
        hundredths = 0;
    const long long whole = std::llround(std::clamp(hundredths, -kLimit, kLimit));
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
    return QStringLiteral("%1.%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
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

std::optional<int> slotIndex(const QString &tag)
{
    bool ok = false;
    const int index = tag.trimmed().toInt(&ok);
    if (!ok || index < 0 || index >= 12)
        return std::nullopt;
    return index;
}

} // namespace Module1

namespace Module1 {

void warnUser(QWidget *parent, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Kelvo"), text, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("KelvoMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QString Trim(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.sliced(start, end - start);
}

} // namespace Module1
