#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class CommandSurface;

// The OSC methods Kelvo answers, from one packet's bytes to the target:
//   /kelvo/fire i (1-12), /kelvo/stop, /kelvo/fade, /kelvo/state
// /kelvo/state is answered with /kelvo/state i f f (playing slot or 0, remaining and total
// seconds). Anything else (a wrong type or count of arguments, a number out of range, an
// unknown path, a bundle, a packet over kMaxPacketBytes, bytes that are no OSC message) does
// nothing and is described in a complaint. Nothing a packet says opens, reads or writes a file.
namespace OscDispatch {

inline constexpr qsizetype kMaxPacketBytes = 1024;

struct Outcome
{
    std::optional<QByteArray> reply; // a packet to send back to the sender
    QString complaint;               // why the packet was ignored; empty when it was not
};

Outcome handle(const QByteArray &packet, CommandSurface &target);

} // namespace OscDispatch
