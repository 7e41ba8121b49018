#pragma once

#include <QHash>
#include <QString>

#include <optional>

// Decides which diagnostic lines are written: the first of each key (a kind and a peer) in a
// window of kWindowNs, the rest counted and said with the next one written. At most kMostKeys
// keys are remembered, so junk from many peers cannot grow it; past that they share one.
class RateLimiter
{
public:
    static constexpr qint64 kWindowNs = 10'000'000'000;
    static constexpr qsizetype kMostKeys = 256;

    // The line to write for text under key at nowNs (a monotonic clock), with the count of
    // those held back since the last one; nothing when it is held back.
    std::optional<QString> admit(const QString &key, const QString &text, qint64 nowNs);

private:
    struct Entry
    {
        qint64 writtenNs = 0;
        qint64 heldBack = 0;
    };
    QHash<QString, Entry> m_entries;
};
