#pragma once

#include <QString>
#include <QTimer>

// The playback timer: a timer that also carries a text tag (the playing index).
class TagTimer : public QTimer
{
public:
    using QTimer::QTimer;

    QString tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

private:
    QString m_tag;
};
