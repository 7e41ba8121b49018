#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// A media player that looks at carts ahead of time: the show's other pages, so that showing one
// measures nothing, and a cart that cannot play is known before anyone presses it. Calls come
// from the user-interface thread.
class LookAheadControl
{
public:
    virtual ~LookAheadControl() = default;

    // Files that may be put later: their lengths and loudness are found in the background, after
    // whatever prepare() asked for, and kept. No stream is opened for them and no sound is made.
    // Files already looked at are not looked at again until they change.
    virtual void lookAhead(const QStringList &fileNames) = 0;
    // True when fileName was found unable to play (missing, not audio, refused) the last time it
    // was looked at and has not changed since; false while it is unknown.
    virtual bool knownUnplayable(const QString &fileName) = 0;
    // fileName's length in seconds once it was looked at (and has not changed since); nothing
    // while it is unknown or the file cannot play.
    virtual std::optional<double> knownLength(const QString &fileName) = 0;
    // Called with a file's name when a look at it (for prepare(), lookAhead() or a put) ends.
    virtual void setLookedAtHandler(std::function<void(const QString &fileName)> handler) = 0;
};
