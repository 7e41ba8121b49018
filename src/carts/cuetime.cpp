#include "carts/cuetime.h"

#include <QRegularExpression>

#include <cmath>

namespace CueTime {

QString text(double seconds)
{
    const qint64 hundredths = std::isfinite(seconds) && seconds > 0 ? std::llround(seconds * 100) : 0;
    return QStringLiteral("%1.%2.%3")
        .arg(hundredths / 6000, 2, 10, QLatin1Char('0'))
        .arg(hundredths / 100 % 60, 2, 10, QLatin1Char('0'))
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

std::optional<double> parse(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,4})\\.([0-5]\\d)(?:\\.(\\d{1,2}))?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const int minutes = match.captured(1).toInt();
    const int seconds = match.captured(2).toInt();
    QString fraction = match.captured(3);
    if (fraction.size() == 1)
        fraction += QLatin1Char('0'); // "00.02.5" is half a second
    return minutes * 60.0 + seconds + fraction.toInt() / 100.0;
}

} // namespace CueTime
