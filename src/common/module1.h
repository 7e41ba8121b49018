#pragma once

#include <QColor>
#include <QPalette>
#include <QString>
#include <QTimer>

#include <optional>

class QWidget;

// Routines shared by the windows: time text for the displays, centring, the track-button
// routines of playback, and the colour values buttons are painted with.
namespace Module1 {

// Colours as stored values, laid out 0x00BBGGRR.
inline constexpr quint32 Silver = 0xC0C0C0;
inline constexpr quint32 Red = 0x0000FF;
inline constexpr quint32 Blue = 0xFF0000;
inline constexpr quint32 DarkBlue = 0xC00000;
inline constexpr quint32 Yellow = 0x00FFFF;
// Not a fixed colour: the current style's button face.
inline constexpr quint32 ButtonFace = 0x8000000F;

// The colour a stored value stands for; ButtonFace resolves through the palette given.
QColor colour(quint32 value, const QPalette &palette = QPalette());

// An amount of hundredths of a second written with the pattern "000000": rounded to a whole
// number (halves away from zero), at least six digits, a leading minus when negative.
// Amounts that are not finite count as zero.
QString hundredthsText(double hundredths);

// The time text "MM.SS" of a hundredths text: whole seconds (hundredths truncated), minutes
// at least two digits and as many more as they need. A negative amount reads "00.00".
QString TimeText(const QString &hundredths);

// TimeText(hundredthsText(seconds * 100)), what the displays show for an amount of seconds.
QString displayTime(double seconds);

// Places a top-level window in the middle of its screen.
void CentreOnScreen(QWidget *window);

// The playing index stored in the playback timer's tag, when it holds a slot index.
std::optional<int> slotIndex(const QString &tag);

// Disables every track button but the one at index.
template <typename Buttons>
void LockToTrack(const Buttons &buttons, int index)
{
    for (auto *button : buttons)
        button->setEnabled(false);
    buttons[index]->setEnabled(true);
}

// Enables all track buttons, blank tracks included.
template <typename Buttons>
void EnableAllTracks(const Buttons &buttons)
{
    for (auto *button : buttons)
        button->setEnabled(true);
}

// Switches the playback timer off and enables all track buttons.
template <typename Buttons>
void StopAndReleaseButtons(QTimer &timer, const Buttons &buttons)
{
    timer.stop();
    EnableAllTracks(buttons);
}

} // namespace Module1

namespace Module1 {

// The text without leading and trailing spaces (only the space character, as the classic Trim).
QString Trim(const QString &text);

// Tells the user something went wrong, in a message box over parent that does not block the
// caller. The only message the program shows: a save that failed, or input it cannot store.
void warnUser(QWidget *parent, const QString &text);

} // namespace Module1
