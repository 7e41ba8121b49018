#include "common/ratelimiter.h"

std::optional<QString> RateLimiter::admit(const QString &key, const QString &text, qint64 nowNs)
{
    QString slot = key;
    if (!m_entries.contains(slot) && m_entries.size() >= kMostKeys) {
        // Forget what is quiet; when everything is busy, the newcomers share one key.
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            if (nowNs - it->writtenNs >= kWindowNs && it->heldBack == 0)
                it = m_entries.erase(it);
            else
                ++it;
        }
        if (m_entries.size() >= kMostKeys)
            slot = QStringLiteral("\x01others");
    }
    auto it = m_entries.find(slot);
    if (it != m_entries.end() && nowNs - it->writtenNs < kWindowNs) {
        ++it->heldBack;
        return std::nullopt;
    }
    QString line = text;
    if (it != m_entries.end() && it->heldBack > 0)
        line += QStringLiteral(" (and %1 more like it before)").arg(it->heldBack);
    m_entries.insert(slot, Entry{nowNs, 0});
    return line;
}
