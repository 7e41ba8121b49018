#pragma once

#include <QtGlobal>

// Milliseconds on the system's monotonic clock: the same clock in every process of the machine,
// so a time one program sends means the same to another. It goes on while a process is stopped.
qint64 monotonicMs();
