#include "browser/remoteprotocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace RemoteProtocol {

namespace {

std::optional<int> whole(const QJsonValue &value, int low, int high)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != double(qint64(number)) || number < low || number > high)
        return std::nullopt;
    return int(number);
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

std::optional<Message> parse(const QByteArray &text, QString *why)
{
    if (text.size() > kMaxMessage) {
        *why = QStringLiteral("a message over %1 bytes").arg(kMaxMessage);
        return std::nullopt;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *why = QStringLiteral("a message that is no JSON object");
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QString type = object.value(QLatin1String("type")).toString();
    Message message;
    const QJsonValue seq = object.value(QLatin1String("seq"));
    // Whole numbers up to 2^53, as a page's counter or clock gives them.
    const auto count = [](const QJsonValue &value) -> std::optional<qint64> {
        if (!value.isDouble() || value.toDouble() < 0 || value.toDouble() > 9007199254740992.0
            || value.toDouble() != double(qint64(value.toDouble())))
            return std::nullopt;
        return qint64(value.toDouble());
    };
    const auto sequence = [&]() -> bool {
        const std::optional<qint64> number = count(seq);
        if (!number)
            return false;
        message.seq = *number;
        // When it was sent: optional, but when given it must be a time.
        const QJsonValue at = object.value(QLatin1String("at"));
        if (at.isUndefined())
            return true;
        message.sentAt = count(at);
        return message.sentAt.has_value();
    };
    if (type == QLatin1String("hello")) {
        message.kind = Message::Kind::Hello;
        message.token = object.value(QLatin1String("token")).toString();
        if (message.token.isEmpty() || message.token.size() > 64) {
            *why = QStringLiteral("a hello without a token");
            return std::nullopt;
        }
        return message;
    }
    if (type == QLatin1String("pair")) {
        message.kind = Message::Kind::Pair;
        message.pin = object.value(QLatin1String("pin")).toString();
        message.key = object.value(QLatin1String("key")).toString();
        message.name = object.value(QLatin1String("name")).toString().left(64).simplified();
        if (message.pin.size() > 16 || message.key.size() > 64) {
            *why = QStringLiteral("a pairing without a PIN");
            return std::nullopt;
        }
        return message;
    }
    if (type == QLatin1String("press")) {
        message.kind = Message::Kind::Press;
        const std::optional<int> slot = whole(object.value(QLatin1String("slot")), 1, 12);
        if (!slot || !sequence()) {
            *why = QStringLiteral("a press without a slot from 1 to 12 or a sequence number");
            return std::nullopt;
        }
        message.slot = *slot;
        return message;
    }
    if (type == QLatin1String("page")) {
        message.kind = Message::Kind::Page;
        const std::optional<int> page = whole(object.value(QLatin1String("page")), 1, 99);
        if (!page || !sequence()) {
            *why = QStringLiteral("a page without a page from 1 to 99 or a sequence number");
            return std::nullopt;
        }
        message.page = *page;
        return message;
    }
    if (type == QLatin1String("stop") || type == QLatin1String("fade") || type == QLatin1String("stopall")
        || type == QLatin1String("go")) {
        message.kind = type == QLatin1String("stop") ? Message::Kind::Stop
            : type == QLatin1String("fade")          ? Message::Kind::Fade
            : type == QLatin1String("go")            ? Message::Kind::Go
                                                     : Message::Kind::StopAll;
        if (!sequence()) {
            *why = QStringLiteral("a %1 without a sequence number").arg(type);
            return std::nullopt;
        }
        return message;
    }
    *why = QStringLiteral("a message of unknown kind");
    return std::nullopt;
}

QByteArray state(const SurfaceState &state, qint64 nowMs)
{
    QJsonArray playing;
    for (const PlayingCart &cart : state.playingCarts)
        playing.append(QJsonObject{{QStringLiteral("page"), cart.page},
                                   {QStringLiteral("slot"), cart.slot},
                                   {QStringLiteral("remaining"), cart.remaining},
                                   {QStringLiteral("total"), cart.total},
                                   {QStringLiteral("caption"), cart.caption.left(256)}});
    QJsonArray carts;
    for (const CartState &cart : state.carts)
        carts.append(QJsonObject{{QStringLiteral("caption"), cart.caption.left(256)},
                                 {QStringLiteral("loaded"), cart.loaded},
                                 {QStringLiteral("enabled"), cart.enabled}});
    return compact(
        {{QStringLiteral("type"), QStringLiteral("state")},
         {QStringLiteral("now"), nowMs},
         {QStringLiteral("playing"), state.playing || state.slot > 0},
         {QStringLiteral("playingCaption"), state.playingCaption.left(256)},
         {QStringLiteral("slot"), state.slot},
         {QStringLiteral("remaining"), state.remaining},
         {QStringLiteral("total"), state.total},
         {QStringLiteral("fading"), state.fading},
         {QStringLiteral("playingPage"), state.playingPage},
         {QStringLiteral("page"), state.shownPage},
         {QStringLiteral("pages"), state.pageCount},
         {QStringLiteral("pageName"), state.pageName.left(64)},
         {QStringLiteral("playingCarts"), playing},
         {QStringLiteral("runningOrder"), state.runningOrder},
         {QStringLiteral("next"),
          state.nextSlot > 0 ? QJsonValue(QJsonObject{{QStringLiteral("slot"), state.nextSlot},
                                                      {QStringLiteral("caption"), state.nextCaption.left(256)},
                                                      {QStringLiteral("note"), state.nextNote.left(500)}})
                             : QJsonValue()},
         {QStringLiteral("carts"), carts}});
}

QByteArray tick(std::optional<double> remaining, qint64 nowMs)
{
    QJsonObject beat{{QStringLiteral("type"), QStringLiteral("tick")}, {QStringLiteral("now"), nowMs}};
    if (remaining)
        beat.insert(QStringLiteral("remaining"), *remaining);
    return compact(beat);
}

QByteArray paired(const QString &token)
{
    return compact({{QStringLiteral("type"), QStringLiteral("paired")}, {QStringLiteral("token"), token}});
}

QByteArray refused(const QString &reason)
{
    return compact({{QStringLiteral("type"), QStringLiteral("refused")}, {QStringLiteral("reason"), reason}});
}

} // namespace RemoteProtocol
