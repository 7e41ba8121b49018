#include "browser/remotepairing.h"

#include "common/settings.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSettings>

namespace {

QString randomPin()
{
    return QStringLiteral("%1").arg(QRandomGenerator::system()->bounded(1'000'000), 6, 10, QLatin1Char('0'));
}

QString randomHex(int bytes)
{
    QByteArray data(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(data.data()),
                                         reinterpret_cast<quint32 *>(data.data() + data.size()));
    return QString::fromLatin1(data.toHex());
}

// Compared in a time that does not tell how much of it matched.
bool sameSecret(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    unsigned difference = 0;
    for (qsizetype n = 0; n < a.size(); ++n)
        difference |= unsigned(a[n].unicode() ^ b[n].unicode());
    return difference == 0;
}

} // namespace

RemotePairing::RemotePairing(bool keep)
    : m_keep(keep)
{
    m_pin = randomPin();
    m_key = randomHex(16);
    if (!m_keep)
        return;
    Settings settings;
    QSettings *file = settings.file();
    if (!file)
        return;
    const int count = std::min(file->beginReadArray(QStringLiteral("remote/devices")), kMostDevices);
    for (int i = 0; i < count; ++i) {
        file->setArrayIndex(i);
        const QString hash = file->value(QStringLiteral("hash")).toString();
        // A hash is 64 hexadecimal digits; anything else pairs nothing.
        if (hash.size() != 64 || QByteArray::fromHex(hash.toLatin1()).size() != 32)
            continue;
        m_devices.append({hash.toLower(), file->value(QStringLiteral("name")).toString().left(64),
                          QDateTime::fromString(file->value(QStringLiteral("seen")).toString(), Qt::ISODate)});
    }
    file->endArray();
}

QString RemotePairing::hashOf(const QString &token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

std::optional<QString> RemotePairing::pair(const QString &pin, const QString &name, const QString &address,
                                           qint64 nowMs, QString *why)
{
    if (m_pausedUntil > nowMs) {
        *why = QStringLiteral("too many wrong PINs: pairing by PIN is paused for %1 s; the PIN has changed")
                   .arg((m_pausedUntil - nowMs + 999) / 1000);
        return std::nullopt;
    }
    if (m_lockedUntil.value(address, 0) > nowMs) {
        *why = QStringLiteral("too many wrong PINs: try again in a minute");
        return std::nullopt;
    }
    if (!sameSecret(pin, m_pin)) {
        wrongTry(address, nowMs);
        *why = QStringLiteral("wrong PIN");
        return std::nullopt;
    }
    m_wrong.remove(address);
    m_nextPauseMs = kLeastPauseMs;
    return newToken(name);
}

std::optional<QString> RemotePairing::pairByKey(const QString &key, const QString &name, QString *why)
{
    if (!sameSecret(key.toLower(), m_key)) {
        ++m_wrongTotal;
        changed();
        *why = QStringLiteral("this pairing code is no longer valid: scan the one Kelvo shows now");
        return std::nullopt;
    }
    m_key = randomHex(16); // used once
    changed();
    return newToken(name);
}

void RemotePairing::wrongTry(const QString &address, qint64 nowMs)
{
    ++m_wrongTotal;
    QList<qint64> &wrong = m_wrong[address];
    wrong.removeIf([nowMs](qint64 at) { return at <= nowMs - kLockoutMs; });
    wrong.append(nowMs);
    if (wrong.size() >= kMostWrongPins) {
        m_lockedUntil.insert(address, nowMs + kLockoutMs);
        wrong.clear();
    }
    // Bounded, whatever number of addresses tries.
    if (m_wrong.size() > 1024)
        m_wrong.clear();
    if (m_lockedUntil.size() > 1024)
        m_lockedUntil.removeIf([nowMs](const auto &entry) { return entry.value() <= nowMs; });
    m_wrongInAll.removeIf([nowMs](qint64 at) { return at <= nowMs - 60'000; });
    m_wrongInAll.append(nowMs);
    if (m_wrongInAll.size() >= kMostWrongPinsInAll) {
        // Whoever guesses starts again on a new PIN, after a pause that grows.
        m_pausedUntil = nowMs + m_nextPauseMs;
        m_nextPauseMs = std::min(m_nextPauseMs * 2, kLongestPauseMs);
        m_wrongInAll.clear();
        m_pin = randomPin();
        m_key = randomHex(16);
    }
    changed();
}

QString RemotePairing::newToken(const QString &name)
{
    const QString token = randomHex(16);
    if (m_devices.size() >= kMostDevices)
        m_devices.removeFirst(); // the oldest paired goes
    m_devices.append(
        {hashOf(token), name.isEmpty() ? QStringLiteral("A browser") : name, QDateTime::currentDateTimeUtc()});
    save();
    return token;
}

std::optional<QString> RemotePairing::recognise(const QString &token)
{
    const QString hash = hashOf(token);
    for (PairedDevice &device : m_devices) {
        if (device.hash == hash) {
            device.lastSeen = QDateTime::currentDateTimeUtc();
            save();
            return hash;
        }
    }
    return std::nullopt;
}

bool RemotePairing::revoke(const QString &hash)
{
    if (m_devices.removeIf([&hash](const PairedDevice &device) { return device.hash == hash; }) == 0)
        return false;
    save();
    return true;
}

void RemotePairing::save() const
{
    if (!m_keep)
        return;
    Settings settings;
    QSettings *file = settings.file();
    if (!file)
        return;
    file->remove(QStringLiteral("remote/devices"));
    file->beginWriteArray(QStringLiteral("remote/devices"), int(m_devices.size()));
    for (int i = 0; i < m_devices.size(); ++i) {
        file->setArrayIndex(i);
        file->setValue(QStringLiteral("hash"), m_devices[i].hash);
        file->setValue(QStringLiteral("name"), m_devices[i].name);
        file->setValue(QStringLiteral("seen"), m_devices[i].lastSeen.toString(Qt::ISODate));
    }
    file->endArray();
    file->sync();
}
