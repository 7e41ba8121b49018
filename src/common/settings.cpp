#include "common/settings.h"

#include <QStandardPaths>

#include <cmath>

Settings::Settings()
    // Named in full: QSettings would call an INI file of its own choosing kelvo.ini.
    : m_settings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/kelvo/kelvo.conf"),
                 QSettings::IniFormat)
{
}

double Settings::number(const char *key, double fallback, double low, double high) const
{
    // A file provisioned or changed while Kelvo runs is read again.
    m_settings.sync();
    bool ok = false;
    const double value = m_settings.value(QLatin1String(key)).toString().trimmed().toDouble(&ok);
    return ok && std::isfinite(value) && value >= low && value <= high ? value : fallback;
}

double Settings::fadeSeconds() const
{
    return number("fade/seconds", 2.0, 0.1, 60.0);
}

void Settings::setFadeSeconds(double seconds)
{
    m_settings.setValue(QStringLiteral("fade/seconds"), seconds);
    m_settings.sync();
}

std::optional<double> Settings::loudnessTarget() const
{
    m_settings.sync();
    const QString match = m_settings.value(QStringLiteral("loudness/match")).toString().trimmed().toLower();
    if (match != QLatin1String("true"))
        return std::nullopt;
    return number("loudness/target", -23.0, -70.0, -1.0);
}

void Settings::setLoudnessTarget(std::optional<double> lufs)
{
    m_settings.setValue(QStringLiteral("loudness/match"), lufs.has_value());
    if (lufs)
        m_settings.setValue(QStringLiteral("loudness/target"), *lufs);
    m_settings.sync();
}

bool Settings::oscEnabled() const
{
    m_settings.sync();
    return m_settings.value(QStringLiteral("osc/enabled")).toString().trimmed().toLower() == QLatin1String("true");
}

void Settings::setOscEnabled(bool on)
{
    m_settings.setValue(QStringLiteral("osc/enabled"), on);
    m_settings.sync();
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

QString Settings::text(const char *key) const
{
    m_settings.sync();
    return m_settings.value(QLatin1String(key)).toString().trimmed();
}

void Settings::setText(const char *key, const QString &value)
{
    m_settings.setValue(QLatin1String(key), value);
    m_settings.sync();
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
