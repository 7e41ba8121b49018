#include "browser/httprequest.h"

#include <QList>

namespace {

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 32 || u >= 127 || c == ':' || c == '"' || c == '(' || c == ')' || c == ',' || c == '/' || c == ';'
            || c == '<' || c == '=' || c == '>' || c == '?' || c == '@' || c == '[' || c == '\\' || c == ']' || c == '{'
            || c == '}')
            return false;
    }
    return true;
}

bool isPrintable(const QByteArray &text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 32 && c != '\t') || u == 127)
            return false;
    }
    return true;
}

} // namespace

HttpRequest::Status HttpRequest::parse(const QByteArray &received)
{
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0)
        return received.size() > kMaxHeadBytes ? Status::TooLarge : Status::Incomplete;
    if (end + 4 > kMaxHeadBytes)
        return Status::TooLarge;
    m_headLength = end + 4;
    // Every line with its CR LF; the split leaves an empty piece after the last.
    QList<QByteArray> lines = received.left(end + 2).split('\n');
    lines.removeLast();
    if (lines.size() > kMaxHeaders + 1)
        return Status::TooLarge;
    for (const QByteArray &line : std::as_const(lines)) {
        if (!line.endsWith('\r'))
            return Status::Bad; // a bare LF
    }
    const QList<QByteArray> parts = lines.constFirst().chopped(1).split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !parts[1].startsWith('/') || !isPrintable(parts[1])
        || (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0"))
        return Status::Bad;
    m_method = parts[0];
    const qsizetype query = parts[1].indexOf('?');
    m_path = query < 0 ? parts[1] : parts[1].left(query);
    m_headers.clear();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray content = lines[i].chopped(1);
        const qsizetype colon = content.indexOf(':');
        if (colon <= 0)
            return Status::Bad; // a folded line, or no name
        const QByteArray name = content.left(colon).toLower();
        const QByteArray value = content.mid(colon + 1).trimmed();
        if (!isToken(name) || !isPrintable(value) || m_headers.contains(name))
            return Status::Bad;
        m_headers.insert(name, value);
    }
    return Status::Complete;
}
