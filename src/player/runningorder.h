#pragma once

#include "show/cartsettings.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <optional>

// The rules of a running order, and nothing else (no clock, no window): which cue GO fires next,
// where a step back or forward goes, and when a cue's follow starts the one after it. The cues
// are a page's carts that hold a file, in slot order.
class RunningOrder
{
public:
    // Which of the twelve slots hold a cue. "Next" stays where it was, moving on to the first cue
    // at or after it should its cue have gone.
    void setCues(const std::array<bool, 12> &present) { m_cues = present; }
    // The cue GO fires next; nothing at the end (or with no cues at all).
    std::optional<int> next() const;
    // A cue fired (by GO, a click or a follow): next is the cue after it.
    void fired(int slot) { m_next = std::clamp(slot + 1, 0, 12); }
    // Next moves to the cue before it (from the end: the last cue); at the first it stays.
    void stepBack();
    // Next moves to the cue after it; at the end it stays.
    void stepForward();
    void restart() { m_next = 0; }
    // Where next stands (0-12; 12: the end), to keep it while another page is shown.
    int position() const { return m_next; }
    void setPosition(int position) { m_next = std::clamp(position, 0, 12); }

    // When a cue of settings, started at startedMs and duration seconds long, starts the next:
    // at its end, or so many seconds after its start; nothing when it waits for GO (a loop never
    // ends, so it never follows at its end).
    static std::optional<qint64> followAtMs(const CartSettings &settings, qint64 startedMs, double duration);

private:
    std::array<bool, 12> m_cues{};
    int m_next = 0;
};
