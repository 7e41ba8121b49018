#include "show/showdocument.h"
#include "show/showformat.h"
#include "testsupport.h"
#include "tracklist/tracklistfile.h"
#include "tracklist/tracklistformat.h"
#include "tracklist/trackliststore.h"

#include <QCoreApplication>
#include <QFileInfo>
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

// The child: saves the two contents in turn until it is killed, to the track-list file or, for a
// path ending in .kelvo, as page 1 of that show.
int saveForever(const QString &path)
{
    const TrackList a = contents('A');
    const TrackList b = contents('B');
    const bool show = path.endsWith(QLatin1String(".kelvo"));
    TrackListStore trackList(QFileInfo(path).absolutePath());
    ShowDocument document(trackList);
    QString error;
    if (show && !document.open(path, &error))
        return 1;
    std::puts("saving");
    std::fflush(stdout);
    for (quint64 i = 0;; ++i) {
        const bool saved = show ? document.save(i % 2 ? b : a, &error)
                                : TrackListFile::write(path, i % 2 ? b : a, nullptr);
        if (!saved)
            return 1;
    }
}

// Which of the two contents the file holds whole: 'A', 'B', or 0 for neither.
char whichContent(const QString &path)
{
    if (!path.endsWith(QLatin1String(".kelvo"))) {
        const QByteArray now = readBytes(path);
        return now == TrackListFormat::serialize(contents('A')) ? 'A'
            : now == TrackListFormat::serialize(contents('B'))  ? 'B'
                                                                : 0;
    }
    const ShowReading reading = ShowFormat::parse(readBytes(path), QFileInfo(path).absolutePath());
    if (!reading.isShow || reading.show.pages.size() != 1)
        return 0;
    for (const char which : {'A', 'B'}) {
        const TrackList expected = contents(which);
        bool same = true;
        for (int n = 0; n < SlotCount; ++n) {
            const ShowCart &cart = reading.show.pages[0].carts[size_t(n)];
            same = same && cart.file == expected[size_t(n)].fullPath && cart.caption == expected[size_t(n)].shortName;
        }
        if (same)
            return which;
    }
    return 0;
}

} // namespace

// A save killed at any moment leaves the track-list file whole: the old content or the new one.
class TestSaveKill : public QObject
{
    Q_OBJECT

private slots:
    void killedSaveLeavesAWholeFile_data();
    void killedSaveLeavesAWholeFile();
};

void TestSaveKill::killedSaveLeavesAWholeFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("the track list") << "Quorbel";
    QTest::newRow("a show file") << "show.kelvo";
}

void TestSaveKill::killedSaveLeavesAWholeFile()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (name.endsWith(QLatin1String(".kelvo"))) {
        Show show;
        show.pages.append(ShowPage{QStringLiteral("Page 1"), {}, {}});
        for (int n = 0; n < SlotCount; ++n)
            show.pages[0].carts[size_t(n)] = {
                contents('A')[size_t(n)].fullPath, contents('A')[size_t(n)].shortName, {}};
        QVERIFY(writeBytes(path, ShowFormat::serialize(show, dir.path())));
    } else {
        QVERIFY(TrackListFile::write(path, contents('A'), nullptr));
    }
    QCOMPARE(whichContent(path), 'A');
    QRandomGenerator random(20261208);
    int sawA = 0;
    int sawB = 0;
    for (int kill = 0; kill < 120; ++kill) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save-forever"), path});
        QVERIFY(child.waitForReadyRead(5000));
        QThread::usleep(random.bounded(20000));
        child.kill();
        QVERIFY(child.waitForFinished(5000));
        const char now = whichContent(path);
        QVERIFY2(now != 0, qPrintable(QStringLiteral("kill %1 left %2 bytes").arg(kill).arg(readBytes(path).size())));
        (now == 'A' ? sawA : sawB)++;
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
