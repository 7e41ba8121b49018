#pragma once

#include <QString>
#include <QTimer>

class QWidget;

// Routines shared by the windows: time text for the displays, centring, and the track-button
// routines of playback.
namespace Module1 {

// An amount of hundredths of a second written with the pattern "000000": rounded to a whole
// number (halves away from zero), at least six digits, a leading minus when negative.
// Amounts that are not finite count as zero.
QString hundredthsText(double hundredths);

// The time text "MM.SS" of a hundredths text: whole seconds (hundredths truncated), minutes
// at least two digits and as many more as they need. A negative amount reads "00.00".
QString TimeText(const QString &hundredths);

// The whole seconds TimeText(hundredthsText(hundredths)) shows; -1 for the negative amounts
// it shows as "00.00". Two amounts with the same whole seconds show the same text.
long long shownSeconds(double hundredths);

// TimeText(hundredthsText(seconds * 100)), what the displays show for an amount of seconds.
QString displayTime(double seconds);

// Places a top-level window in the middle of its screen.
void CentreOnScreen(QWidget *window);

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
