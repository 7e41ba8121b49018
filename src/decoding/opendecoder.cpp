#include "decoding/opendecoder.h"

#include "decoding/mpg123decoder.h"
#include "decoding/sndfiledecoder.h"

#include <QFile>
#include <QFileInfo>

namespace {

std::unique_ptr<AudioDecoder> openByContent(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return nullptr;
    // MPEG audio opens with an ID3v2 tag or a frame sync and stays with libmpg123, which cuts
    // it gaplessly; anything else is libsndfile's to recognise first.
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(2) : QByteArray();
    file.close();
    const bool mpeg = head.startsWith("ID")
        || (head.size() == 2 && quint8(head[0]) == 0xFF && (quint8(head[1]) & 0xE0) == 0xE0);
    if (!mpeg) {
        auto sndfile = std::make_unique<SndfileDecoder>();
        switch (sndfile->open(path)) {
        case SndfileDecoder::Opened::Yes:
            return sndfile;
        case SndfileDecoder::Opened::Refused:
            return nullptr; // never MPEG: libmpg123 would find "frames" in its samples
        case SndfileDecoder::Opened::Unrecognised:
            break;
        }
    }
    auto mpg123 = std::make_unique<Mpg123Decoder>();
    if (mpg123->open(path))
        return mpg123;
    return nullptr;
}

} // namespace

std::unique_ptr<AudioDecoder> openDecoder(const QString &path)
{
    std::unique_ptr<AudioDecoder> decoder = openByContent(path);
    // A WAV file may claim any rate down to 1 Hz; below this it is no sound to play, and the
    // sound server and a ring sized in seconds are not made for it.
    if (decoder && decoder->rate() < kMinimumRate)
        return nullptr;
    return decoder;
}

std::optional<double> probeDuration(const QString &path)
{
    const std::unique_ptr<AudioDecoder> decoder = openDecoder(path);
    const std::optional<qint64> samples = decoder ? decoder->exactLength() : std::nullopt;
    if (!samples)
        return std::nullopt;
    return double(*samples) / decoder->rate();
}
