// The media layer's open and probe on arbitrary bytes as a file: the duration is finite and
// not negative, and decoding to the end terminates (a hang is caught by libFuzzer's timeout).
#include "platform/audiodecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = QDir::temp().filePath(QStringLiteral("kelvo-fuzz-%1.mp3").arg(QCoreApplication::applicationPid()));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    if (const std::optional<double> seconds = probeDuration(path)) {
        if (!std::isfinite(*seconds) || *seconds < 0)
            std::abort();
    }
    const std::unique_ptr<AudioDecoder> decoder = openDecoder(path);
    if (decoder && decoder->exactLength()) {
        QByteArray buffer(16 * 1024, Qt::Uninitialized);
        while (decoder->read(buffer.data(), buffer.size()) > 0) {
        }
    }
    return 0;
}
