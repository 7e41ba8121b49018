// The OSC method dispatch on arbitrary packets, through liblo's message parsing, to a fake
// player: a packet does at most one thing, only what a valid message for it says (a fire of a
// slot from 1 to 12, on the page shown or on a page from 1 to 99; a page; a stop, a fade), and
// only /kelvo/state is answered, with a well-formed /kelvo/state i f f i i.
#include "remote/oscdispatch.h"
#include "player/commandsurface.h"

#include <lo/lo_lowlevel.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

class CountingTarget : public CommandSurface
{
public:
    int actions = 0;
    int shown = 1;
    void fire(int slot) override
    {
        if (slot < 1 || slot > 12)
            std::abort();
        ++actions;
    }
    void showPage(int page) override
    {
        if (page < 1 || page > 99)
            std::abort();
        shown = page;
    }
    bool openShow(const QString &) override { std::abort(); } // nor opens a show
    void stop() override { ++actions; }
    void fade() override { ++actions; }
    void stopAll() override { ++actions; }
    void fadeAll() override { ++actions; }
    void go() override { ++actions; }
    SurfaceState state() override
    {
        SurfaceState state;
        state.slot = 5;
        state.remaining = 1.5;
        state.total = 3.0;
        state.shownPage = shown;
        return state;
    }
    void raise() override { std::abort(); } // no OSC method raises the window
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray packet(reinterpret_cast<const char *>(data), qsizetype(size));
    CountingTarget target;
    const OscDispatch::Outcome outcome = OscDispatch::handle(packet, target);
    if (target.actions > 1 || (target.actions == 1 && !outcome.complaint.isEmpty()))
        std::abort();
    if (outcome.reply) {
        // Only the two queries answer: the state, and what plays (nothing, here).
        const bool state = packet.startsWith("/kelvo/state");
        if (target.actions != 0 || !(state || packet.startsWith("/kelvo/playing")))
            std::abort();
        QByteArray reply = *outcome.reply;
        int result = 0;
        lo_message message = lo_message_deserialise(reply.data(), size_t(reply.size()), &result);
        if (!message || std::strcmp(lo_message_get_types(message), state ? "iffii" : "") != 0
            || std::strcmp(reply.constData(), state ? "/kelvo/state" : "/kelvo/playing") != 0)
            std::abort();
        lo_message_free(message);
    }
    return 0;
}
