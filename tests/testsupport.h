#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <QStringList>
#include <QString>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

// Fails, printing both values, unless actual lies within tolerance of expected.
#define COMPARE_NEAR(actual, expected, tolerance)                                                                      \
    do {                                                                                                               \
        const auto actualValue = (actual);                                                                             \
        const auto expectedValue = (expected);                                                                         \
        QVERIFY2(qAbs(actualValue - expectedValue) <= (tolerance),                                                     \
                 qPrintable(QStringLiteral("%1 is %2, expected %3 within %4")                                          \
                                .arg(QLatin1String(#actual))                                                           \
                                .arg(actualValue)                                                                      \
                                .arg(expectedValue)                                                                    \
                                .arg(tolerance)));                                                                     \
    } while (false)

// Every seed and every input that once failed a fuzz target, for one target ("tracklist", "media").
inline QStringList fuzzInputs(const QString &target)
{
    QStringList files;
    for (const char *kind : {"corpus", "regressions"}) {
        const QDir dir(QStringLiteral(KELVO_FUZZ_INPUTS_DIR "/%1/%2").arg(QLatin1String(kind), target));
        for (const QString &name : dir.entryList(QDir::Files))
            files << dir.filePath(name);
    }
    return files;
}

// Presses the left button at face (a point of window), drags by delta and releases there.
inline void dragWindowFace(QWidget *window, QPoint face, QPoint delta)
{
    QTest::mousePress(window, Qt::LeftButton, {}, face);
    QMouseEvent move(QEvent::MouseMove, QPointF(face), QPointF(window->mapToGlobal(face) + delta), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    QTest::mouseRelease(window, Qt::LeftButton, {}, face + delta);
}

// The object names of the first count widgets the Tab key visits, from first on.
inline QStringList tabChain(QWidget *first, int count)
{
    QStringList names;
    QWidget *widget = first;
    for (int i = 0; i < count; ++i) {
        names << widget->objectName();
        do
            widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus);
    }
    return names;
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// While alive, no file of this process can grow past a few bytes: a full disk that even root
// cannot write around (permissions do not bind root).
class DiskFullScope
{
public:
    DiskFullScope()
    {
#ifdef Q_OS_UNIX
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit tight = m_saved;
        tight.rlim_cur = 8;
        setrlimit(RLIMIT_FSIZE, &tight);
#endif
    }
    ~DiskFullScope()
    {
#ifdef Q_OS_UNIX
        setrlimit(RLIMIT_FSIZE, &m_saved);
#endif
    }
    DiskFullScope(const DiskFullScope &) = delete;
    DiskFullScope &operator=(const DiskFullScope &) = delete;

private:
#ifdef Q_OS_UNIX
    rlimit m_saved{};
#endif
};
