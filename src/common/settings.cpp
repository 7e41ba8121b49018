#include "common/settings.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <iterator>

Settings::Settings()
    // Named in full: QSettings would call an INI file of its own choosing kelvo.ini.
    : m_fileName(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                 + QStringLiteral("/kelvo/kelvo.conf"))
{ }

QSettings *Settings::synced() const
{
    // QSettings reads whatever the name leads to: a FIFO would block the window for good, a
    // device or a huge file would never end. Only a regular file (or none yet) is read.
    const QFileInfo info(m_fileName);
    if (info.exists() && (!info.isFile() || info.size() > kMostBytes)) {
        m_settings.reset();
        return nullptr;
    }
    if (!m_settings)
        m_settings = std::make_unique<QSettings>(m_fileName, QSettings::IniFormat);
    else
        m_settings->sync(); // a file provisioned or changed while Kelvo runs is read again
    return m_settings.get();
}

QString Settings::text(const char *key) const
{
    QSettings *settings = synced();
    return settings ? settings->value(QLatin1String(key)).toString().trimmed() : QString();
}

void Settings::setText(const char *key, const QString &value)
{
    if (QSettings *settings = synced()) {
        settings->setValue(QLatin1String(key), value);
        settings->sync();
    }
}

double Settings::number(const char *key, double fallback, double low, double high) const
{
    bool ok = false;
    const double value = text(key).toDouble(&ok);
    return ok && std::isfinite(value) && value >= low && value <= high ? value : fallback;
}

int Settings::choice(const char *key, const int *first, const int *last) const
{
    bool ok = false;
    const int value = text(key).toInt(&ok);
    return ok && std::find(first, last, value) != last ? value : 0;
}

int Settings::warningSeconds() const
{
    return choice("warning/seconds", std::begin(kWarningChoices), std::end(kWarningChoices));
}

void Settings::setWarningSeconds(int seconds)
{
    setText("warning/seconds", QString::number(seconds));
}

int Settings::guardMilliseconds() const
{
    return choice("guard/milliseconds", std::begin(kGuardChoices), std::end(kGuardChoices));
}

void Settings::setGuardMilliseconds(int milliseconds)
{
    setText("guard/milliseconds", QString::number(milliseconds));
}

double Settings::fadeSeconds() const
{
    return number("fade/seconds", 2.0, 0.1, 60.0);
}

void Settings::setFadeSeconds(double seconds)
{
    setText("fade/seconds", QString::number(seconds));
}

std::optional<double> Settings::loudnessTarget() const
{
    if (text("loudness/match").toLower() != QLatin1String("true"))
        return std::nullopt;
    return number("loudness/target", -23.0, -70.0, -1.0);
}

void Settings::setLoudnessTarget(std::optional<double> lufs)
{
    setText("loudness/match", lufs ? QStringLiteral("true") : QStringLiteral("false"));
    if (lufs)
        setText("loudness/target", QString::number(*lufs));
}

bool Settings::oscEnabled() const
{
    return text("osc/enabled").toLower() == QLatin1String("true");
}

void Settings::setOscEnabled(bool on)
{
    setText("osc/enabled", on ? QStringLiteral("true") : QStringLiteral("false"));
}

quint16 Settings::oscPort() const
{
    return quint16(number("osc/port", 9000, 1, 65535));
}

QString Settings::oscListen() const
{
    const QString address = text("osc/listen");
    return address.isEmpty() ? QStringLiteral("127.0.0.1") : address;
}

bool Settings::remoteEnabled() const
{
    return text("remote/enabled").toLower() == QLatin1String("true");
}

void Settings::setRemoteEnabled(bool on)
{
    setText("remote/enabled", on ? QStringLiteral("true") : QStringLiteral("false"));
}

quint16 Settings::remotePort() const
{
    return quint16(number("remote/port", 8470, 1, 65535));
}

QString Settings::remoteListen() const
{
    const QString address = text("remote/listen");
    return address.isEmpty() ? QStringLiteral("127.0.0.1") : address;
}

void Settings::setRemoteListen(const QString &address)
{
    setText("remote/listen", address);
}

QStringList Settings::remoteHosts() const
{
    QStringList hosts;
    if (QSettings *settings = synced()) {
        // An INI value with commas reads as a list.
        const QVariant value = settings->value(QStringLiteral("remote/hosts"));
        const QStringList names = value.typeId() == QMetaType::QStringList ? value.toStringList()
                                                                           : value.toString().split(QLatin1Char(','));
        for (const QString &name : names) {
            if (!name.trimmed().isEmpty() && hosts.size() < 16)
                hosts << name.trimmed().left(253);
        }
    }
    return hosts;
}

QString Settings::lastShow() const
{
    return text("show/last");
}

void Settings::setLastShow(const QString &path)
{
    setText("show/last", path);
}

QStringList Settings::recentShows() const
{
    QSettings *settings = synced();
    QStringList shows;
    if (!settings)
        return shows;
    for (const QString &path : settings->value(QStringLiteral("show/recent")).toStringList()) {
        if (!path.trimmed().isEmpty() && !shows.contains(path) && shows.size() < kMostRecentShows)
            shows << path;
    }
    return shows;
}

void Settings::noteRecentShow(const QString &path)
{
    QStringList shows = recentShows();
    shows.removeAll(path);
    shows.prepend(path);
    if (QSettings *settings = synced()) {
        settings->setValue(QStringLiteral("show/recent"), shows.mid(0, kMostRecentShows));
        settings->sync();
    }
}

QString Settings::airOutput() const
{
    return text("output/air");
}

void Settings::setAirOutput(const QString &name)
{
    setText("output/air", name);
}

QString Settings::preListenOutput() const
{
    return text("output/prelisten");
}

void Settings::setPreListenOutput(const QString &name)
{
    setText("output/prelisten", name);
}
