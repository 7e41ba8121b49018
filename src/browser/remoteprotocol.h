#pragma once

#include "player/commandsurface.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The messages between the remote page and Kelvo: JSON text frames of at most kMaxMessage
// bytes. From the page: {"type": "hello", "token": T} (a paired browser), {"type": "pair",
// "pin": "123456", "name": N} (or "key": K, from the code on Kelvo's screen), and {"type": "press", "seq": S, "slot": 1-12}, {"type": "stop",
// "seq": S}, {"type": "fade", "seq": S}, {"type": "stopall", "seq": S}, {"type": "go", "seq": S},
// {"type": "page", "seq": S,
// "page": 1-99}; a command may
// carry "at": when it was sent, on Kelvo's clock as the page reckons it from "now". From Kelvo:
// "state" (the command surface's state, on every change but the countdown's), "tick" (the
// heartbeat, every second, with the remaining seconds while a cart plays), "paired",
// "refused" (with a reason); "state" and "tick" carry "now", Kelvo's clock in milliseconds.
namespace RemoteProtocol {

constexpr int kMaxMessage = 4096;

struct Message
{
    enum class Kind { Hello, Pair, Press, Stop, Fade, StopAll, Go, Page };
    Kind kind = Kind::Hello;
    QString token; // Hello
    QString pin;   // Pair
    QString key;   // Pair: the key of the code on Kelvo's screen, instead of the PIN
    QString name;  // Pair: the browser's name for itself, at most 64 characters
    qint64 seq = 0;
    int slot = 0;                 // Press: 1-12
    int page = 0;                 // Page: 1-99
    std::optional<qint64> sentAt; // a command's "at", when the page gave one
};

// A message from the page; nothing, with why, for anything else (not JSON, too large, an
// unknown kind, a field of the wrong type or out of range).
std::optional<Message> parse(const QByteArray &text, QString *why);

// nowMs: Kelvo's clock, for the page to stamp its commands with.
QByteArray state(const SurfaceState &state, qint64 nowMs = 0);
// The heartbeat; while a cart plays it carries the remaining seconds, which correct the page's
// own countdown.
QByteArray tick(std::optional<double> remaining = std::nullopt, qint64 nowMs = 0);
QByteArray paired(const QString &token);
QByteArray refused(const QString &reason);

} // namespace RemoteProtocol
