#include "testsupport.h"
#include "tracklist/tracklistfile.h"
#include "tracklist/tracklistformat.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using Records = QList<TrackSlot>;
Q_DECLARE_METATYPE(TrackSlot)

namespace QTest {
template <>
char *toString(const TrackSlot &slot)
{
    return QTest::toString(QStringLiteral("[%1|%2]").arg(slot.fullPath, slot.shortName));
}
} // namespace QTest

class TestTrackList : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parseNeverFailsOnJunk_data();
    void parseNeverFailsOnJunk();
    void fuzzInputsReplayed_data();
    void fuzzInputsReplayed();
    void serializeExactBytes_data();
    void serializeExactBytes();
    void roundTrip_data();
    void roundTrip();
    void quoteInValueDoesNotReadBack();
    void fileReadWrite();
    void missingOrUnreadableFileReadsEmpty();
    void failedSaveKeepsOldFile();
    void staleTemporariesRemoved();
    void pathInProgramFolder();
};

void TestTrackList::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Records>("expected");

    QTest::newRow("empty file") << QByteArray() << Records{};
    QTest::newRow("only line ends") << QByteArray("\r\n\r\n  \n") << Records{};
    QTest::newRow("one record CRLF") << QByteArray("\"C:\\Music\\song.mp3\",\"Song\"\r\n")
                                     << Records{{"C:\\Music\\song.mp3", "Song"}};
    QTest::newRow("lone LF") << QByteArray("\"/a.mp3\",\"A\"\n\"/b.mp3\",\"B\"\n")
                             << Records{{"/a.mp3", "A"}, {"/b.mp3", "B"}};
    QTest::newRow("lone CR") << QByteArray("\"/a.mp3\",\"A\"\r\"/b.mp3\",\"B\"\r")
                             << Records{{"/a.mp3", "A"}, {"/b.mp3", "B"}};
    QTest::newRow("no final line end") << QByteArray("\"/a.mp3\",\"A\"") << Records{{"/a.mp3", "A"}};
    QTest::newRow("blank record") << QByteArray("\"\",\"\"\r\n") << Records{{"", ""}};
    QTest::newRow("fields on two lines") << QByteArray("\"/a.mp3\"\r\n\"A\"\r\n\"/b.mp3\",\"B\"\r\n")
                                         << Records{{"/a.mp3", "A"}, {"/b.mp3", "B"}};
    QTest::newRow("spaces before fields") << QByteArray("   \"/a.mp3\",   \"A\"\r\n") << Records{{"/a.mp3", "A"}};
    QTest::newRow("spaces inside quotes kept") << QByteArray("\" /a.mp3 \",\"  \"\r\n") << Records{{" /a.mp3 ", "  "}};
    QTest::newRow("text after closing quote dropped")
        << QByteArray("\"/a.mp3\" junk,\"A\"xx\r\n") << Records{{"/a.mp3", "A"}};
    QTest::newRow("unquoted fields") << QByteArray("/a b.mp3  ,  Name One  \r\n") << Records{{"/a b.mp3", "Name One"}};
    QTest::newRow("unquoted empty fields") << QByteArray(",\r\n") << Records{{"", ""}};
    QTest::newRow("commas inside quotes")
        << QByteArray("\"/m/a,b,c.mp3\",\"x,y\"\r\n") << Records{{"/m/a,b,c.mp3", "x,y"}};
    QTest::newRow("unterminated quote") << QByteArray("\"/a.mp3,A\r\n") << Records{{"/a.mp3,A\r\n", ""}};
    QTest::newRow("only first field") << QByteArray("\"/a.mp3\"") << Records{{"/a.mp3", ""}};
    QTest::newRow("NUL inside a value") << QByteArray("\"a\0b\",\"n\"\r\n", 11)
                                        << Records{{QString::fromUtf8("a\0b", 3), "n"}};

    QByteArray five;
    Records fiveRecords;
    for (int n = 0; n < 5; ++n) {
        five += QStringLiteral("\"/t%1.mp3\",\"T%1\"\r\n").arg(n).toUtf8();
        fiveRecords.append({QStringLiteral("/t%1.mp3").arg(n), QStringLiteral("T%1").arg(n)});
    }
    QTest::newRow("five records") << five << fiveRecords;

    QByteArray thirteen;
    Records twelve;
    for (int n = 0; n < 13; ++n) {
        thirteen += QStringLiteral("\"/t%1.mp3\",\"T%1\"\r\n").arg(n).toUtf8();
        if (n < 12)
            twelve.append({QStringLiteral("/t%1.mp3").arg(n), QStringLiteral("T%1").arg(n)});
    }
    QTest::newRow("records past the twelfth ignored") << thirteen << twelve;

    QTest::newRow("UTF-8") << QByteArray("\"/m\xC3\xBAsica/caf\xC3\xA9.mp3\",\"Caf\xC3\xA9\"\r\n")
                           << Records{{QStringLiteral(u"/música/café.mp3"), QStringLiteral(u"Café")}};
    QTest::newRow("Windows-1252 fallback")
        << QByteArray("\"C:\\M\xFAsica\\caf\xE9.mp3\",\"\x80 5 \x96 Caf\xE9\"\r\n")
        << Records{{QStringLiteral(u"C:\\Música\\café.mp3"), QStringLiteral(u"€ 5 – Café")}};
    // A byte-order mark opening the file is no data; anywhere else it is.
    QTest::newRow("UTF-8 mark at the start")
        << QByteArray("\xEF\xBB\xBF\"/song.mp3\",\"First\"\r\n") << Records{{"/song.mp3", "First"}};
    QTest::newRow("UTF-8 mark, Windows-1252 after it is read as UTF-8")
        << QByteArray("\xEF\xBB\xBF\"/caf\xC3\xA9.mp3\",\"A\"\r\n") << Records{{QStringLiteral(u"/café.mp3"), "A"}};
    QTest::newRow("UTF-16 LE mark") << QByteArray("\xFF\xFE\"\0/\0a\0\"\0,\0\"\0A\0\"\0\r\0\n\0", 22)
                                    << Records{{"/a", "A"}};
    QTest::newRow("UTF-16 BE mark") << QByteArray("\xFE\xFF\0\"\0/\0a\0\"\0,\0\"\0A\0\"\0\r\0\n", 22)
                                    << Records{{"/a", "A"}};
    QTest::newRow("mark inside a value is data")
        << QByteArray("\"/a.mp3\",\"\xEF\xBB\xBFName\"\r\n") << Records{{"/a.mp3", QStringLiteral(u"\uFEFFName")}};
    QTest::newRow("quotes inside unquoted fields kept")
        << QByteArray("/music/my \"best\" take.mp3,Take \"one\" best\r\n")
        << Records{{"/music/my \"best\" take.mp3", "Take \"one\" best"}};
    QTest::newRow("a huge field is cut at 32767 characters")
        << (QByteArray("\"/a.mp3\",\"") + QByteArray(15 * 1024 * 1024, 'n') + "\"\r\n\"/b.mp3\",\"B\"\r\n")
        << Records{{"/a.mp3", QString(32767, QLatin1Char('n'))}, {"/b.mp3", "B"}};
}

void TestTrackList::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Records, expected);
    QCOMPARE(TrackListFormat::parse(bytes), expected);
}

void TestTrackList::parseNeverFailsOnJunk_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxRecords");

    QTest::newRow("1 MB line, unquoted") << QByteArray(1024 * 1024, 'x') << 1;
    QTest::newRow("1 MB line, quoted") << (QByteArray("\"") + QByteArray(1024 * 1024, 'y')) << 1;
    QTest::newRow("only commas") << QByteArray(100000, ',') << 12;
    QTest::newRow("only quotes") << QByteArray(100001, '"') << 12;
    QTest::newRow("only NULs") << QByteArray(4096, '\0') << 1;
    QByteArray junk(256 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (char &c : junk)
        c = char(generator.bounded(256));
    QTest::newRow("random bytes") << junk << 12;
}

void TestTrackList::parseNeverFailsOnJunk()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxRecords);
    const Records records = TrackListFormat::parse(bytes);
    QVERIFY(records.size() <= maxRecords);
}

void TestTrackList::fuzzInputsReplayed_data()
{
    QTest::addColumn<QString>("file");
    for (const QString &file : fuzzInputs("tracklist"))
        QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
}

void TestTrackList::fuzzInputsReplayed()
{
    QFETCH(QString, file);
    const QByteArray bytes = readBytes(file);
    QVERIFY(TrackListFormat::parse(bytes).size() <= 12);
    QVERIFY(TrackListFile::read(file).size() <= 12);
}

void TestTrackList::serializeExactBytes_data()
{
    QTest::addColumn<TrackList>("tracks");
    QTest::addColumn<QByteArray>("expected");

    QByteArray blank;
    for (int n = 0; n < 12; ++n)
        blank += "\"\",\"\"\r\n";
    QTest::newRow("all blank") << TrackList{} << blank;

    TrackList one{};
    one[0] = {"C:\\Music\\song.mp3", "Song"};
    QTest::newRow("one slot") << one << (QByteArray("\"C:\\Music\\song.mp3\",\"Song\"\r\n") + blank.mid(7));

    TrackList spaces{};
    spaces[11] = {" /x.mp3 ", "   "};
    QTest::newRow("values written as held") << spaces << (blank.left(77) + "\" /x.mp3 \",\"   \"\r\n");

    TrackList utf8{};
    utf8[0] = {QStringLiteral(u"/café.mp3"), QStringLiteral(u"€")};
    QTest::newRow("UTF-8") << utf8 << (QByteArray("\"/caf\xC3\xA9.mp3\",\"\xE2\x82\xAC\"\r\n") + blank.mid(7));
}

void TestTrackList::serializeExactBytes()
{
    QFETCH(TrackList, tracks);
    QFETCH(QByteArray, expected);
    QCOMPARE(TrackListFormat::serialize(tracks), expected);
}

void TestTrackList::roundTrip_data()
{
    QTest::addColumn<TrackSlot>("slot");
    QTest::newRow("commas in path and name") << TrackSlot{"/music/a, b, and c.mp3", "x, y"};
    QTest::newRow("spaces kept") << TrackSlot{"  /a.mp3", "name  "};
    QTest::newRow("blank") << TrackSlot{"", ""};
    QTest::newRow("path without name") << TrackSlot{"/a.mp3", ""};
    QTest::newRow("accents and symbols") << TrackSlot{QStringLiteral(u"/Música/Ünïcödé ♫.mp3"),
                                                      QStringLiteral(u"Ça va ♫")};
    QTest::newRow("Windows path") << TrackSlot{"C:\\mp3_music\\track4.mp3", "Track 4"};
    QTest::newRow("values led by U+FEFF") << TrackSlot{QStringLiteral(u"\uFEFF/a.mp3"), QStringLiteral(u"\uFEFFName")};
}

void TestTrackList::roundTrip()
{
    QFETCH(TrackSlot, slot);
    TrackList tracks{};
    tracks[3] = slot;
    const Records back = TrackListFormat::parse(TrackListFormat::serialize(tracks));
    QCOMPARE(back.size(), 12);
    QCOMPARE(back[3], slot);
    QCOMPARE(back[4], TrackSlot{});
}

void TestTrackList::quoteInValueDoesNotReadBack()
{
    // The format has no escape: such a value is written unchanged and reads back differently,
    // which is why the editor never lets one in.
    TrackList tracks{};
    tracks[0] = {"/a \"b\".mp3", "name"};
    const QByteArray bytes = TrackListFormat::serialize(tracks);
    QVERIFY(bytes.startsWith("\"/a \"b\".mp3\",\"name\"\r\n"));
    QVERIFY(TrackListFormat::parse(bytes).value(0) != tracks[0]);
}

void TestTrackList::fileReadWrite()
{
    QTemporaryDir dir;
    const QString path = TrackListFile::pathIn(dir.path());
    TrackList tracks{};
    tracks[0] = {"/m/one.mp3", "One"};
    tracks[11] = {"/m/twelve.mp3", "Twelve"};
    QString error;
    QVERIFY2(TrackListFile::write(path, tracks, &error), qPrintable(error));
    QCOMPARE(readBytes(path), TrackListFormat::serialize(tracks));
    const Records back = TrackListFile::read(path);
    QCOMPARE(back.size(), 12);
    QCOMPARE(back[0], tracks[0]);
    QCOMPARE(back[11], tracks[11]);
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Quorbel"});
}

void TestTrackList::missingOrUnreadableFileReadsEmpty()
{
    QTemporaryDir dir;
    QCOMPARE(TrackListFile::read(TrackListFile::pathIn(dir.path())), Records{});
    QVERIFY(QDir(dir.path()).mkdir("Quorbel")); // a folder where the file should be
    QCOMPARE(TrackListFile::read(TrackListFile::pathIn(dir.path())), Records{});
#ifdef Q_OS_UNIX
    // A FIFO would block the reader until some writer came: it is no file.
    QTemporaryDir fifoDir;
    QCOMPARE(::mkfifo(QFile::encodeName(TrackListFile::pathIn(fifoDir.path())).constData(), 0600), 0);
    QCOMPARE(TrackListFile::read(TrackListFile::pathIn(fifoDir.path())), Records{});
    QCOMPARE(TrackListFile::read(QStringLiteral("/dev/zero")), Records{});
#endif
}

void TestTrackList::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = TrackListFile::pathIn(dir.path());
    const QByteArray old = "\"/old.mp3\",\"Old\"\r\n";
    QVERIFY(writeBytes(path, old));
    TrackList tracks{};
    tracks[0] = {"/new.mp3", "New"};
    QString error;
    bool saved = true;
    {
        const DiskFullScope diskFull;
        saved = TrackListFile::write(path, tracks, &error);
    }
    QVERIFY(!saved);
    QVERIFY2(!error.isEmpty() && !error.contains("Unknown error"), qPrintable(error));
    QCOMPARE(readBytes(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Quorbel"});

    // A folder that does not exist cannot be saved into either, and says so.
    error.clear();
    QVERIFY(!TrackListFile::write(dir.filePath("missing/Quorbel"), tracks, &error));
    QVERIFY(!error.isEmpty());

    // A double quote would split its field on the next read: never written, the tracks named.
    tracks[2] = {"/m/my \"best\" take.mp3", "Take"};
    tracks[6] = {"/m/b.mp3", "Take \"one\""};
    QVERIFY(!TrackListFile::write(path, tracks, &error));
    QVERIFY2(error.contains("Track 3, 7"), qPrintable(error));
    QCOMPARE(readBytes(path), old);
}

void TestTrackList::staleTemporariesRemoved()
{
    QTemporaryDir dir;
    const QDateTime old = QDateTime::currentDateTime().addSecs(-120);
    const auto make = [&](const char *name, const QDateTime &time) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
    };
    make("Quorbel", old);
    make("Quorbel.aB3xYz", old);                          // a save killed part-way
    make("Quorbel.Qq1234", QDateTime::currentDateTime()); // maybe a save in progress
    make("Quorbel.bak", old);                             // the user's own
    make("Quorbel.aB3xYz7", old);
    QCOMPARE(TrackListFile::removeStaleTemporaries(dir.path()), 1);
    QStringList left = QDir(dir.path()).entryList(QDir::Files);
    left.sort();
    QCOMPARE(left, (QStringList{"Quorbel", "Quorbel.Qq1234", "Quorbel.aB3xYz7", "Quorbel.bak"}));
}

void TestTrackList::pathInProgramFolder()
{
    QCOMPARE(TrackListFile::pathIn("/opt/kelvo"), QStringLiteral("/opt/kelvo/Quorbel"));
    QCOMPARE(TrackListFile::pathIn("/opt/kelvo/"), QStringLiteral("/opt/kelvo/Quorbel"));
}

QTEST_GUILESS_MAIN(TestTrackList)
#include "tst_tracklist.moc"
