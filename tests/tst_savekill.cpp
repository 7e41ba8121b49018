#include "testsupport.h"
#include "tracklist/tracklistfile.h"
#include "tracklist/tracklistformat.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include <cstdio>

namespace {

TrackList contents(char which)
{
    TrackList tracks{};
    for (int n = 0; n < SlotCount; ++n) {
        // Of different lengths, so a torn write could never pass for the other one.
        tracks[n] = {QStringLiteral("/music/%1/cart %2 %3.mp3")
                         .arg(QChar::fromLatin1(which))
                         .arg(n)
                         .arg(QString(n * (which - 'A' + 1), QLatin1Char('x'))),
                     QStringLiteral("%1 %2").arg(QChar::fromLatin1(which)).arg(n)};
    }
    return tracks;
}

// The child: saves the two contents in turn until it is killed.
int saveForever(const QString &path)
{
    const TrackList a = contents('A');
    const TrackList b = contents('B');
    std::puts("saving");
    std::fflush(stdout);
    for (quint64 i = 0;; ++i) {
        if (!TrackListFile::write(path, i % 2 ? b : a, nullptr))
            return 1;
    }
}

} // namespace

// A save killed at any moment leaves the track-list file whole: the old content or the new one.
class TestSaveKill : public QObject
{
    Q_OBJECT

private slots:
    void killedSaveLeavesAWholeFile();
};

void TestSaveKill::killedSaveLeavesAWholeFile()
{
    QTemporaryDir dir;
    const QString path = TrackListFile::pathIn(dir.path());
    const QByteArray a = TrackListFormat::serialize(contents('A'));
    const QByteArray b = TrackListFormat::serialize(contents('B'));
    QVERIFY(TrackListFile::write(path, contents('A'), nullptr));
    QRandomGenerator random(20261208);
    int sawA = 0;
    int sawB = 0;
    for (int kill = 0; kill < 200; ++kill) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save-forever"), path});
        QVERIFY(child.waitForReadyRead(5000));
        QThread::usleep(random.bounded(20000));
        child.kill();
        QVERIFY(child.waitForFinished(5000));
        const QByteArray now = readBytes(path);
        QVERIFY2(now == a || now == b, qPrintable(QStringLiteral("kill %1 left %2 bytes").arg(kill).arg(now.size())));
        (now == a ? sawA : sawB)++;
    }
    // Both contents were caught, so the kills really landed during the saving.
    QVERIFY(sawA > 0 && sawB > 0);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--save-forever")
        return saveForever(QString::fromLocal8Bit(argv[2]));
    TestSaveKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_savekill.moc"
