#pragma once

#include <QString>
#include <QTimer>

#include <optional>

// The playback timer: a timer that also carries a text tag (the playing index).
class TagTimer : public QTimer
{
    Q_OBJECT

public:
    using QTimer::QTimer;

    QString tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

private:
    QString m_tag;
};

// The playing index a timer's tag holds, when it holds a slot index (0 to 11).
inline std::optional<int> slotIndex(const QString &tag)
{
    bool ok = false;
    const int index = tag.trimmed().toInt(&ok);
    if (!ok || index < 0 || index >= 12)
        return std::nullopt;
    return index;
}
