// The track-list reader on arbitrary bytes: never more than twelve records, and any twelve
// records without double quotes or line breaks read back as written, each value cut to what
// the reader keeps (kMaxFieldChars, never half a character).
#include "tracklist/tracklistformat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (TrackListFormat::parse(bytes).size() > SlotCount)
        std::abort();

    // The same bytes cut into twenty-four values, stripped of what the format cannot hold.
    TrackList tracks{};
    const QList<QByteArrayView> parts = [&] {
        QList<QByteArrayView> list;
        qsizetype start = 0;
        for (qsizetype i = 0; i <= bytes.size() && list.size() < 2 * SlotCount; ++i) {
            if (i == bytes.size() || bytes[i] == '\x1F') {
                list.append(bytes.sliced(start, i - start));
                start = i + 1;
            }
        }
        return list;
    }();
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QString value = QString::fromUtf8(parts[i]);
        value.remove(QLatin1Char('"'));
        value.remove(QLatin1Char('\r'));
        value.remove(QLatin1Char('\n'));
        TrackSlot &slot = tracks[i / 2];
        (i % 2 == 0 ? slot.fullPath : slot.shortName) = value;
    }
    const QList<TrackSlot> back = TrackListFormat::parse(TrackListFormat::serialize(tracks));
    if (back.size() != SlotCount)
        std::abort();
    const auto cut = [](QString value) {
        if (value.size() > TrackListFormat::kMaxFieldChars)
            value.truncate(TrackListFormat::kMaxFieldChars
                           - (value.at(TrackListFormat::kMaxFieldChars - 1).isHighSurrogate() ? 1 : 0));
        return value;
    };
    for (int n = 0; n < SlotCount; ++n) {
        if (back[n].fullPath != cut(tracks[n].fullPath) || back[n].shortName != cut(tracks[n].shortName))
            std::abort();
    }
    return 0;
}
