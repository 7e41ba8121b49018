// Raw MIDI bytes from three devices, through ALSA's own parser, to the pads' bindings and a fake
// window: a press does at most what its binding says, on the window's command surface alone and
// within its ranges; lights are whole messages; learning binds one press and fires nothing.
#include "../fakemiditransport.h"
#include "midi/midicontrol.h"
#include "player/commandsurface.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class CheckingSurface : public CommandSurface
{
public:
    int actions = 0;
    SurfaceState now;
    void fire(int slot) override
    {
        if (slot < 1 || slot > 12)
            std::abort();
        ++actions;
    }
    void showPage(int page) override
    {
        if (page < 0 || page > 100)
            std::abort();
        ++actions;
    }
    bool openShow(const QString &) override { std::abort(); }
    void stop() override { ++actions; }
    void fade() override { ++actions; }
    void stopAll() override { ++actions; }
    void fadeAll() override { ++actions; }
    void go() override { ++actions; }
    SurfaceState state() override { return now; }
    void raise() override { std::abort(); }
    void tell(Change what) { emit changed(what); }
};

const QString kDevices[] = {QStringLiteral("APC MINI:APC MINI MIDI 1"), QStringLiteral("Launchpad X:Launchpad X MIDI"),
                            QStringLiteral("Foot switch:port")};

MidiMap bindings()
{
    MidiMap map;
    const char *inputs[] = {"note:1:60", "note:*:61", "cc:1:64", "program:2:5", "note:10:0", "cc:*:127"};
    const char *actions[] = {"fire:1", "fire:99:12", "stop", "fade", "next", "previous"};
    for (int i = 0; i < 6; ++i)
        map.bind({i % 2 ? kDevices[i % 3] : QString(), *MidiInput::parse(QLatin1String(inputs[i])),
                  *MidiAction::parse(QLatin1String(actions[i]))});
    return map;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_midi";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (size == 0)
        return 0;
    CheckingSurface surface;
    FakeMidiTransport transport;
    transport.present = {kDevices[0], kDevices[1], kDevices[2]};
    MidiControl control(surface, transport, bindings());
    if (!control.start())
        std::abort();
    // The first byte: learn first or not, and which device each chunk of 16 bytes comes from.
    const uint8_t head = data[0];
    if (head & 1)
        control.learn({MidiAction::Kind::Fire, 0, 3});
    qsizetype presses = 0;
    for (size_t at = 1, chunk = 0; at < size; at += 16, ++chunk) {
        const QByteArray bytes(reinterpret_cast<const char *>(data + at), qsizetype(std::min<size_t>(16, size - at)));
        const int actionsBefore = surface.actions;
        const bool learning = bool(control.learning());
        transport.press(kDevices[(head >> (1 + chunk % 4)) % 3], bytes);
        presses += bytes.size();
        if (learning && surface.actions != actionsBefore && control.learning())
            std::abort(); // nothing fires while learning
        surface.tell(CommandSurface::Change::Remaining);
    }
    // At most one action per three bytes (the shortest press), and at most two for a page's cart.
    if (surface.actions > 2 * (presses / 2 + 1))
        std::abort();
    for (const auto &[device, message] : std::as_const(transport.sent)) {
        if (message.isEmpty() || (message.size() != 3 && !message.startsWith('\xF0')))
            std::abort();
    }
    return 0;
}
