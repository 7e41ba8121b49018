#pragma once

#include <QSettings>
#include <QStringList>

#include <memory>
#include <optional>

// The options beyond the classic windows, kept per user in $XDG_CONFIG_HOME/kelvo/kelvo.conf
// (INI), so they can be provisioned. A missing or malformed value reads as its default, and so
// does every value of a file that is not a regular file of a sane size: reading one never blocks.
class Settings
{
public:
    Settings();

    // fade/seconds: how long a fade-out takes; 2 by default, 0.1 to 60.
    double fadeSeconds() const;
    void setFadeSeconds(double seconds);

    // warning/seconds: how long before a cart's end the window warns of it; 0 (the default) for
    // none, or one of kWarningChoices.
    int warningSeconds() const;
    void setWarningSeconds(int seconds);
    static constexpr int kWarningChoices[] = {5, 10, 15, 30};

    // guard/milliseconds: how soon after its start a press of the playing cart is ignored; 0
    // (the default) for never, or one of kGuardChoices.
    int guardMilliseconds() const;
    void setGuardMilliseconds(int milliseconds);
    static constexpr int kGuardChoices[] = {250, 500, 1000};

    // loudness/match (true/false, false by default) and loudness/target (LUFS, -23 by default,
    // -70 to -1): the loudness every cart plays at, or nothing to play each at its own level.
    std::optional<double> loudnessTarget() const;
    void setLoudnessTarget(std::optional<double> lufs);

    // osc/enabled (true/false, false by default), osc/port (9000 by default, 1 to 65535) and
    // osc/listen (the address to listen on, 127.0.0.1 by default; 0.0.0.0 is every interface).
    bool oscEnabled() const;
    void setOscEnabled(bool on);
    quint16 oscPort() const;
    QString oscListen() const;

    // remote/enabled (true/false, false by default), remote/port (8470 by default, 1 to 65535),
    // remote/listen (127.0.0.1 by default; 0.0.0.0 is every interface) and remote/hosts (names a
    // browser may use for this machine besides its addresses, comma-separated): the browser remote.
    bool remoteEnabled() const;
    void setRemoteEnabled(bool on);
    quint16 remotePort() const;
    QString remoteListen() const;
    void setRemoteListen(const QString &address);
    QStringList remoteHosts() const;

    // output/air: the sink carts play on, by its name (empty, the default: the server's own
    // default); output/prelisten: the sink they are pre-listened on (empty, the default: none).
    QString airOutput() const;
    void setAirOutput(const QString &name);
    QString preListenOutput() const;
    void setPreListenOutput(const QString &name);

    // show/last: the show file open when the program last ended (empty: the default show).
    QString lastShow() const;
    void setLastShow(const QString &path);
    // show/recent: the show files last opened, the latest first, at most kMostRecentShows;
    // noteRecentShow puts path first.
    QStringList recentShows() const;
    void noteRecentShow(const QString &path);
    static constexpr int kMostRecentShows = 8;

    // The settings file itself, for a unit that keeps a group of arrays of its own; null while
    // the file is not one to read (see below).
    QSettings *file() const { return synced(); }

    // Where they are kept.
    QString fileName() const { return m_fileName; }

    // The most a settings file may hold; a larger one is not read, and not written over.
    static constexpr qint64 kMostBytes = 1024 * 1024;

private:
    // The settings, read afresh; null while the file is not one to read (a FIFO, a device, a
    // folder, larger than kMostBytes): then every value is its default and nothing is written.
    QSettings *synced() const;
    QString text(const char *key) const;
    void setText(const char *key, const QString &value);
    // One of choices, or 0 for anything else.
    int choice(const char *key, const int *first, const int *last) const;
    // A number within [low, high], or fallback for anything else.
    double number(const char *key, double fallback, double low, double high) const;

    QString m_fileName;
    mutable std::unique_ptr<QSettings> m_settings; // synced on every read, so outside changes show
};
