#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
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
// random 128-bit token of its own. Five wrong PINs in a minute from one address lock that
// address out for a minute; and, whatever the addresses, kMostWrongPinsInAll wrong PINs in a
// minute pause every PIN for a while (a minute, doubling at each pause up to an hour) and
// change the PIN, so that guessing it takes years, not minutes. The code shown on Kelvo's own
// screen carries a pairing key of its own (128 random bits, never paused), so the operator at
// the machine can always pair. The paired devices are kept in kelvo.conf ([remote] devices).
class RemotePairing
{
public:
    static constexpr int kMostWrongPins = 5;
    static constexpr qint64 kLockoutMs = 60'000;
    static constexpr int kMostWrongPinsInAll = 10;
    static constexpr qint64 kLeastPauseMs = 60'000;
    static constexpr qint64 kLongestPauseMs = 3'600'000;
    static constexpr int kMostDevices = 64;

    // keep: read and write the settings; otherwise in memory alone.
    explicit RemotePairing(bool keep = true);

    QString pin() const { return m_pin; }
    // The pairing key of the code on Kelvo's screen: 32 hexadecimal digits, new after each use.
    QString key() const { return m_key; }
    // Wrong PINs and keys tried since the program started.
    int wrongTries() const { return m_wrongTotal; }
    // Called when the PIN, the key or the count of wrong tries changes.
    void setChangedHandler(std::function<void()> changed) { m_changed = std::move(changed); }

    // The token of a new paired device, for a right pin from address; nothing, with why,
    // otherwise. nowMs is a monotonic clock's.
    std::optional<QString> pair(const QString &pin, const QString &name, const QString &address, qint64 nowMs,
                                QString *why);
    // The same for the key of the code on Kelvo's screen, which no pause or lockout refuses.
    std::optional<QString> pairByKey(const QString &key, const QString &name, QString *why);
    // The device a token belongs to (its hash), now seen; nothing for a token not (or no
    // longer) paired.
    std::optional<QString> recognise(const QString &token);
    // Forgets a device: its token is refused from now on. False when there was none.
    bool revoke(const QString &hash);
    QList<PairedDevice> devices() const { return m_devices; }

    static QString hashOf(const QString &token);

private:
    void save() const;
    QString newToken(const QString &name);
    void wrongTry(const QString &address, qint64 nowMs);
    void changed() const
    {
        if (m_changed)
            m_changed();
    }

    bool m_keep;
    QString m_pin;
    QList<PairedDevice> m_devices;
    QHash<QString, QList<qint64>> m_wrong; // by address: when its wrong PINs came
    QHash<QString, qint64> m_lockedUntil;  // by address
    QList<qint64> m_wrongInAll;            // when the last minute's wrong PINs came, from anywhere
    qint64 m_pausedUntil = 0;              // no PIN is tried before then
    qint64 m_nextPauseMs = kLeastPauseMs;
    int m_wrongTotal = 0;
    QString m_key;
    std::function<void()> m_changed;
};
