#pragma once

#include <QString>

#include <array>

// One of the twelve presets: the audio file's path as the user chose or typed it, and the
// short name that captions the slot's button. Either may be blank.
struct TrackSlot
{
    QString fullPath;
    QString shortName;

    friend bool operator==(const TrackSlot &, const TrackSlot &) = default;
};

inline constexpr int SlotCount = 12;

// The whole track list, slot 0 first, as the editor saves it.
using TrackList = std::array<TrackSlot, SlotCount>;
