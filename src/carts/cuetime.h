#pragma once

#include <QString>

#include <optional>

// A time in a cart's file as the settings show and take it: the displays' time text with the
// hundredths after it, "MM.SS.hh" (minutes at least two digits).
namespace CueTime {

// seconds to the nearest hundredth.
QString text(double seconds);

// The seconds of "MM.SS.hh" or "MM.SS" (seconds below 60, at most two digits of hundredths;
// spaces around it ignored); nothing for anything else.
std::optional<double> parse(const QString &text);

} // namespace CueTime
