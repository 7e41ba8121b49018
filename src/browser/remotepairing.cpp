#include "browser/remotepairing.h"

#include "common/settings.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSettings>

RemotePairing::RemotePairing(bool keep)
    : m_keep(keep)
{
    m_pin = QStringLiteral("%1").arg(QRandomGenerator::system()->bounded(1'000'000), 6, 10, QLatin1Char('0'));
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
    if (m_lockedUntil.value(address, 0) > nowMs) {
        *why = QStringLiteral("too many wrong PINs: try again in a minute");
        return std::nullopt;
    }
    if (pin != m_pin) {
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
        *why = QStringLiteral("wrong PIN");
        return std::nullopt;
    }
    m_wrong.remove(address);
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(bytes.data()),
                                         reinterpret_cast<quint32 *>(bytes.data() + bytes.size()));
    const QString token = QString::fromLatin1(bytes.toHex());
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
