#pragma once

#include <QString>

// Lines on standard error from the running program. They are handed to a thread of their own
// that writes them, so a stderr nobody reads (a full pipe) never blocks the caller, whatever
// thread it is on; the queue is bounded (what does not fit is dropped and counted), and each
// kind of line from each peer is written at most once in ten seconds (see RateLimiter).
namespace Diagnostics {

// Reports text ("kelvo: " is put before it) as a line of kind from peer (an address; empty for
// none). Safe from any thread.
void report(const QString &kind, const QString &peer, const QString &text);

// Sends Qt's own messages (warnings and the like) the same way, each text its own kind.
void installMessageHandler();

// Waits at most timeoutMs for what is queued to be written: for the last lines before an exit.
void flush(int timeoutMs);

} // namespace Diagnostics
