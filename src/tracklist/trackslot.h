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

// The text without leading and trailing spaces (the space character only, as the classic Trim
// does): the test for a blank path or short name.
inline QString trimSpaces(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.sliced(start, end - start);
}

// The whole track list, slot 0 first, as the editor saves it.
using TrackList = std::array<TrackSlot, SlotCount>;
