#pragma once

#include "tracklist/trackslot.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The track-list file's text format, as pure functions over bytes so that every rule can be
// checked without touching the disk.
//
// A record is two comma-separated fields, normally both double-quoted, ending in CR LF.
// Reading follows the classic sequential-input rules: spaces before a field are skipped; a
// quoted field runs to the next double quote and reading resumes past the next comma or line
// end; an unquoted field runs to the next comma or line end (trailing spaces dropped); the two
// fields of a record may stand on two lines. Lines may end in CR LF, LF or CR.
namespace TrackListFormat {

// One value holds at most this many characters (what a text box holds); the rest of a longer
// field is dropped (never half a character), so that a stray huge file can neither stall
// start-up nor every repaint.
inline constexpr qsizetype kMaxFieldChars = 32767;

// Records in file order, at most SlotCount of them; records past the twelfth are ignored.
// A byte-order mark at the very start (UTF-8, UTF-16) is skipped; anywhere else it is data.
// A value longer than kMaxFieldChars is cut there. Accepts any bytes whatsoever and always
// terminates in time linear in the input.
QList<TrackSlot> parse(QByteArrayView file);

// The slots (0 to 11) holding a double quote, which the format cannot store.
QList<int> slotsHoldingQuotes(const TrackList &tracks);

// Exactly SlotCount records: '"' path '"' ',' '"' name '"' CR LF, values written as held.
QByteArray serialize(const TrackList &tracks);

// The file's 8-bit text: the ANSI code page on Windows; elsewhere UTF-8, reading bytes that
// are not valid UTF-8 as Windows-1252 so files written by the Windows program still load.
QString decode(QByteArrayView bytes);
QByteArray encode(const QString &text);

} // namespace TrackListFormat
