#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// A browser that was given a token for the PIN Kelvo showed: known by the token's SHA-256 alone
// (the token itself is kept only by the browser), with the name it gave and when it was last
// seen.
struct PairedDevice
{
    QString hash;
    QString name;
    QDateTime lastSeen;
};

// Pairing browsers with a 6-digit PIN, new at every start: a right PIN gives the browser a
// random 128-bit token of its own; five wrong PINs in a minute from one address lock that
// address out for a minute. The paired devices are kept in kelvo.conf ([remote] devices).
class RemotePairing
{
public:
    static constexpr int kMostWrongPins = 5;
    static constexpr qint64 kLockoutMs = 60'000;
    static constexpr int kMostDevices = 64;

    // keep: read and write the settings; otherwise in memory alone.
    explicit RemotePairing(bool keep = true);

    QString pin() const { return m_pin; }
    // The token of a new paired device, for a right pin from address; nothing, with why,
    // otherwise. nowMs is a monotonic clock's.
    std::optional<QString> pair(const QString &pin, const QString &name, const QString &address, qint64 nowMs,
                                QString *why);
    // The device a token belongs to (its hash), now seen; nothing for a token not (or no
    // longer) paired.
    std::optional<QString> recognise(const QString &token);
    // Forgets a device: its token is refused from now on. False when there was none.
    bool revoke(const QString &hash);
    QList<PairedDevice> devices() const { return m_devices; }

    static QString hashOf(const QString &token);

private:
    void save() const;

    bool m_keep;
    QString m_pin;
    QList<PairedDevice> m_devices;
    QHash<QString, QList<qint64>> m_wrong; // by address: when its wrong PINs came
    QHash<QString, qint64> m_lockedUntil;  // by address
};
