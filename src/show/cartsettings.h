#pragma once

#include "platform/cartplayback.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// What a cart of a show does beyond its file and caption. The defaults play the file whole, once,
// at its own level, fading as the window's menu says, on a button of the usual face.
struct CartSettings
{
    double gainDb = 0;
    double in = 0;             // seconds from the file's start
    std::optional<double> out; // none: the file's end
    bool loop = false;
    double fadeIn = 0;
    std::optional<double> fadeOut; // none: the window's fade length
    QString colour;                // "#rrggbb" at rest; empty: the button face
    QString group;                 // firing a cart fades the others of its group out; empty: none
    double duckDb = 0;             // while it plays, the others play this much lower; 0: not at all
    // In a running order: the next cue starts when this one ends, or this many seconds after it
    // started; neither: the next waits for GO.
    bool followEnd = false;
    std::optional<double> followAfter;
    QString note; // for the operator, shown while it is the next cue

    bool isDefault() const { return *this == CartSettings{}; }
    // How the player is to play the cart.
    CartPlayback playback() const { return {in, out, loop, gainDb, fadeIn}; }
    friend bool operator==(const CartSettings &, const CartSettings &) = default;
};

// The settings' keys in a show file's cart: gain_db, in, out, loop, fade_in, fade_out, colour,
// group, duck_db, follow ("end", or seconds after the start) and note, seconds as numbers, absent
// for a default.
namespace CartSettingsFormat {

inline constexpr double kLeastGainDb = -30;
inline constexpr double kMostGainDb = 12;
inline constexpr double kLongestFade = 60;
inline constexpr double kLatestTime = 24 * 3600; // no cart is longer than a day
inline constexpr double kShortestPart = 0.01;    // out comes this long after in at least
inline constexpr double kDeepestDuckDb = -40;
inline constexpr qsizetype kMaxGroupChars = 32;
inline constexpr qsizetype kMaxNoteChars = 500;
inline constexpr double kLatestFollow = 3600; // a follow is at most an hour after its cue's start

// Takes the settings' keys out of cart. Values out of range are clamped and values of the wrong
// kind left at the default, each with a line in notes that names where (such as "cart 3 of page 2").
CartSettings take(QJsonObject &cart, const QString &where, QStringList *notes);

// Writes the settings that are not the default into cart.
void put(const CartSettings &settings, QJsonObject &cart);

// settings as a user may keep them: every value in range, and in at least kShortestPart before
// out (or out dropped, and a loop with it).
CartSettings clamped(CartSettings settings);

} // namespace CartSettingsFormat
