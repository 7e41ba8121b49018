#include "testsupport.h"
#include "tracklist/tracklistfile.h"
#include "tracklist/tracklistformat.h"
#include "tracklist/trackliststore.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TrackListLocation)

// Where the track list lives (beside the program, or per user for an installed copy), and the
// store's save: whole or not at all, announced once.
class TestTrackListStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void locate_data();
    void locate();
    void saveAnnouncesWhatWasWritten();
    void failedSaveAnnouncesNothing();
    void readOnlyProgramFolderSavesPerUser();

private:
    QTemporaryDir m_config;
};

void TestTrackListStore::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QCoreApplication::setApplicationName(QStringLiteral("kelvo"));
}

void TestTrackListStore::locate_data()
{
    QTest::addColumn<bool>("systemFolder");
    QTest::addColumn<bool>("folderWritable");
    QTest::addColumn<bool>("besideExists");
    QTest::addColumn<bool>("besideWritable");
    QTest::addColumn<bool>("userExists");
    QTest::addColumn<TrackListLocation>("expected");
    const QString beside = QStringLiteral("/opt/kelvo/Quorbel");
    const QString user = QStringLiteral("/home/u/.config/kelvo/Quorbel");
    QTest::newRow("writable program folder")
        << false << true << false << false << false << TrackListLocation{beside, beside};
    QTest::newRow("writable folder wins over a user file")
        << false << true << true << true << true << TrackListLocation{beside, beside};
    QTest::newRow("read-only folder, writable file beside")
        << false << false << true << true << false << TrackListLocation{beside, beside};
    QTest::newRow("read-only folder, shipped default beside")
        << false << false << true << false << false << TrackListLocation{beside, user};
    QTest::newRow("read-only folder, no file anywhere")
        << false << false << false << false << false << TrackListLocation{beside, user};
    QTest::newRow("read-only folder, user file exists")
        << false << false << true << false << true << TrackListLocation{user, user};
    // Installed in /usr/bin and run as root, who can write there: still per user.
    QTest::newRow("system folder, run as root")
        << true << true << true << true << false << TrackListLocation{beside, user};
    QTest::newRow("system folder, user file exists")
        << true << true << true << true << true << TrackListLocation{user, user};
}

void TestTrackListStore::locate()
{
    QFETCH(bool, systemFolder);
    QFETCH(bool, folderWritable);
    QFETCH(bool, besideExists);
    QFETCH(bool, besideWritable);
    QFETCH(bool, userExists);
    QFETCH(TrackListLocation, expected);
    const TrackListLocation got = TrackListStore::locate(QStringLiteral("/opt/kelvo/Quorbel"), systemFolder,
                                                         folderWritable, besideExists, besideWritable,
                                                         QStringLiteral("/home/u/.config/kelvo/Quorbel"), userExists);
    QCOMPARE(got.readPath, expected.readPath);
    QCOMPARE(got.savePath, expected.savePath);
}

void TestTrackListStore::saveAnnouncesWhatWasWritten()
{
    QTemporaryDir program;
    TrackListStore store(program.path());
    QCOMPARE(store.location().savePath, TrackListFile::pathIn(program.path()));
    QSignalSpy saved(&store, &TrackListStore::saved);
    TrackList tracks{};
    tracks[4] = {"/m/five.mp3", "Five"};
    QString error;
    QVERIFY2(store.save(tracks, &error), qPrintable(error));
    QCOMPARE(saved.count(), 1);
    QVERIFY(saved.at(0).at(0).value<TrackList>() == tracks);
    QCOMPARE(store.load().value(4), tracks[4]);
}

void TestTrackListStore::failedSaveAnnouncesNothing()
{
    QTemporaryDir program;
    TrackListStore store(program.path());
    const QByteArray old = "\"/old.mp3\",\"Old\"\r\n";
    QVERIFY(writeBytes(TrackListFile::pathIn(program.path()), old));
    QSignalSpy saved(&store, &TrackListStore::saved);
    TrackList tracks{};
    tracks[0] = {"/m/a \"b\".mp3", "Quoted"};
    QString error;
    QVERIFY(!store.save(tracks, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(saved.count(), 0);
    QCOMPARE(readBytes(TrackListFile::pathIn(program.path())), old);
}

void TestTrackListStore::readOnlyProgramFolderSavesPerUser()
{
    // An installed copy: the program's folder is read-only (a read-only bind mount, since
    // permissions do not bind root), with a shipped default list beside the program.
    QTemporaryDir source;
    QTemporaryDir program;
    const QByteArray shipped = "\"/usr/share/sounds/jingle.mp3\",\"Jingle\"\r\n";
    QVERIFY(writeBytes(TrackListFile::pathIn(source.path()), shipped));
    if (QProcess::execute("mount", {"--bind", source.path(), program.path()}) != 0)
        QSKIP("cannot make a read-only folder here (bind mounts need root)");
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {program.path()}); });
    if (QProcess::execute("mount", {"-o", "remount,ro,bind", program.path()}) != 0)
        QSKIP("cannot remount read-only here");
    QVERIFY(!writeBytes(program.filePath("probe"), "x"));

    const QString user = TrackListFile::pathIn(m_config.filePath("kelvo"));
    TrackListStore store(program.path());
    QCOMPARE(store.location(), (TrackListLocation{TrackListFile::pathIn(program.path()), user}));
    QCOMPARE(store.load().value(0).shortName, QStringLiteral("Jingle")); // the shipped default
    TrackList tracks{};
    tracks[0] = store.load().value(0);
    tracks[1] = {"/m/two.mp3", "Two"};
    QString error;
    QVERIFY2(store.save(tracks, &error), qPrintable(error));
    QCOMPARE(readBytes(user), TrackListFormat::serialize(tracks));
    QCOMPARE(readBytes(TrackListFile::pathIn(program.path())), shipped);
    QCOMPARE(store.location().readPath, user);
    QCOMPARE(store.load().value(1).shortName, QStringLiteral("Two"));
}

QTEST_GUILESS_MAIN(TestTrackListStore)
#include "tst_trackliststore.moc"
