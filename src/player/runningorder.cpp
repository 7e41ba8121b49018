#include "player/runningorder.h"

#include <cmath>

std::optional<int> RunningOrder::next() const
{
    for (int slot = m_next; slot < 12; ++slot) {
        if (m_cues[size_t(slot)])
            return slot;
    }
    return std::nullopt;
}

void RunningOrder::stepBack()
{
    const int from = next().value_or(12);
    for (int slot = from - 1; slot >= 0; --slot) {
        if (m_cues[size_t(slot)]) {
            m_next = slot;
            return;
        }
    }
}

void RunningOrder::stepForward()
{
    if (const std::optional<int> now = next())
        m_next = *now + 1;
}

std::optional<qint64> RunningOrder::followAtMs(const CartSettings &settings, qint64 startedMs, double duration)
{
    if (settings.followAfter)
        return startedMs + std::llround(*settings.followAfter * 1000);
    if (settings.followEnd && !settings.loop && duration > 0)
        return startedMs + std::llround(duration * 1000);
    return std::nullopt;
}
