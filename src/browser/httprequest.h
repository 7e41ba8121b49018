#pragma once

#include <QByteArray>
#include <QHash>

// One HTTP/1.x request head, read with bounds: the request line and the headers, at most
// kMaxHeadBytes in all and kMaxHeaders lines. The body is never read (only GET is served).
class HttpRequest
{
public:
    static constexpr int kMaxHeadBytes = 8192;
    static constexpr int kMaxHeaders = 100;

    enum class Status {
        Incomplete, // more bytes are needed
        Complete,   // the head is read: see the accessors
        Bad,        // not a request this server understands (400)
        TooLarge,   // the head exceeds kMaxHeadBytes (431)
    };

    // Reads what has arrived so far (all of it, from the connection's first byte).
    Status parse(const QByteArray &received);

    QByteArray method() const { return m_method; }
    // The path, without its query.
    QByteArray path() const { return m_path; }
    // A header's value, by name in any case; empty when absent. A header given twice is Bad.
    QByteArray header(const QByteArray &name) const { return m_headers.value(name.toLower()); }
    // The bytes of the head, up to and with its empty line.
    qsizetype headLength() const { return m_headLength; }

private:
    QByteArray m_method;
    QByteArray m_path;
    QHash<QByteArray, QByteArray> m_headers;
    qsizetype m_headLength = 0;
};
