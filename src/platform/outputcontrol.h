#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// One of the sound server's outputs: its name (what is stored) and its description.
struct MediaOutput
{
    QString name;
    QString description;
};

// A media player whose outputs can be chosen. Calls come from the user-interface thread.
class OutputControl
{
public:
    virtual ~OutputControl() = default;

    // The server's outputs now (asked of it: a short wait); none without a server.
    virtual QList<MediaOutput> outputs() = 0;
    // Where carts play (empty: the server's default) and where they are pre-listened (empty:
    // nowhere). A chosen output the server does not have plays to the default instead, until it
    // comes back; a missing pre-listen output pre-listens nothing.
    virtual void setOutputs(const QString &air, const QString &preListen) = 0;

    // Why nothing can be heard now, for people ("no sound server answers"); nothing while carts
    // can be heard, or before it is known. Carts still play on a silent clock meanwhile. A
    // server that answers again is noticed as soon as a cart is put or got ready, never by
    // asking it while nothing happens.
    virtual std::optional<QString> soundProblem() = 0;
    // Called on the user-interface thread whenever soundProblem() may have changed.
    virtual void setSoundProblemHandler(std::function<void()> handler) = 0;
};
