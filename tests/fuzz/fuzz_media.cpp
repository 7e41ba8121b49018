// The media layer's open, probe and loudness meter on arbitrary bytes as a file: the duration
// is finite and not negative, decoding to the end terminates (a hang is caught by libFuzzer's
// timeout), and a loudness, when there is one, is a finite level with a finite true peak.
#include "decoding/opendecoder.h"
#include "loudness/loudnessmeter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = QDir::temp().filePath(
        QStringLiteral("kelvo-fuzz-%1.mp3").arg(QCoreApplication::applicationPid()));
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
        while (decoder->read(buffer.data(), buffer.size()) > 0) { }
    }
    if (const std::optional<Loudness> loudness = measureLoudness(path)) {
        if (!std::isfinite(loudness->integratedLufs) || !std::isfinite(loudness->truePeakDb))
            std::abort();
    }
    QFile::remove(path); // nothing left behind in the temporary folder
    return 0;
}
