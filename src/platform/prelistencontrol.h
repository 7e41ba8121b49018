#pragma once

#include <QString>

// A media player that pre-listens carts beside the air. Calls come from the user-interface
// thread.
class PreListenControl
{
public:
    virtual ~PreListenControl() = default;

    // Plays fileName from its start on the pre-listen output (see OutputControl), beside
    // whatever plays on air and without touching it; any earlier pre-listen stops. False when
    // there is no pre-listen output or the file cannot play.
    virtual bool preListen(const QString &fileName) = 0;
    virtual void stopPreListen() = 0;
    // True until the pre-listen stops or reaches its end.
    virtual bool preListening() = 0;
};
