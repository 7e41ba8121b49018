#pragma once

#include "show/cartsettings.h"
#include "tracklist/trackslot.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// One cart of a show: its file (absolute, as resolved against the show's folder) and its
// caption, and whatever else the file said of it that this version does not know (kept on save).
struct ShowCart
{
    QString file;
    QString caption;
    QJsonObject unknown;
    CartSettings settings{};
};

// How a page's carts play with one another: one at a time (the wall locks while one plays),
// together (a cart fired plays over whatever plays), or hand over (a cart fired fades out what
// plays, and starts at once).
enum class PageMode { One, Together, HandOver };

struct ShowPage
{
    QString name;
    std::array<ShowCart, SlotCount> carts{};
    QJsonObject unknown;
    PageMode mode = PageMode::One;
    bool runningOrder = false; // its carts are cues fired in slot order by GO
};

struct Show
{
    QList<ShowPage> pages;
    QJsonObject unknown;
};

// What a read made of a show file.
struct ShowReading
{
    bool isShow = false;  // false: not a show file at all (nothing else is set)
    bool isNewer = false; // written by a newer version: open it read-only, never save over it
    Show show;            // at least one page when isShow
    QStringList skipped;  // what was left out or cut, one line each, for the user
};

// The show file: JSON, UTF-8,
//   {"kelvo-show": 1, "pages": [{"name": "Act 1", "playback": "together", "carts":
//    [{"file": "music/a.flac", "caption": "Overture"}, {}, ...]}, ...]}
// A page's "playback" is "one" (when left out), "together" or "handover"; "go": true makes it a
// running order.
// A file inside the show's folder is stored relative to it and read back against it, so a
// copied folder plays wherever it goes. Reading takes whatever makes sense and lists the rest.
namespace ShowFormat {

inline constexpr int kVersion = 1;
inline constexpr int kMaxPages = 99;
inline constexpr qsizetype kMaxBytes = 8 * 1024 * 1024;
inline constexpr qsizetype kMaxNameChars = 64;
inline constexpr qsizetype kMaxCaptionChars = 256;
inline constexpr qsizetype kMaxPathChars = 4096;

// The name a page has when none is given: "Page 1" for the first.
QString defaultPageName(int index);

// Reads bytes of a show file kept in folder. More than kMaxBytes is refused whole.
ShowReading parse(const QByteArray &bytes, const QString &folder);

// Writes show for a file kept in folder. With firstPageElsewhere the first page's files and
// captions are left out (they live in the track-list file); what else it holds is kept.
QByteArray serialize(const Show &show, const QString &folder, bool firstPageElsewhere = false);

} // namespace ShowFormat
