#include "show/showformat.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QObject>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString kVersionKey = QStringLiteral("kelvo-show");
const QString kPagesKey = QStringLiteral("pages");
const QString kNameKey = QStringLiteral("name");
const QString kCartsKey = QStringLiteral("carts");
const QString kPlaybackKey = QStringLiteral("playback");
const QString kGoKey = QStringLiteral("go");
const QString kFileKey = QStringLiteral("file");
const QString kCaptionKey = QStringLiteral("caption");

bool hasControlCharacters(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// At most chars UTF-16 units, never half a character.
QString cut(QString text, qsizetype chars)
{
    if (text.size() > chars)
        text.truncate(chars - (text.at(chars - 1).isHighSurrogate() ? 1 : 0));
    return text;
}

// A stored path as the program uses it: relative ones against the show's folder, as long as
// they stay inside it. Empty when it cannot be used, with why.
QString resolvedPath(const QString &stored, const QString &folder, QString *why)
{
    if (stored.size() > ShowFormat::kMaxPathChars) {
        *why = QObject::tr("a path longer than %1 characters").arg(ShowFormat::kMaxPathChars);
        return {};
    }
    if (hasControlCharacters(stored)) {
        *why = QObject::tr("a path holding control characters");
        return {};
    }
    // Qt takes ":name" for one of its compiled-in resources: here it is a file in the folder.
    if (QDir::isAbsolutePath(stored) && !stored.startsWith(QLatin1Char(':')))
        return QDir::cleanPath(stored);
    const QString cleaned = QDir::cleanPath(stored);
    if (cleaned == QLatin1String("..") || cleaned.startsWith(QLatin1String("../"))) {
        *why = QObject::tr("a path leading out of the show's folder (%1)").arg(stored);
        return {};
    }
    return QDir::cleanPath(folder + QLatin1Char('/') + cleaned); // QDir::filePath would keep a ":name" as it is
}

// What is written for a path: relative to the show's folder when it lies inside it.
QString storedPath(const QString &path, const QString &folder)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path) || folder.isEmpty())
        return path;
    const QString relative = QDir(folder).relativeFilePath(path);
    if (relative.isEmpty() || relative == QLatin1String("..") || relative.startsWith(QLatin1String("../"))
        || QDir::isAbsolutePath(relative))
        return path;
    return relative;
}

QString pageLabel(int index)
{
    return QObject::tr("page %1").arg(index + 1);
}

} // namespace

namespace ShowFormat {

QString defaultPageName(int index)
{
    return QStringLiteral("Page %1").arg(index + 1);
}

ShowReading parse(const QByteArray &bytes, const QString &folder)
{
    ShowReading reading;
    if (bytes.size() > kMaxBytes)
        return reading;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return reading;
    QJsonObject top = document.object();
    const QJsonValue version = top.value(kVersionKey);
    if (!version.isDouble() || version.toDouble() < 1)
        return reading;
    reading.isShow = true;
    reading.isNewer = version.toDouble() > kVersion;

    const QJsonArray pages = top.value(kPagesKey).toArray();
    if (!top.value(kPagesKey).isArray() && top.contains(kPagesKey))
        reading.skipped << QObject::tr("the pages, which are not a list");
    if (pages.size() > kMaxPages)
        reading.skipped << QObject::tr("%1 pages past the %2th").arg(pages.size() - kMaxPages).arg(kMaxPages);
    for (qsizetype p = 0; p < std::min<qsizetype>(pages.size(), kMaxPages); ++p) {
        const int index = int(reading.show.pages.size());
        ShowPage page;
        if (!pages[p].isObject()) {
            reading.skipped << QObject::tr("%1, which is not a page").arg(pageLabel(index));
        } else {
            page.unknown = pages[p].toObject();
            page.name = cut(page.unknown.take(kNameKey).toString(), kMaxNameChars).simplified();
            const QJsonValue go = page.unknown.take(kGoKey);
            page.runningOrder = go.toBool(false);
            if (!go.isUndefined() && !go.isNull() && !go.isBool())
                reading.skipped << QObject::tr("the go of %1, which is not true or false").arg(pageLabel(index));
            const QJsonValue mode = page.unknown.take(kPlaybackKey);
            if (mode == QLatin1String("together"))
                page.mode = PageMode::Together;
            else if (mode == QLatin1String("handover"))
                page.mode = PageMode::HandOver;
            else if (!mode.isUndefined() && !mode.isNull() && mode != QLatin1String("one"))
                reading.skipped << QObject::tr("the playback of %1, which is not \"one\", \"together\" or "
                                               "\"handover\": one at a time")
                                       .arg(pageLabel(index));
            const QJsonValue cartsValue = page.unknown.take(kCartsKey);
            const QJsonArray carts = cartsValue.toArray();
            if (!cartsValue.isUndefined() && !cartsValue.isArray())
                reading.skipped << QObject::tr("the carts of %1, which are not a list").arg(pageLabel(index));
            if (carts.size() > SlotCount)
                reading.skipped << QObject::tr("%1 carts past the twelfth on %2")
                                       .arg(carts.size() - SlotCount)
                                       .arg(pageLabel(index));
            for (qsizetype c = 0; c < std::min<qsizetype>(carts.size(), SlotCount); ++c) {
                const QString where = QObject::tr("cart %1 of %2").arg(c + 1).arg(pageLabel(index));
                if (!carts[c].isObject()) {
                    if (!carts[c].isNull())
                        reading.skipped << QObject::tr("%1, which is not a cart").arg(where);
                    continue;
                }
                ShowCart &cart = page.carts[size_t(c)];
                cart.unknown = carts[c].toObject();
                const QJsonValue file = cart.unknown.take(kFileKey);
                const QJsonValue caption = cart.unknown.take(kCaptionKey);
                if (file.isString() && !file.toString().isEmpty()) {
                    QString why;
                    cart.file = resolvedPath(file.toString(), folder, &why);
                    if (cart.file.isEmpty())
                        reading.skipped << QObject::tr("the file of %1: %2").arg(where, why);
                } else if (!file.isUndefined() && !file.isNull() && !file.isString()) {
                    reading.skipped << QObject::tr("the file of %1, which is not text").arg(where);
                }
                if (caption.isString()) {
                    QString text = caption.toString();
                    if (hasControlCharacters(text)) {
                        text.replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")), QStringLiteral(" "));
                        reading.skipped << QObject::tr("control characters in the caption of %1").arg(where);
                    }
                    cart.caption = cut(text, kMaxCaptionChars);
                } else if (!caption.isUndefined() && !caption.isNull()) {
                    reading.skipped << QObject::tr("the caption of %1, which is not text").arg(where);
                }
                cart.settings = CartSettingsFormat::take(cart.unknown, where, &reading.skipped);
            }
        }
        if (page.name.isEmpty())
            page.name = defaultPageName(index);
        reading.show.pages.append(page);
    }
    if (reading.show.pages.isEmpty())
        reading.show.pages.append(ShowPage{defaultPageName(0), {}, {}});
    top.remove(kVersionKey);
    top.remove(kPagesKey);
    reading.show.unknown = top;
    return reading;
}

QByteArray serialize(const Show &show, const QString &folder, bool firstPageElsewhere)
{
    QJsonObject top = show.unknown;
    top.insert(kVersionKey, kVersion);
    QJsonArray pages;
    for (qsizetype p = 0; p < show.pages.size(); ++p) {
        const ShowPage &page = show.pages[p];
        QJsonObject object = page.unknown;
        object.insert(kNameKey, page.name);
        if (page.runningOrder)
            object.insert(kGoKey, true);
        if (page.mode != PageMode::One)
            object.insert(kPlaybackKey,
                          page.mode == PageMode::Together ? QStringLiteral("together") : QStringLiteral("handover"));
        QJsonArray carts;
        bool anyCart = false;
        for (const ShowCart &cart : page.carts) {
            QJsonObject entry = cart.unknown;
            if (!(firstPageElsewhere && p == 0)) {
                if (!cart.file.isEmpty())
                    entry.insert(kFileKey, storedPath(cart.file, folder));
                if (!cart.caption.isEmpty())
                    entry.insert(kCaptionKey, cart.caption);
            }
            // The first page's settings are kept here even when its files and captions are not.
            CartSettingsFormat::put(cart.settings, entry);
            anyCart = anyCart || !entry.isEmpty();
            carts.append(entry);
        }
        if (anyCart)
            object.insert(kCartsKey, carts);
        pages.append(object);
    }
    top.insert(kPagesKey, pages);
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

} // namespace ShowFormat
