#include "tracklist/tracklistformat.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace {

using TrackListFormat::kMaxFieldChars;

// Bytes 0x80-0x9F of Windows-1252; the rest of the code page coincides with Latin-1.
// Unassigned positions map to the replacement character so nothing decodes to a control code.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

[[maybe_unused]] QString decodeCp1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

bool isValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

// UTF-8 for one field, keeping a U+FEFF that starts it: only the file's first bytes can be a
// byte-order mark, and those are gone before fields are read.
QString fromUtf8Field(QByteArrayView field)
{
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(field);
}

QString boundedField(QString value)
{
    if (value.size() > kMaxFieldChars) {
        qsizetype cut = kMaxFieldChars;
        if (value.at(cut - 1).isHighSurrogate())
            --cut; // never split a character in two
        value.truncate(cut);
    }
    return value;
}

// The bytes without a byte-order mark at the very start, as UTF-8 where the mark says UTF-16.
QByteArray withoutByteOrderMark(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return bytes.sliced(3).toByteArray();
    const bool little = bytes.startsWith("\xFF\xFE");
    if (little || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                               QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        return QString(decoder.decode(bytes.sliced(2))).toUtf8();
    }
    return bytes.toByteArray();
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Walks the bytes with the sequential-input rules. Every call that is not at the end consumes
// at least one byte, which is what guarantees termination on any input.
class FieldReader
{
public:
    explicit FieldReader(QByteArrayView bytes)
        : m_bytes(bytes)
    { }

    // True when only blanks and line ends remain: a trailing empty line is no record.
    bool atEnd() const
    {
        for (qsizetype i = m_pos; i < m_bytes.size(); ++i) {
            const char c = m_bytes[i];
            if (c != ' ' && c != '\t' && !isLineEnd(c))
                return false;
        }
        return true;
    }

    QByteArrayView next()
    {
        while (m_pos < m_bytes.size() && (m_bytes[m_pos] == ' ' || m_bytes[m_pos] == '\t'))
            ++m_pos;
        if (m_pos >= m_bytes.size())
            return {};
        if (m_bytes[m_pos] == '"') {
            const qsizetype start = ++m_pos;
            qsizetype end = m_bytes.indexOf('"', start);
            if (end < 0)
                end = m_bytes.size(); // an unterminated quote takes the rest of the file
            m_pos = end;
            skipPastSeparator();
            return m_bytes.sliced(start, end - start);
        }
        const qsizetype start = m_pos;
        while (m_pos < m_bytes.size() && m_bytes[m_pos] != ',' && !isLineEnd(m_bytes[m_pos]))
            ++m_pos;
        qsizetype end = m_pos;
        while (end > start && (m_bytes[end - 1] == ' ' || m_bytes[end - 1] == '\t'))
            --end;
        consumeSeparator();
        return m_bytes.sliced(start, end - start);
    }

private:
    // After a closing quote, anything up to the next comma or line end is discarded.
    void skipPastSeparator()
    {
        while (m_pos < m_bytes.size() && m_bytes[m_pos] != ',' && !isLineEnd(m_bytes[m_pos]))
            ++m_pos;
        consumeSeparator();
    }

    void consumeSeparator()
    {
        if (m_pos >= m_bytes.size())
            return;
        const char c = m_bytes[m_pos++];
        if (c == '\r' && m_pos < m_bytes.size() && m_bytes[m_pos] == '\n')
            ++m_pos;
    }

    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

} // namespace

namespace TrackListFormat {

QString decode(QByteArrayView bytes)
{
#ifdef Q_OS_WIN
    return QStringDecoder(QStringConverter::System).decode(bytes);
#else
    return isValidUtf8(bytes) ? QString::fromUtf8(bytes) : decodeCp1252(bytes);
#endif
}

QByteArray encode(const QString &text)
{
#ifdef Q_OS_WIN
    return QStringEncoder(QStringConverter::System).encode(text);
#else
    return text.toUtf8();
#endif
}

QList<TrackSlot> parse(QByteArrayView file)
{
    // Notepad and other editors may start the file with a byte-order mark: it is no data.
    const bool marked = file.startsWith("\xEF\xBB\xBF") || file.startsWith("\xFF\xFE") || file.startsWith("\xFE\xFF");
    const QByteArray unmarked = marked ? withoutByteOrderMark(file) : QByteArray();
    const QByteArrayView bytes = marked ? QByteArrayView(unmarked) : file;
    // The whole file is in one encoding, so decide once rather than per field. A field is cut
    // to its bound before it is decoded (4 bytes a character at most) and again after.
#ifdef Q_OS_WIN
    const bool utf8 = marked;
#else
    const bool utf8 = marked || isValidUtf8(bytes);
#endif
    const auto decodeField = [utf8](QByteArrayView field) {
        field = field.first(std::min(field.size(), 4 * kMaxFieldChars));
        if (utf8)
            return boundedField(fromUtf8Field(field));
#ifdef Q_OS_WIN
        return boundedField(decode(field));
#else
        return boundedField(decodeCp1252(field));
#endif
    };
    QList<TrackSlot> records;
    FieldReader reader(bytes);
    while (records.size() < SlotCount && !reader.atEnd()) {
        TrackSlot slot;
        slot.fullPath = decodeField(reader.next());
        slot.shortName = decodeField(reader.next());
        records.append(std::move(slot));
    }
    return records;
}

QList<int> slotsHoldingQuotes(const TrackList &tracks)
{
    QList<int> holding;
    for (int n = 0; n < SlotCount; ++n) {
        if (tracks[n].fullPath.contains(QLatin1Char('"')) || tracks[n].shortName.contains(QLatin1Char('"')))
            holding.append(n);
    }
    return holding;
}

QByteArray serialize(const TrackList &tracks)
{
    QByteArray bytes;
    for (const TrackSlot &slot : tracks) {
        bytes += '"';
        bytes += encode(slot.fullPath);
        bytes += "\",\"";
        bytes += encode(slot.shortName);
        bytes += "\"\r\n";
    }
    return bytes;
}

} // namespace TrackListFormat
