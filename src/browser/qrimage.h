#pragma once

#include <QImage>
#include <QString>

// text as a QR code (error correction M), black on white with the standard quiet zone, each
// module scale pixels; a null image when it does not fit in a QR code.
QImage qrImage(const QString &text, int scale);
