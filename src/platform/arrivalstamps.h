#pragma once

#include <QtGlobal>

#include <optional>

// When the datagrams of a socket reached the machine, as its kernel stamped them: a program
// that hung, or was stopped, reads them late but still learns how long ago they came.
namespace ArrivalStamps {

// Asks the kernel to stamp every datagram socket descriptor fd receives; false when it cannot.
bool enable(qintptr fd);

// How many milliseconds ago the next datagram waiting on fd arrived, without taking it; nothing
// when none waits or it carries no stamp.
std::optional<qint64> ageOfNextMs(qintptr fd);

} // namespace ArrivalStamps
