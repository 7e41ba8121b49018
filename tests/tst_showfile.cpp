#include "show/showdocument.h"
#include "show/showformat.h"
#include "testsupport.h"
#include "tracklist/tracklistfile.h"
#include "tracklist/trackliststore.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

// The show file (what a read takes and what it leaves out, what a write keeps, paths relative to
// the show's folder, versions) and the show on disk: the default show over the track-list file,
// other shows in one file, saves that are refused.
class TestShowFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsWhatMakesSense_data();
    void readsWhatMakesSense();
    void pathsFollowTheFolder_data();
    void pathsFollowTheFolder();
    void unknownKeysSurviveASave();
    void fuzzInputsReplayed_data();
    void fuzzInputsReplayed();
    void cartSettingsAreReadWithinRange_data();
    void cartSettingsAreReadWithinRange();
    void defaultShowKeepsFirstPageSettings();
    void defaultShowWritesOnlyTheTrackList();
    void defaultShowPagesBesideTheTrackList();
    void pageEditsFollowTheRules();
    void refusedSavesChangeNothing_data();
    void refusedSavesChangeNothing();
    void savedFollowsTheFile_data();
    void savedFollowsTheFile();
    void savedAsAShowTravels_data();
    void savedAsAShowTravels();
    void savedAsNamesWhatItCouldNotCopy();

private:
    QTemporaryDir m_config;
};

Q_DECLARE_METATYPE(CartSettings)

namespace {

QByteArray showWith(const QByteArray &pages, const QByteArray &version = "1")
{
    return "{\"kelvo-show\": " + version + ", \"pages\": " + pages + "}";
}

QByteArray cartsOf(int count)
{
    QByteArray carts = "[";
    for (int n = 0; n < count; ++n)
        carts += (n ? "," : "") + QByteArray("{\"file\": \"/m/") + QByteArray::number(n) + ".mp3\"}";
    return carts + "]";
}

} // namespace

void TestShowFile::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QCoreApplication::setApplicationName(QStringLiteral("kelvo"));
}

void TestShowFile::readsWhatMakesSense_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("isShow");
    QTest::addColumn<bool>("isNewer");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("firstFile"); // page 1, cart 1
    QTest::addColumn<QString>("firstName"); // page 1's name
    QTest::addColumn<int>("skipped");
    QTest::newRow("the issue's example") << showWith(
        R"([{"name": "Act 1", "carts": [{"file": "music/overture.flac", "caption": "Overture"}, {}]}])")
                                         << true << false << 1 << "/show/music/overture.flac"
                                         << "Act 1" << 0;
    QTest::newRow("no pages: one blank") << showWith("[]") << true << false << 1 << ""
                                         << "Page 1" << 0;
    QTest::newRow("a nameless page") << showWith("[{}, {\"name\": \"  \"}]") << true << false << 2 << ""
                                     << "Page 1" << 0;
    QTest::newRow("a newer version") << showWith("[{\"name\": \"B\"}]", "2") << true << true << 1 << ""
                                     << "B" << 0;
    QTest::newRow("not JSON") << QByteArray("\x89PNG\r\n\x1a\n\0\0", 10) << false << false << 0 << ""
                              << "" << 0;
    QTest::newRow("truncated") << showWith(R"([{"name": "Act 1", "carts": [{"file": "a.flac"}]}])").chopped(9) << false
                               << false << 0 << ""
                               << "" << 0;
    QTest::newRow("another JSON file") << QByteArray(R"({"pages": []})") << false << false << 0 << ""
                                       << "" << 0;
    QTest::newRow("version as text") << showWith("[]", "\"1\"") << false << false << 0 << ""
                                     << "" << 0;
    QTest::newRow("pages not a list") << showWith("\"Act 1\"") << true << false << 1 << ""
                                      << "Page 1" << 1;
    QTest::newRow("a page not an object") << showWith("[3, {\"name\": \"B\"}]") << true << false << 2 << ""
                                          << "Page 1" << 1;
    QTest::newRow("1,000 pages") << showWith("[" + QByteArray("{},").repeated(999) + "{}]") << true << false << 99 << ""
                                 << "Page 1" << 1;
    QTest::newRow("1,000 carts on a page")
        << showWith("[{\"carts\": " + cartsOf(1000) + "}]") << true << false << 1 << "/m/0.mp3"
        << "Page 1" << 1;
    QTest::newRow("wrong types") << showWith(R"([{"name": 5, "carts": [{"file": 7, "caption": []}, "x", null]}])")
                                 << true << false << 1 << ""
                                 << "Page 1" << 3;
    QTest::newRow("control characters in a path")
        << showWith(R"([{"carts": [{"file": "/m/a\u0007b.mp3", "caption": "Bell\nring"}]}])") << true << false << 1
        << ""
        << "Page 1" << 2;
    QTest::newRow("a path climbing out") << showWith(R"([{"carts": [{"file": "../../etc/passwd"}]}])") << true << false
                                         << 1 << ""
                                         << "Page 1" << 1;
    QTest::newRow("a name Qt takes for a resource")
        << showWith(R"([{"carts": [{"file": ":wav"}]}])") << true << false << 1 << "/show/:wav"
        << "Page 1" << 0;
    QTest::newRow("a path climbing in and out") << showWith(R"([{"carts": [{"file": "music/../jingles/a.wav"}]}])")
                                                << true << false << 1 << "/show/jingles/a.wav"
                                                << "Page 1" << 0;
    QTest::newRow("a very long name") << showWith("[{\"name\": \"" + QByteArray(500, 'n') + "\"}]") << true << false
                                      << 1 << "" << QString(ShowFormat::kMaxNameChars, QLatin1Char('n')) << 0;
    QTest::newRow("deep nesting") << QByteArray("[").repeated(100000) << false << false << 0 << ""
                                  << "" << 0;
    QTest::newRow("over the size limit") << showWith("[{\"name\": \"" + QByteArray(ShowFormat::kMaxBytes, 'n') + "\"}]")
                                         << false << false << 0 << ""
                                         << "" << 0;
}

void TestShowFile::readsWhatMakesSense()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, isShow);
    QFETCH(bool, isNewer);
    QFETCH(int, pages);
    QFETCH(QString, firstFile);
    QFETCH(QString, firstName);
    QFETCH(int, skipped);
    const ShowReading reading = ShowFormat::parse(bytes, QStringLiteral("/show"));
    QCOMPARE(reading.isShow, isShow);
    if (!isShow)
        return;
    QCOMPARE(reading.isNewer, isNewer);
    QCOMPARE(reading.show.pages.size(), pages);
    QCOMPARE(reading.show.pages[0].carts[0].file, firstFile);
    QCOMPARE(reading.show.pages[0].name, firstName);
    QVERIFY2(reading.skipped.size() == skipped, qPrintable(reading.skipped.join(QStringLiteral("; "))));
}

void TestShowFile::pathsFollowTheFolder_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("stored");
    QTest::newRow("inside the folder") << "/shows/hamlet/music/a.flac"
                                       << "music/a.flac";
    QTest::newRow("beside the show") << "/shows/hamlet/a.flac"
                                     << "a.flac";
    QTest::newRow("outside the folder") << "/srv/sfx/thunder.wav"
                                        << "/srv/sfx/thunder.wav";
    QTest::newRow("a sibling folder") << "/shows/hamlet-old/a.flac"
                                      << "/shows/hamlet-old/a.flac";
    QTest::newRow("with spaces and accents") << "/shows/hamlet/Akt 1/Ouvertüre.mp3"
                                             << "Akt 1/Ouvertüre.mp3";
}

void TestShowFile::pathsFollowTheFolder()
{
    QFETCH(QString, file);
    QFETCH(QString, stored);
    Show show;
    show.pages.append(ShowPage{QStringLiteral("Act 1"), {}, {}});
    show.pages[0].carts[3].file = file;
    const QByteArray bytes = ShowFormat::serialize(show, QStringLiteral("/shows/hamlet"));
    const QJsonObject written = QJsonDocument::fromJson(bytes).object();
    QCOMPARE(
        written.value("pages").toArray()[0].toObject().value("carts").toArray()[3].toObject().value("file").toString(),
        stored);
    // Read where it was written, and where the folder was moved to.
    QCOMPARE(ShowFormat::parse(bytes, QStringLiteral("/shows/hamlet")).show.pages[0].carts[3].file, file);
    const QString moved = stored.startsWith(QLatin1Char('/')) ? file : QStringLiteral("/media/usb/hamlet/") + stored;
    QCOMPARE(ShowFormat::parse(bytes, QStringLiteral("/media/usb/hamlet")).show.pages[0].carts[3].file, moved);
}

void TestShowFile::unknownKeysSurviveASave()
{
    const QByteArray bytes = showWith(
        R"([{"name": "A", "lights": "blue", "carts": [{"file": "/m/a.mp3", "caption": "A", "gain_db": -3.5}]}], "author": "Stage")");
    ShowReading reading = ShowFormat::parse(bytes, QStringLiteral("/show"));
    QVERIFY(reading.isShow);
    reading.show.pages[0].carts[0].caption = QStringLiteral("Renamed");
    const QJsonObject written = QJsonDocument::fromJson(ShowFormat::serialize(reading.show, "/show")).object();
    QCOMPARE(written.value("author").toString(), QStringLiteral("Stage"));
    QCOMPARE(written.value("kelvo-show").toInt(), ShowFormat::kVersion);
    const QJsonObject page = written.value("pages").toArray()[0].toObject();
    QCOMPARE(page.value("lights").toString(), QStringLiteral("blue"));
    const QJsonObject cart = page.value("carts").toArray()[0].toObject();
    QCOMPARE(cart.value("gain_db").toDouble(), -3.5);
    QCOMPARE(cart.value("caption").toString(), QStringLiteral("Renamed"));
    // The first page's files left to the track list, its other keys kept.
    const QJsonObject elsewhere = QJsonDocument::fromJson(ShowFormat::serialize(reading.show, "/show", true))
                                      .object()
                                      .value("pages")
                                      .toArray()[0]
                                      .toObject()
                                      .value("carts")
                                      .toArray()[0]
                                      .toObject();
    QVERIFY(!elsewhere.contains("file") && !elsewhere.contains("caption"));
    QCOMPARE(elsewhere.value("gain_db").toDouble(), -3.5);
}

void TestShowFile::fuzzInputsReplayed_data()
{
    QTest::addColumn<QString>("file");
    for (const QString &file : fuzzInputs(QStringLiteral("show")))
        QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
}

void TestShowFile::fuzzInputsReplayed()
{
    QFETCH(QString, file);
    const ShowReading reading = ShowFormat::parse(readBytes(file), QStringLiteral("/show"));
    QVERIFY(!reading.isShow || (reading.show.pages.size() >= 1 && reading.show.pages.size() <= ShowFormat::kMaxPages));
}

void TestShowFile::cartSettingsAreReadWithinRange_data()
{
    QTest::addColumn<QByteArray>("cart");
    QTest::addColumn<CartSettings>("expected");
    QTest::addColumn<int>("notes");
    CartSettings all;
    all.gainDb = -6;
    all.in = 2;
    all.out = 4.5;
    all.loop = true;
    all.fadeIn = 0.25;
    all.fadeOut = 3;
    all.colour = QStringLiteral("#a0c0ff");
    QTest::newRow("none") << QByteArray("{}") << CartSettings{} << 0;
    QTest::newRow("every one") << QByteArray(R"({"gain_db": -6, "in": 2, "out": 4.5, "loop": true, "fade_in": 0.25,
        "fade_out": 3, "colour": "#A0C0FF"})")
                               << all << 0;
    CartSettings held;
    held.gainDb = 12;
    held.fadeIn = 60;
    QTest::newRow("out of range: held") << QByteArray(R"({"gain_db": 40, "in": -3, "fade_in": 1e300})") << held << 3;
    CartSettings noOut;
    noOut.in = 5;
    QTest::newRow("out before in: dropped") << QByteArray(R"({"in": 5, "out": 4})") << noOut << 1;
    QTest::newRow("wrong kinds: defaults")
        << QByteArray(R"({"gain_db": "loud", "loop": 1, "colour": "red", "fade_out": null, "out": [1]})")
        << CartSettings{} << 4;
}

void TestShowFile::cartSettingsAreReadWithinRange()
{
    QFETCH(QByteArray, cart);
    QFETCH(CartSettings, expected);
    QFETCH(int, notes);
    const ShowReading reading = ShowFormat::parse(showWith("[{\"carts\": [" + cart + "]}]"), QStringLiteral("/shows"));
    QVERIFY(reading.isShow);
    QCOMPARE(reading.show.pages[0].carts[0].settings, expected);
    QCOMPARE(reading.skipped.size(), notes);
    // Written and read again: the very same settings, and nothing said of them.
    const ShowReading again = ShowFormat::parse(ShowFormat::serialize(reading.show, "/shows"), "/shows");
    QCOMPARE(again.show.pages[0].carts[0].settings, expected);
    QVERIFY(again.skipped.isEmpty());
}

void TestShowFile::defaultShowKeepsFirstPageSettings()
{
    // The track-list file cannot hold settings: page 1's live in the show file beside it, and
    // the track list stays byte for byte what it was.
    QTemporaryDir program;
    QVERIFY(writeBytes(TrackListFile::pathIn(program.path()), "\"/m/a.mp3\",\"A\"\r\n"));
    const QByteArray before = readBytes(TrackListFile::pathIn(program.path()));
    TrackListStore store(program.path());
    CartSettings settings;
    settings.in = 1.5;
    settings.colour = QStringLiteral("#ffcc00");
    QString error;
    {
        ShowDocument show(store);
        QSignalSpy changed(&show, &ShowDocument::cartSettingsChanged);
        QVERIFY(show.setCartSettings(0, 0, settings, &error));
        QCOMPARE(changed.size(), 1);
        QVERIFY(!show.setCartSettings(0, SlotCount, settings, &error));
    }
    QCOMPARE(readBytes(TrackListFile::pathIn(program.path())), before);
    ShowDocument again(store);
    QString note;
    again.openDefault(&note);
    QVERIFY(note.isEmpty());
    QCOMPARE(again.pageCount(), 1);
    QCOMPARE(again.cartSettings(0, 0), settings);
    QCOMPARE(again.tracks(0)[0].fullPath, QStringLiteral("/m/a.mp3"));
}

void TestShowFile::defaultShowWritesOnlyTheTrackList()
{
    QTemporaryDir program;
    const QByteArray list = "\"/m/a.mp3\",\"A\"\r\n";
    QVERIFY(writeBytes(TrackListFile::pathIn(program.path()), list));
    TrackListStore store(program.path());
    ShowDocument show(store);
    QCOMPARE(show.pageCount(), 1);
    QCOMPARE(show.load().value(0), (TrackSlot{"/m/a.mp3", "A"}));
    TrackList tracks{};
    tracks[1] = {QStringLiteral("/m/b.mp3"), QStringLiteral("B")};
    QString error;
    QSignalSpy saved(&show, &TrackStore::saved);
    QVERIFY(show.save(tracks, &error));
    QCOMPARE(saved.size(), 1);
    QCOMPARE(QDir(program.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Quorbel"});
    QCOMPARE(readBytes(TrackListFile::pathIn(program.path())),
             QByteArray("\"\",\"\"\r\n\"/m/b.mp3\",\"B\"\r\n") + QByteArray("\"\",\"\"\r\n").repeated(10));
    // Another program's edit of the list shows on page 1.
    QVERIFY(writeBytes(TrackListFile::pathIn(program.path()), list));
    QCOMPARE(show.tracks(0)[0], (TrackSlot{"/m/a.mp3", "A"}));
}

void TestShowFile::defaultShowPagesBesideTheTrackList()
{
    QTemporaryDir program;
    QVERIFY(writeBytes(TrackListFile::pathIn(program.path()), "\"/m/a.mp3\",\"A\"\r\n"));
    const QByteArray before = readBytes(TrackListFile::pathIn(program.path()));
    TrackListStore store(program.path());
    QString error;
    {
        ShowDocument show(store);
        QVERIFY(show.addPage(&error));
        show.showPage(1);
        TrackList tracks{};
        tracks[0] = {QDir(program.path()).filePath(QStringLiteral("jingle.wav")), QStringLiteral("Jingle")};
        QVERIFY(show.save(tracks, &error));
        QVERIFY(show.renamePage(1, QStringLiteral("  Act   2 "), &error));
    }
    QCOMPARE(readBytes(TrackListFile::pathIn(program.path())), before); // page 1 untouched
    const QJsonObject written =
        QJsonDocument::fromJson(readBytes(QDir(program.path()).filePath("Quorbel.kelvo"))).object();
    const QJsonArray pages = written.value("pages").toArray();
    QCOMPARE(pages.size(), 2);
    QVERIFY(!pages[0].toObject().contains("carts")); // the track list holds them
    QCOMPARE(pages[1].toObject().value("name").toString(), QStringLiteral("Act 2"));
    QCOMPARE(pages[1].toObject().value("carts").toArray()[0].toObject().value("file").toString(),
             QStringLiteral("jingle.wav"));
    // Read again at the next start.
    ShowDocument again(store);
    QString note;
    again.openDefault(&note);
    QVERIFY(note.isEmpty());
    QCOMPARE(again.pageCount(), 2);
    QCOMPARE(again.pageName(1), QStringLiteral("Act 2"));
    QCOMPARE(again.tracks(1)[0].shortName, QStringLiteral("Jingle"));
    QCOMPARE(again.tracks(0)[0].fullPath, QStringLiteral("/m/a.mp3"));
}

void TestShowFile::pageEditsFollowTheRules()
{
    QTemporaryDir program;
    TrackListStore store(program.path());
    ShowDocument show(store);
    QString error;
    QVERIFY(!show.canDelete(0)); // the last page, and the track list's
    QVERIFY(show.addPage(&error) && show.addPage(&error));
    QVERIFY(!show.canDelete(0) && !show.canMove(0, 1) && !show.canMove(1, -1));
    QVERIFY(show.renamePage(1, QStringLiteral("B"), &error) && show.renamePage(2, QStringLiteral("C"), &error));
    show.showPage(2);
    QVERIFY(show.movePage(2, -1, &error));
    QCOMPARE(show.pageName(1), QStringLiteral("C"));
    QCOMPARE(show.shownPage(), 1); // the page shown moved with it
    QVERIFY(show.deletePage(1, &error));
    QCOMPARE(show.pageCount(), 2);
    QCOMPARE(show.pageName(1), QStringLiteral("B"));
    QCOMPARE(show.shownPage(), 0);
    while (show.pageCount() < ShowFormat::kMaxPages)
        QVERIFY(show.addPage(&error));
    QVERIFY(!show.addPage(&error));
    QVERIFY(error.contains(QLatin1String("99")));
}

void TestShowFile::refusedSavesChangeNothing_data()
{
    QTest::addColumn<QString>("why");
    QTest::newRow("a newer version") << "newer";
    QTest::newRow("changed by another program, kept") << "changed";
    QTest::newRow("a read-only folder") << "read-only";
}

void TestShowFile::refusedSavesChangeNothing()
{
    QFETCH(QString, why);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("show.kelvo"));
    const QByteArray bytes = showWith(R"([{"name": "A"}, {"name": "B"}])", why == QLatin1String("newer") ? "7" : "1");
    QVERIFY(writeBytes(path, bytes));
    TrackListStore store(folder.path());
    ShowDocument show(store);
    QString message;
    QVERIFY(show.open(path, &message));
    QCOMPARE(show.isReadOnly(), why == QLatin1String("newer"));
    QByteArray expected = bytes;
    if (why == QLatin1String("changed")) {
        expected = showWith(R"([{"name": "Theirs"}])");
        QTest::qWait(20); // a later modification time
        QVERIFY(writeBytes(path, expected));
        show.setOverwriteQuestion([](const QString &) { return false; });
    }
    if (why == QLatin1String("read-only")) {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
    }
    TrackList tracks{};
    tracks[0] = {QStringLiteral("/m/x.mp3"), QStringLiteral("X")};
    QString error;
    QVERIFY(!show.save(tracks, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!show.renamePage(0, QStringLiteral("Z"), &error));
    QCOMPARE(show.pageName(0), QStringLiteral("A")); // in memory as on disk
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(readBytes(path), expected);
}

void TestShowFile::savedFollowsTheFile_data()
{
    QTest::addColumn<QString>("change"); // what happens to the show file after it was read
    QTest::addColumn<bool>("saved");     // the show is still its file's
    QTest::addColumn<bool>("readOnly");  // a newer version's show
    QTest::addColumn<bool>("isDefault"); // the track list's own pages
    QTest::newRow("Kelvo's own edit") << "edit" << true << false << false;
    QTest::newRow("rewritten in place by another program") << "rewrite" << false << false << false;
    QTest::newRow("replaced by another program's rename") << "replace" << false << false << false;
    QTest::newRow("removed by another program") << "remove" << false << false << false;
    QTest::newRow("a newer version's show, rewritten") << "rewrite" << true << true << false;
    QTest::newRow("the default show's pages, rewritten") << "rewrite" << true << false << true;
}

void TestShowFile::savedFollowsTheFile()
{
    QFETCH(QString, change);
    QFETCH(bool, saved);
    QFETCH(bool, readOnly);
    QFETCH(bool, isDefault);
    QTemporaryDir folder;
    TrackListStore store(folder.path());
    const QString path = isDefault ? folder.filePath(ShowDocument::defaultShowFileName())
                                   : folder.filePath(QStringLiteral("show.kelvo"));
    QVERIFY(writeBytes(path, showWith(R"([{"name": "A"}, {"name": "B"}])", readOnly ? "7" : "1")));
    ShowDocument show(store);
    QSignalSpy changes(&show, &ShowDocument::savedChanged);
    QString message;
    if (isDefault)
        show.openDefault(&message);
    else
        QVERIFY(show.open(path, &message));
    QVERIFY(show.isSaved());
    QTest::qWait(20); // a later modification time
    QString error;
    if (change == QLatin1String("edit")) {
        QVERIFY(show.renamePage(1, QStringLiteral("Mine"), &error));
    } else if (change == QLatin1String("rewrite")) {
        QVERIFY(writeBytes(path, showWith(R"([{"name": "Theirs"}, {"name": "B"}])", readOnly ? "7" : "1")));
    } else if (change == QLatin1String("replace")) {
        const QString beside = folder.filePath(QStringLiteral("theirs.tmp"));
        QVERIFY(writeBytes(beside, showWith(R"([{"name": "Theirs"}])")));
        QVERIFY(::rename(QFile::encodeName(beside).constData(), QFile::encodeName(path).constData()) == 0);
    } else {
        QVERIFY(QFile::remove(path));
    }
    if (saved) {
        QTest::qWait(200); // the watch has had its chance to be wrong
        QVERIFY(show.isSaved());
        QCOMPARE(changes.count(), 0);
        return;
    }
    QTRY_VERIFY(!show.isSaved());
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).toBool(), false);
    // Save writes the show as it is played over the other program's, once that is agreed.
    show.setOverwriteQuestion([](const QString &) { return true; });
    QVERIFY2(show.saveNow(&error), qPrintable(error));
    QVERIFY(show.isSaved());
    QCOMPARE(changes.count(), 2);
    QVERIFY(readBytes(path).contains("\"A\""));
    // And the file is still watched after Kelvo's own replacing write.
    QTest::qWait(20);
    QVERIFY(writeBytes(path, showWith(R"([{"name": "Again"}])")));
    QTRY_VERIFY(!show.isSaved());
}

void TestShowFile::savedAsNamesWhatItCouldNotCopy()
{
    // A missing cart file does not stop the save: the show is saved, the others travel, and the
    // missing one is named, once however many carts play it.
    QTemporaryDir here;
    QVERIFY(QDir(here.path()).mkpath(QStringLiteral("show")) && QDir(here.path()).mkpath(QStringLiteral("sfx")));
    const QString present = here.filePath(QStringLiteral("sfx/a.wav"));
    const QString missing = here.filePath(QStringLiteral("sfx/gone.wav"));
    QVERIFY(writeBytes(present, "RIFF a"));
    QVERIFY(writeBytes(TrackListFile::pathIn(here.path()),
                       "\"" + present.toUtf8() + "\",\"A\"\r\n\"" + missing.toUtf8() + "\",\"Gone\"\r\n\""
                           + missing.toUtf8() + "\",\"Gone again\"\r\n"));
    TrackListStore store(here.path());
    ShowDocument show(store);
    QString error;
    QStringList notCopied;
    QVERIFY2(show.saveAs(here.filePath(QStringLiteral("show/play.kelvo")), &error, true, {}, &notCopied),
             qPrintable(error));
    QCOMPARE(notCopied, QStringList{missing});
    const TrackList saved = show.tracks(0);
    QCOMPARE(saved[0].fullPath, here.filePath(QStringLiteral("show/audio/a.wav")));
    QCOMPARE(saved[1].fullPath, missing); // still named where it was
}

void TestShowFile::savedAsAShowTravels_data()
{
    QTest::addColumn<bool>("collect");
    QTest::addColumn<int>("megabytes"); // the size of the cart b.wav
    QTest::newRow("its files inside its folder") << false << 0;
    QTest::newRow("its files collected from elsewhere") << true << 0;
    QTest::newRow("a large file collected while the events go on") << true << 64;
}

void TestShowFile::savedAsAShowTravels()
{
    QFETCH(bool, collect);
    QFETCH(int, megabytes);
    QTemporaryDir here;
    QTemporaryDir there;
    QVERIFY(QDir(here.path()).mkpath(QStringLiteral("show/music")) && QDir(here.path()).mkpath(QStringLiteral("sfx")));
    const QString cart = here.filePath(collect ? QStringLiteral("sfx/a.wav") : QStringLiteral("show/music/a.wav"));
    QVERIFY(writeBytes(cart, "RIFF a"));
    QVERIFY(writeBytes(here.filePath(QStringLiteral("sfx/b.wav")), "RIFF b"));
    if (megabytes > 0) {
        QFile big(here.filePath(QStringLiteral("sfx/b.wav")));
        QVERIFY(big.open(QIODevice::ReadWrite) && big.resize(qint64(megabytes) << 20));
    }
    // A file of the same name already in the show's audio folder is not overwritten.
    QVERIFY(QDir(here.path()).mkpath(QStringLiteral("show/audio")));
    QVERIFY(writeBytes(here.filePath(QStringLiteral("show/audio/b.wav")), "theirs"));
    QVERIFY(writeBytes(TrackListFile::pathIn(here.path()),
                       "\"" + cart.toUtf8() + "\",\"A\"\r\n\"" + cart.toUtf8() + "\",\"A again\"\r\n\""
                           + here.filePath(QStringLiteral("sfx/b.wav")).toUtf8() + "\",\"B\"\r\n"));
    TrackListStore store(here.path());
    ShowDocument show(store);
    QString error;
    int progress = 0;
    bool reportedElsewhere = false;
    // The copying goes on beside the caller's events: a window keeps ticking meanwhile.
    int ticks = 0;
    QObject ticking; // the tick goes with the test
    QTimer::singleShot(0, &ticking, [&ticks] { ++ticks; });
    QVERIFY2(show.saveAs(here.filePath(QStringLiteral("show/play.kelvo")), &error, collect,
                         [&](int done, int) {
                             progress = done;
                             reportedElsewhere = reportedElsewhere || QThread::currentThread() != thread();
                         }),
             qPrintable(error));
    QVERIFY(!reportedElsewhere);
    if (megabytes > 0)
        QVERIFY2(ticks > 0, "the events stood still while the files were copied");
    QVERIFY(!show.isDefault());
    QCOMPARE(progress, collect ? 3 : 0); // three carts from outside, copied only when collecting
    // The folder goes to another machine, the originals stay behind: its carts are found there.
    QVERIFY(QDir().rename(here.filePath(QStringLiteral("show")), there.filePath(QStringLiteral("moved"))));
    QString message;
    QVERIFY(show.open(there.filePath(QStringLiteral("moved/play.kelvo")), &message));
    QVERIFY(message.isEmpty());
    const TrackList moved = show.tracks(0);
    if (!collect) {
        QCOMPARE(moved[0].fullPath, there.filePath(QStringLiteral("moved/music/a.wav")));
        return;
    }
    QCOMPARE(moved[0].fullPath, there.filePath(QStringLiteral("moved/audio/a.wav")));
    QCOMPARE(moved[1].fullPath, moved[0].fullPath); // one copy for both carts
    QCOMPARE(moved[2].fullPath, there.filePath(QStringLiteral("moved/audio/b (2).wav")));
    if (megabytes == 0)
        QCOMPARE(readBytes(moved[2].fullPath), QByteArray("RIFF b"));
    else
        QCOMPARE(QFileInfo(moved[2].fullPath).size(), qint64(megabytes) << 20);
    QCOMPARE(readBytes(there.filePath(QStringLiteral("moved/audio/b.wav"))), QByteArray("theirs"));
}

QTEST_GUILESS_MAIN(TestShowFile)
#include "tst_showfile.moc"
