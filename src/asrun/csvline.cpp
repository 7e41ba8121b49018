#include "asrun/csvline.h"

QByteArray csvLine(const QStringList &fields)
{
    QStringList cells;
    for (QString field : fields) {
        field.removeIf([](QChar c) { return c.category() == QChar::Other_Control && c != u'\n' && c != u'\r'; });
        if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\n'))
            || field.contains(QLatin1Char('\r')))
            field = QLatin1Char('"') + field.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        cells << field;
    }
    return cells.join(QLatin1Char(',')).toUtf8() + "\r\n";
}
