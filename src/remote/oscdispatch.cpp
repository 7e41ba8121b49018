#include "remote/oscdispatch.h"

#include "player/commandsurface.h"

#include <lo/lo_lowlevel.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct MessageDeleter
{
    void operator()(void *message) const { lo_message_free(static_cast<lo_message>(message)); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageDeleter>;

OscDispatch::Outcome ignored(const QString &why)
{
    return {std::nullopt, why};
}

QByteArray stateReply(const SurfaceState &state)
{
    const Message reply(lo_message_new());
    lo_message_add_int32(reply.get(), state.slot);
    lo_message_add_float(reply.get(), float(state.remaining));
    lo_message_add_float(reply.get(), float(state.total));
    lo_message_add_int32(reply.get(), state.playingPage);
    lo_message_add_int32(reply.get(), state.shownPage);
    size_t size = 0;
    void *bytes = lo_message_serialise(reply.get(), "/kelvo/state", nullptr, &size);
    QByteArray packet(static_cast<const char *>(bytes), qsizetype(size));
    std::free(bytes);
    return packet;
}

// Every cart on air, five arguments each: page, slot, remaining, total, caption.
QByteArray playingReply(const SurfaceState &state)
{
    const Message reply(lo_message_new());
    for (const PlayingCart &cart : state.playingCarts) {
        lo_message_add_int32(reply.get(), cart.page);
        lo_message_add_int32(reply.get(), cart.slot);
        lo_message_add_float(reply.get(), float(cart.remaining));
        lo_message_add_float(reply.get(), float(cart.total));
        lo_message_add_string(reply.get(), cart.caption.left(64).toUtf8().constData());
    }
    size_t size = 0;
    void *bytes = lo_message_serialise(reply.get(), "/kelvo/playing", nullptr, &size);
    QByteArray packet(static_cast<const char *>(bytes), qsizetype(size));
    std::free(bytes);
    return packet;
}

} // namespace

OscDispatch::Outcome OscDispatch::handle(const QByteArray &packet, CommandSurface &target)
{
    if (packet.size() > kMaxPacketBytes)
        return ignored(QStringLiteral("a packet of %1 bytes (at most %2)").arg(packet.size()).arg(kMaxPacketBytes));
    if (packet.startsWith("#bundle"))
        return ignored(QStringLiteral("a bundle (only single messages are taken)"));
    // liblo parses from a buffer of its own choosing: a copy, so the packet stays untouched.
    QByteArray bytes = packet;
    int result = 0;
    const Message message(lo_message_deserialise(bytes.data(), size_t(bytes.size()), &result));
    if (!message)
        return ignored(QStringLiteral("not an OSC message (liblo error %1)").arg(result));
    // The path is the packet's first string, which liblo has just checked is terminated.
    const QString path = QString::fromUtf8(bytes.constData());
    const QByteArray types = lo_message_get_types(message.get());
    lo_arg **args = lo_message_get_argv(message.get());

    // liblo keeps arguments where the packet had them, 4-byte aligned: read the bytes, not the
    // 8-byte-aligned union.
    const auto intArgument = [args](int n) {
        qint32 value = 0;
        std::memcpy(&value, args[n], sizeof value);
        return value;
    };
    if (path == QLatin1String("/kelvo/fire")) {
        if (types != "i" && types != "ii")
            return ignored(QStringLiteral("/kelvo/fire takes one int32 (slot) or two (page, slot), not \"%1\"")
                               .arg(QString::fromLatin1(types)));
        const qint32 page = types == "ii" ? intArgument(0) : 0;
        const qint32 slot = intArgument(types == "ii" ? 1 : 0);
        if (slot < 1 || slot > 12)
            return ignored(QStringLiteral("/kelvo/fire %1: slots are 1 to 12").arg(slot));
        if (types == "ii" && (page < 1 || page > 99))
            return ignored(QStringLiteral("/kelvo/fire %1 %2: pages are 1 to 99").arg(page).arg(slot));
        if (types == "ii")
            target.fireOnPage(page, slot);
        else
            target.fire(slot);
        return {};
    }
    if (path == QLatin1String("/kelvo/page")) {
        if (types != "i")
            return ignored(QStringLiteral("/kelvo/page takes one int32, not \"%1\"").arg(QString::fromLatin1(types)));
        const qint32 page = intArgument(0);
        if (page < 1 || page > 99)
            return ignored(QStringLiteral("/kelvo/page %1: pages are 1 to 99").arg(page));
        target.showPage(page);
        return {};
    }
    const bool bare = types.isEmpty();
    if (path == QLatin1String("/kelvo/stop") && bare) {
        target.stop();
        return {};
    }
    if (path == QLatin1String("/kelvo/fade") && bare) {
        target.fade();
        return {};
    }
    if (path == QLatin1String("/kelvo/go") && bare) {
        target.go();
        return {};
    }
    if (path == QLatin1String("/kelvo/stopall") && bare) {
        target.stopAll();
        return {};
    }
    if (path == QLatin1String("/kelvo/fadeall") && bare) {
        target.fadeAll();
        return {};
    }
    if (path == QLatin1String("/kelvo/state") && bare)
        return {stateReply(target.state()), {}};
    if (path == QLatin1String("/kelvo/playing") && bare)
        return {playingReply(target.state()), {}};
    if (path == QLatin1String("/kelvo/playing") || path == QLatin1String("/kelvo/go")
        || path == QLatin1String("/kelvo/stop") || path == QLatin1String("/kelvo/fade")
        || path == QLatin1String("/kelvo/state") || path == QLatin1String("/kelvo/stopall")
        || path == QLatin1String("/kelvo/fadeall"))
        return ignored(QStringLiteral("%1 takes no arguments").arg(path));
    return ignored(QStringLiteral("unknown path %1").arg(path.left(64)));
}
