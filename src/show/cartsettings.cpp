#include "show/cartsettings.h"

#include <QJsonValue>
#include <QObject>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

const QString kGainKey = QStringLiteral("gain_db");
const QString kInKey = QStringLiteral("in");
const QString kOutKey = QStringLiteral("out");
const QString kLoopKey = QStringLiteral("loop");
const QString kFadeInKey = QStringLiteral("fade_in");
const QString kFadeOutKey = QStringLiteral("fade_out");
const QString kColourKey = QStringLiteral("colour");
const QString kGroupKey = QStringLiteral("group");
const QString kDuckKey = QStringLiteral("duck_db");
const QString kFollowKey = QStringLiteral("follow");
const QString kNoteKey = QStringLiteral("note");

bool isColour(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^#[0-9a-fA-F]{6}$"));
    return pattern.match(text).hasMatch();
}

// A number of key taken from cart: nothing when absent or null; wrong kinds are noted.
std::optional<double> takeNumber(QJsonObject &cart, const QString &key, const QString &where, QStringList *notes)
{
    const QJsonValue value = cart.take(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isDouble() || !std::isfinite(value.toDouble())) {
        *notes << QObject::tr("the %1 of %2, which is not a number").arg(key, where);
        return std::nullopt;
    }
    return value.toDouble();
}

double within(double value, double least, double most, const QString &key, const QString &where, QStringList *notes)
{
    const double held = std::clamp(value, least, most);
    if (held != value)
        *notes << QObject::tr("the %1 of %2, %3, held at %4").arg(key, where).arg(value).arg(held);
    return held;
}

} // namespace

namespace CartSettingsFormat {

CartSettings take(QJsonObject &cart, const QString &where, QStringList *notes)
{
    CartSettings settings;
    if (const std::optional<double> gain = takeNumber(cart, kGainKey, where, notes))
        settings.gainDb = within(*gain, kLeastGainDb, kMostGainDb, kGainKey, where, notes);
    if (const std::optional<double> in = takeNumber(cart, kInKey, where, notes))
        settings.in = within(*in, 0, kLatestTime, kInKey, where, notes);
    if (const std::optional<double> out = takeNumber(cart, kOutKey, where, notes))
        settings.out = within(*out, 0, kLatestTime, kOutKey, where, notes);
    bool outDropped = false;
    if (settings.out && *settings.out < settings.in + kShortestPart) {
        *notes << QObject::tr("the out point of %1, which is not after its in point").arg(where);
        settings.out.reset();
        outDropped = true;
    }
    const QJsonValue loop = cart.take(kLoopKey);
    if (loop.isBool())
        settings.loop = loop.toBool();
    else if (!loop.isUndefined() && !loop.isNull())
        *notes << QObject::tr("the %1 of %2, which is not true or false").arg(kLoopKey, where);
    // A loop of no part at all is no loop of the rest of the file either.
    if (settings.loop && outDropped) {
        *notes << QObject::tr("the loop of %1, which needs a part of at least 10 ms").arg(where);
        settings.loop = false;
    }
    if (const std::optional<double> fadeIn = takeNumber(cart, kFadeInKey, where, notes))
        settings.fadeIn = within(*fadeIn, 0, kLongestFade, kFadeInKey, where, notes);
    if (const std::optional<double> fadeOut = takeNumber(cart, kFadeOutKey, where, notes))
        settings.fadeOut = within(*fadeOut, 0, kLongestFade, kFadeOutKey, where, notes);
    const QJsonValue colour = cart.take(kColourKey);
    if (colour.isString() && isColour(colour.toString()))
        settings.colour = colour.toString().toLower();
    else if (!colour.isUndefined() && !colour.isNull())
        *notes << QObject::tr("the %1 of %2, which is not a colour such as \"#a0c0ff\"").arg(kColourKey, where);
    const QJsonValue group = cart.take(kGroupKey);
    if (group.isString()) {
        // A short name on one line: what carts share to hand over to one another.
        QString name = group.toString();
        name.replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")), QStringLiteral(" "));
        settings.group = name.simplified().left(kMaxGroupChars);
        if (settings.group != group.toString())
            *notes << QObject::tr("the %1 of %2, tidied to \"%3\"").arg(kGroupKey, where, settings.group);
    } else if (!group.isUndefined() && !group.isNull()) {
        *notes << QObject::tr("the %1 of %2, which is not text").arg(kGroupKey, where);
    }
    if (const std::optional<double> duck = takeNumber(cart, kDuckKey, where, notes))
        settings.duckDb = within(*duck, kDeepestDuckDb, 0, kDuckKey, where, notes);
    const QJsonValue follow = cart.take(kFollowKey);
    if (follow == QLatin1String("end")) {
        settings.followEnd = true;
    } else if (follow.isDouble() && std::isfinite(follow.toDouble()) && follow.toDouble() >= 0
               && follow.toDouble() <= kLatestFollow) {
        settings.followAfter = follow.toDouble();
    } else if (!follow.isUndefined() && !follow.isNull()) {
        // Negative, huge or of another kind: no follow rather than a guess at one.
        *notes << QObject::tr("the %1 of %2, which is neither \"end\" nor seconds from 0 to %3")
                      .arg(kFollowKey, where)
                      .arg(kLatestFollow);
    }
    const QJsonValue note = cart.take(kNoteKey);
    if (note.isString()) {
        settings.note = note.toString().left(kMaxNoteChars);
        if (settings.note.size() < note.toString().size())
            *notes << QObject::tr("the %1 of %2, cut to %3 characters").arg(kNoteKey, where).arg(kMaxNoteChars);
    } else if (!note.isUndefined() && !note.isNull()) {
        *notes << QObject::tr("the %1 of %2, which is not text").arg(kNoteKey, where);
    }
    return settings;
}

void put(const CartSettings &settings, QJsonObject &cart)
{
    if (settings.gainDb != 0)
        cart.insert(kGainKey, settings.gainDb);
    if (settings.in != 0)
        cart.insert(kInKey, settings.in);
    if (settings.out)
        cart.insert(kOutKey, *settings.out);
    if (settings.loop)
        cart.insert(kLoopKey, true);
    if (settings.fadeIn != 0)
        cart.insert(kFadeInKey, settings.fadeIn);
    if (settings.fadeOut)
        cart.insert(kFadeOutKey, *settings.fadeOut);
    if (!settings.colour.isEmpty())
        cart.insert(kColourKey, settings.colour);
    if (!settings.group.isEmpty())
        cart.insert(kGroupKey, settings.group);
    if (settings.duckDb != 0)
        cart.insert(kDuckKey, settings.duckDb);
    if (settings.followEnd)
        cart.insert(kFollowKey, QStringLiteral("end"));
    else if (settings.followAfter)
        cart.insert(kFollowKey, *settings.followAfter);
    if (!settings.note.isEmpty())
        cart.insert(kNoteKey, settings.note);
}

CartSettings clamped(CartSettings settings)
{
    QStringList ignored;
    QJsonObject cart;
    put(settings, cart);
    return take(cart, QString(), &ignored);
}

} // namespace CartSettingsFormat
