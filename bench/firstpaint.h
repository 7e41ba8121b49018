#pragma once

#include <QEvent>
#include <QObject>

#include <cstdio>

// Prints "painted" on standard output once the watched window has finished its first paint,
// then ends the process: what the start-up benchmark times.
class FirstPaint : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::fputs("painted\n", stdout);
                    std::fflush(stdout);
                    std::_Exit(0);
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_done = false;
};
