#include "asrun/csvline.h"

QByteArray csvLine(const QStringList &fields)
{
    QStringList cells;
    for (QString field : fields) {
        field.removeIf([](QChar c) { return c.category() == QChar::Other_Control && c != u'\n' && c != u'\r'; });
        // A spreadsheet runs a cell that begins so as a formula (a caption such as
        // "=HYPERLINK(...)"); a leading apostrophe keeps it text.
        if (!field.isEmpty() && QStringLiteral("=+-@\t\r").contains(field.front()))
            field.prepend(QLatin1Char('\''));
        if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\n'))
            || field.contains(QLatin1Char('\r')))
            field = QLatin1Char('"') + field.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        cells << field;
    }
    return cells.join(QLatin1Char(',')).toUtf8() + "\r\n";
}
