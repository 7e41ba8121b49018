// The show reader on arbitrary bytes: never more pages than a show may have, at least one when
// it is a show, nothing it keeps longer than its limits, no path climbing out of the folder or
// holding control characters, no cart setting out of its range; and what it read writes and reads
// back the same.
#include "show/showformat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(const ShowReading &reading)
{
    if (!reading.isShow)
        return;
    if (reading.show.pages.isEmpty() || reading.show.pages.size() > ShowFormat::kMaxPages)
        std::abort();
    for (const ShowPage &page : reading.show.pages) {
        if (page.name.isEmpty() || page.name.size() > ShowFormat::kMaxNameChars)
            std::abort();
        for (const ShowCart &cart : page.carts) {
            if (cart.caption.size() > ShowFormat::kMaxCaptionChars)
                std::abort();
            if (!cart.file.isEmpty() && !cart.file.startsWith(QLatin1String("/")))
                std::abort();
            for (const QChar c : cart.file) {
                if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                    std::abort();
            }
            const CartSettings &settings = cart.settings;
            if (!(settings.gainDb >= CartSettingsFormat::kLeastGainDb
                  && settings.gainDb <= CartSettingsFormat::kMostGainDb)
                || !(settings.in >= 0 && settings.in <= CartSettingsFormat::kLatestTime)
                || (settings.out && !(*settings.out > settings.in && *settings.out <= CartSettingsFormat::kLatestTime))
                || !(settings.fadeIn >= 0 && settings.fadeIn <= CartSettingsFormat::kLongestFade)
                || (settings.fadeOut
                    && !(*settings.fadeOut >= 0 && *settings.fadeOut <= CartSettingsFormat::kLongestFade))
                || (!settings.colour.isEmpty() && settings.colour.size() != 7))
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString folder = QStringLiteral("/show");
    const ShowReading reading = ShowFormat::parse(bytes, folder);
    check(reading);
    if (!reading.isShow)
        return 0;
    const ShowReading again = ShowFormat::parse(ShowFormat::serialize(reading.show, folder), folder);
    check(again);
    if (!again.isShow || again.show.pages.size() != reading.show.pages.size())
        std::abort();
    for (qsizetype p = 0; p < reading.show.pages.size(); ++p) {
        if (again.show.pages[p].name != reading.show.pages[p].name)
            std::abort();
        for (int c = 0; c < SlotCount; ++c) {
            const ShowCart &before = reading.show.pages[p].carts[size_t(c)];
            const ShowCart &after = again.show.pages[p].carts[size_t(c)];
            if (before.file != after.file || before.caption != after.caption || before.settings != after.settings)
                std::abort();
        }
    }
    return 0;
}
