#include "editor/form2.h"
#include "fakemediaplayer.h"
#include "about/about.h"
#include "common/captionfit.h"
#include "common/colours.h"
#include "common/shape.h"
#include "fakeopendialog.h"
#include "common/settings.h"
#include "player/form1.h"
#include "player/wallscaler.h"
#include "show/showdocument.h"
#include "playerfixture.h"
#include "testsupport.h"
#include "tracklist/tracklistfile.h"

#include <QAccessible>
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QDir>
#include <QInputDialog>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <memory>

// Start-up, layout and the "E&xit" command of the player window, against track-list files in a
// temporary program folder.
class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void contextMenuFollowsSettings_data();
    void contextMenuFollowsSettings();
    void outputMenusFollowServerAndSettings_data();
    void outputMenusFollowServerAndSettings();
    void soundNoticeStaysOffTheControls_data();
    void soundNoticeStaysOffTheControls();
    void lastShowOpensAtStart_data();
    void lastShowOpensAtStart();
    void pageMenuFollowsTheShow_data();
    void pageMenuFollowsTheShow();
    void lockedButtonsOfferPreListenAlone_data();
    void lockedButtonsOfferPreListenAlone();
    void startUp_data();
    void startUp();
    void startUpFillsEditorRows();
    void emptyFileCreatesNoEditor();
    void layout();
    void tabOrder();
    void centredAndBorderless();
    void backColourShowsOnEveryStyle_data();
    void backColourShowsOnEveryStyle();
    void buttonFaceFollowsWhatItShows_data();
    void buttonFaceFollowsWhatItShows();
    void exitEndsProgram();
    void closingByOtherMeansEndsProgram();
    void functionKeysActAsClicks_data();
    void functionKeysActAsClicks();
    void functionKeysWorkWhateverIsOpen();
    void dropAssignsFiles_data();
    void dropAssignsFiles();
    void dropRefused_data();
    void dropRefused();
    void failedDropSaveChangesNothing();
    void dragOnFaceMovesWindow();
    void dragStartingOnButtonPressesNothing();
    void accessibleNamesAndDescriptions();
    void scaledGeometry();
    void captionsFitTheirControls();
    void lockedButtonCaptionIsReadable();
    void captionsReadOnEveryFace_data();
    void showStateOnTheWindow_data();
    void wallScalesWithTheWindow_data();
    void cartWorkFromItsMenu_data();
    void cartWorkFromItsMenu();
    void windowMenuGroups_data();
    void windowMenuGroups();
    void blinkPaintsTheButtonAlone_data();
    void blinkPaintsTheButtonAlone();
    void dialogsOpenOnTheWindow_data();
    void dialogsOpenOnTheWindow();
    void wallScalesWithTheWindow();
    void showStateOnTheWindow();
    void captionsReadOnEveryFace();
    void timeDisplaysDrawTheirText_data();
    void timeDisplaysDrawTheirText();
    void editorTextShowsWhole();

private:
    std::unique_ptr<Form1> makeWindow(const QByteArray *trackList);
    QTemporaryDir m_config;
    PlayerFixture m_fixture;
    FakeMediaPlayer *m_player = nullptr;
};

void TestForm1::initTestCase()
{
    // The settings file of this run's own, not the user's.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
}

void TestForm1::contextMenuFollowsSettings_data()
{
    QTest::addColumn<QByteArray>("conf");    // kelvo.conf as provisioned
    QTest::addColumn<QString>("fadeLength"); // the length checked in the menu
    QTest::addColumn<QString>("loudness");   // the loudness item checked
    QTest::newRow("no file: the defaults") << QByteArray() << "FadeLength(2)"
                                           << "MatchLoudness(Off)";
    QTest::newRow("provisioned") << QByteArray("[fade]\nseconds=8\n[loudness]\nmatch=true\ntarget=-18\n")
                                 << "FadeLength(8)"
                                 << "MatchLoudness(-18)";
    QTest::newRow("matching on, no target") << QByteArray("[loudness]\nmatch=true\n") << "FadeLength(2)"
                                            << "MatchLoudness(-23)";
    QTest::newRow("malformed values") << QByteArray("[fade]\nseconds=soon\n[loudness]\nmatch=maybe\ntarget=-18\n")
                                      << "FadeLength(2)"
                                      << "MatchLoudness(Off)";
    QTest::newRow("out of range") << QByteArray("[fade]\nseconds=-4\n[loudness]\nmatch=true\ntarget=12\n")
                                  << "FadeLength(2)"
                                  << "MatchLoudness(-23)";
    QTest::newRow("not INI at all") << QByteArray("\x00\xff\xfe garbage [[[\n=\n") << "FadeLength(2)"
                                    << "MatchLoudness(Off)";
    // Not a file to read: the defaults at once (a FIFO would block the start for good), and
    // the menu's choices reach the player but are not written over it.
    QTest::newRow("a FIFO") << QByteArray("fifo") << "FadeLength(2)"
                            << "MatchLoudness(Off)";
    QTest::newRow("a folder") << QByteArray("folder") << "FadeLength(2)"
                              << "MatchLoudness(Off)";
    QTest::newRow("larger than a settings file can be")
        << QByteArray("[fade]\nseconds=8\n") + QByteArray(Settings::kMostBytes, ';') << "FadeLength(2)"
        << "MatchLoudness(Off)";
}

void TestForm1::contextMenuFollowsSettings()
{
    QFETCH(QByteArray, conf);
    QFETCH(QString, fadeLength);
    QFETCH(QString, loudness);
    const QString file = m_config.filePath(QStringLiteral("kelvo/kelvo.conf"));
    QFile::remove(file);
    QDir(file).removeRecursively();
    QVERIFY(QDir().mkpath(m_config.filePath(QStringLiteral("kelvo"))));
    const bool special = conf == "fifo" || conf == "folder";
    if (conf == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    else if (conf == "folder")
        QVERIFY(QDir().mkpath(file));
    else if (!conf.isEmpty())
        QVERIFY(writeBytes(file, conf));
    const auto cleanUp = qScopeGuard([&file] {
        QFile::remove(file);
        QDir(file).removeRecursively();
    });
    const bool keeps = !special && conf.size() <= Settings::kMostBytes;
    QElapsedTimer started;
    started.start();
    std::unique_ptr<Form1> window = makeWindow(nullptr);
    QVERIFY2(started.elapsed() < 1000, qPrintable(QStringLiteral("loaded in %1 ms").arg(started.elapsed())));
    const QString target = loudness.mid(14).chopped(1);
    QCOMPARE(m_player->loudnessTarget.has_value(), target != QLatin1String("Off"));
    if (m_player->loudnessTarget)
        QCOMPARE(*m_player->loudnessTarget, target.toDouble());

    // Right button anywhere on the window: the menu shows the settings checked.
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), window->mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(window.get(), &event);
    QMenu *menu = window->contextMenu();
    QVERIFY(menu->isVisible());
    QVERIFY(!menu->findChild<QAction *>(QStringLiteral("FadeOut"))->isEnabled()); // nothing plays
    QStringList checked;
    for (const char *submenu : {"FadeLength", "MatchLoudness"}) {
        for (QAction *action : menu->findChild<QMenu *>(QLatin1String(submenu))->actions()) {
            if (action->isChecked())
                checked << action->objectName();
        }
    }
    checked.sort();
    QCOMPARE(checked, QStringList({fadeLength, loudness}));
    menu->hide();

    // A choice is kept in the file and reaches the player.
    menu->findChild<QAction *>(QStringLiteral("FadeLength(0.5)"))->trigger();
    menu->findChild<QAction *>(QStringLiteral("MatchLoudness(-16)"))->trigger();
    QCOMPARE(Settings().fadeSeconds(), keeps ? 0.5 : 2.0);
    QCOMPARE(Settings().loudnessTarget(), keeps ? std::optional<double>(-16.0) : std::nullopt);
    QCOMPARE(m_player->loudnessTarget, std::optional<double>(-16.0));
    if (conf == "fifo")
        QVERIFY(QFileInfo(file).isFile() == false && QFileInfo::exists(file));
    else if (!keeps && !special)
        QCOMPARE(QFileInfo(file).size(), conf.size()); // not written over
}

std::unique_ptr<Form1> TestForm1::makeWindow(const QByteArray *trackList)
{
    std::unique_ptr<Form1> window = m_fixture.makeWindow(trackList ? std::optional(*trackList) : std::nullopt);
    m_player = m_fixture.player;
    return window;
}

static QByteArray records(int count)
{
    return PlayerFixture::records(count);
}

void TestForm1::outputMenusFollowServerAndSettings_data()
{
    QTest::addColumn<QString>("air");            // output/air as stored
    QTest::addColumn<QString>("cue");            // output/prelisten as stored
    QTest::addColumn<QStringList>("outputMenu"); // its items, the checked one marked "*"
    QTest::addColumn<QStringList>("cueMenu");
    QTest::addColumn<QString>("preListenItem"); // a cart's first item, "-" when disabled
    QTest::addColumn<QStringList>("sinks");     // the server's, as name=description
    const QStringList twoSinks{"desk=Desk channel 1", "phones=Headphones"};
    QTest::newRow("twin outputs told apart")
        << "null_b"
        << "" << QStringList{"Default", "Null Output (null_a)", "*Null Output (null_b)", "Headphones"}
        << QStringList{"*None", "Null Output (null_a)", "Null Output (null_b) (same as Output)", "Headphones"}
        << "-Pre-listen (no pre-listen output: choose one under Pre-listen output)"
        << QStringList{"null_a=Null Output", "null_b=Null Output", "phones=Headphones"};
    QTest::newRow("nothing chosen") << ""
                                    << "" << QStringList{"*Default", "Desk channel 1", "Headphones"}
                                    << QStringList{"*None", "Desk channel 1", "Headphones"}
                                    << "-Pre-listen (no pre-listen output: choose one under Pre-listen output)"
                                    << twoSinks;
    QTest::newRow("air and cue chosen") << "desk"
                                        << "phones" << QStringList{"Default", "*Desk channel 1", "Headphones"}
                                        << QStringList{"None", "Desk channel 1 (same as Output)", "*Headphones"}
                                        << "Pre-listen" << twoSinks;
    QTest::newRow("cue the same as air") << "desk"
                                         << "desk" << QStringList{"Default", "*Desk channel 1", "Headphones"}
                                         << QStringList{"None", "*Desk channel 1 (same as Output)", "Headphones"}
                                         << "Pre-listen (same as Output)" << twoSinks;
    QTest::newRow("the stored air output unplugged")
        << "usb-interface"
        << "" << QStringList{"Default", "Desk channel 1", "Headphones", "*usb-interface (missing)"}
        << QStringList{"*None", "Desk channel 1", "Headphones"}
        << "-Pre-listen (no pre-listen output: choose one under Pre-listen output)" << twoSinks;
}

void TestForm1::outputMenusFollowServerAndSettings()
{
    QFETCH(QString, air);
    QFETCH(QString, cue);
    QFETCH(QStringList, outputMenu);
    QFETCH(QStringList, cueMenu);
    QFETCH(QString, preListenItem);
    QFETCH(QStringList, sinks);
    Settings().setAirOutput(air);
    Settings().setPreListenOutput(cue);
    const QByteArray trackList = records(2);
    std::unique_ptr<Form1> window = makeWindow(&trackList);
    QCOMPARE(m_player->airOutput, air); // handed to the player as the window loads
    QCOMPARE(m_player->preListenOutput, cue);
    m_player->outputList.clear();
    for (const QString &sink : sinks)
        m_player->outputList.append({sink.section(QLatin1Char('='), 0, 0), sink.section(QLatin1Char('='), 1)});
    const auto items = [](QMenu *menu) {
        QStringList list;
        for (QAction *action : menu->actions())
            list << (action->isChecked() ? QStringLiteral("*") : QString()) + action->text();
        return list;
    };
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), window->mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(window.get(), &event);
    QCOMPARE(items(window->contextMenu()->findChild<QMenu *>("Output")), outputMenu);
    QCOMPARE(items(window->contextMenu()->findChild<QMenu *>("PreListenOutput")), cueMenu);
    window->contextMenu()->hide();
    QAction *first = window->cartMenu(0)->actions().constFirst();
    QCOMPARE((first->isEnabled() ? QString() : QStringLiteral("-")) + first->text(), preListenItem);
    QVERIFY(window->cartMenu(0)->actions().contains(
        window->contextMenu()->actions().constFirst())); // then the window's items

    // A choice is kept by the sink's name and reaches the player.
    window->contextMenu()->findChild<QMenu *>("Output")->findChild<QAction *>("phones")->trigger();
    QCOMPARE(Settings().airOutput(), QStringLiteral("phones"));
    QCOMPARE(m_player->airOutput, QStringLiteral("phones"));
    Settings().setAirOutput({});
    Settings().setPreListenOutput({});
}

void TestForm1::soundNoticeStaysOffTheControls_data()
{
    QTest::addColumn<QString>("problem"); // what the player says; empty: all is well
    QTest::newRow("sound can be heard") << QString();
    QTest::newRow("no server") << "no sound server answers";
    QTest::newRow("a server with no output") << "the sound server has no output";
}

void TestForm1::soundNoticeStaysOffTheControls()
{
    QFETCH(QString, problem);
    const QByteArray trackList = records(2);
    std::unique_ptr<Form1> window = makeWindow(&trackList);
    window->show();
    const QString description = window->accessibleDescription();
    auto *notice = window->findChild<QLabel *>(QStringLiteral("SoundNotice"));
    QVERIFY(notice);
    QVERIFY(!notice->isVisible()); // nothing said until the player says something
    m_player->problem = problem.isEmpty() ? std::nullopt : std::optional<QString>(problem);
    m_player->problemChanged();
    QCOMPARE(notice->isVisible(), !problem.isEmpty());
    const QString said = problem.isEmpty() ? QString() : QStringLiteral("No sound output: ") + problem;
    QCOMPARE(notice->isVisible() ? notice->text() : QString(), said);
    QCOMPARE(window->accessibleDescription(), problem.isEmpty() ? description : said);
    for (int n = 0; n < 12; ++n)
        QCOMPARE(window->trackButton(n)->toolTip(), said);
    // Across the frame's top edge: no other control of the window is touched.
    for (QWidget *child : window->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child != notice && child->objectName() != QLatin1String("Shape1") && child->isVisible())
            QVERIFY2(!child->geometry().intersects(notice->geometry()), qPrintable(child->objectName()));
    }
    // The server answers again: all as it was.
    m_player->problem.reset();
    m_player->problemChanged();
    QVERIFY(!notice->isVisible());
    QCOMPARE(window->accessibleDescription(), description);
    QCOMPARE(window->trackButton(0)->toolTip(), QString());
}

void TestForm1::lastShowOpensAtStart_data()
{
    QTest::addColumn<QByteArray>("show"); // the last show's content; empty: it has gone
    QTest::addColumn<QString>("caption"); // slot 1's caption at start
    QTest::addColumn<bool>("told");
    QTest::newRow("there") << QByteArray(R"({"kelvo-show": 1, "pages": [{"carts": [{"caption": "Show"}]}]})") << "Show"
                           << false;
    QTest::newRow("gone: the track list, and a message") << QByteArray() << "Name 0" << true;
    QTest::newRow("no show any more: the same") << QByteArray("{\"pages\": []}") << "Name 0" << true;
}

void TestForm1::lastShowOpensAtStart()
{
    QFETCH(QByteArray, show);
    QFETCH(QString, caption);
    QFETCH(bool, told);
    const auto forget = qScopeGuard([] { Settings().setLastShow(QString()); });
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("last.kelvo"));
    if (!show.isEmpty())
        QVERIFY(writeBytes(path, show));
    Settings().setLastShow(path);
    const QByteArray list = records(2);
    std::unique_ptr<Form1> window = makeWindow(&list);
    QCOMPARE(window->trackButton(0)->text(), caption);
    QCOMPARE(window->findChild<QMessageBox *>(QStringLiteral("KelvoMessage")) != nullptr, told);
    // Armed once, with the carts it starts with.
    QCOMPARE(m_player->prepareCount, 1);
    QCOMPARE(m_player->prepared.value(0).caption, caption);
}

void TestForm1::pageMenuFollowsTheShow_data()
{
    QTest::addColumn<QString>("show"); // "default", or a show file's first page names
    QTest::newRow("the track list alone") << "default";
    QTest::newRow("a show file") << "file";
}

void TestForm1::pageMenuFollowsTheShow()
{
    QFETCH(QString, show);
    const auto forget = qScopeGuard([] { Settings().setLastShow(QString()); }); // the next window's start
    const QByteArray list = records(3);
    std::unique_ptr<Form1> window = makeWindow(&list);
    const QString trackList = m_fixture.trackListPath();
    const QByteArray listBefore = readBytes(trackList);
    if (show == QLatin1String("file")) {
        const QString path = QDir(m_fixture.folder()).filePath(QStringLiteral("play.kelvo"));
        QVERIFY(writeBytes(
            path, R"({"kelvo-show": 1, "pages": [{"name": "Act 1", "carts": [{"file": "a.wav", "caption": "A"}]}]})"));
        QVERIFY(window->openShow(path));
        QCOMPARE(window->trackButton(0)->text(), QStringLiteral("A"));
    }
    QMenu *pages = window->contextMenu()->findChild<QMenu *>(QStringLiteral("Page"));
    QVERIFY(pages);
    emit pages->aboutToShow();
    const auto item = [pages](const char *name) { return pages->findChild<QAction *>(QString::fromLatin1(name)); };
    QVERIFY(item("Page(0)")->isChecked());
    QVERIFY(!item("DeletePage")->isEnabled()); // the only page
    QVERIFY(!item("MovePageRight")->isEnabled());
    QLabel *caption = window->findChild<QLabel *>(QStringLiteral("PageCaption"));
    const bool file = show == QLatin1String("file");
    // One page of the track list looks as the window always has; a show file is named, on the
    // page line and in the title.
    QCOMPARE(caption->isVisibleTo(window.get()), file);
    QCOMPARE(caption->text(), file ? QStringLiteral("play") : QString());
    QCOMPARE(window->windowTitle(),
             file ? QStringLiteral("play - Kelvo Version 2") : QStringLiteral("Kelvo Version 2"));

    item("NewPage")->trigger();
    QCOMPARE(window->showDocument()->shownPage(), 1); // the new page is shown, blank
    QCOMPARE(window->trackButton(0)->text(), QString());
    QVERIFY(!window->trackButton(0)->isEnabled());
    QVERIFY(caption->isVisibleTo(window.get()));
    QCOMPARE(caption->text(),
             file ? QStringLiteral("play - Page 2 of 2: Page 2") : QStringLiteral("Page 2 of 2: Page 2"));
    QVERIFY(caption->geometry().top() >= window->findChild<QWidget *>("CmdSet")->geometry().bottom());
    emit pages->aboutToShow();
    QVERIFY(item("Page(1)")->isChecked());
    QVERIFY(item("DeletePage")->isEnabled());
    // The track list's page stays first in the default show; any page of a show file can move.
    QCOMPARE(item("MovePageLeft")->isEnabled(), show == QLatin1String("file"));
    item("Page(0)")->trigger();
    QCOMPARE(window->showDocument()->shownPage(), 0);
    emit pages->aboutToShow();
    QCOMPARE(item("DeletePage")->isEnabled(), show == QLatin1String("file"));
    QCOMPARE(readBytes(trackList), listBefore); // pages never touch the track list
}

void TestForm1::lockedButtonsOfferPreListenAlone_data()
{
    QTest::addColumn<int>("clicked"); // the button right-clicked while slot 1 plays
    QTest::addColumn<QStringList>("items");
    QTest::newRow("a locked button: pre-listen alone") << 2 << QStringList{"Pre-listen"};
    QTest::newRow("the playing button: the window's items too")
        << 0 << QStringList{"Pre-listen", "Change file...", "Rename...", "Clear", "Cart settings...", ""};
}

void TestForm1::lockedButtonsOfferPreListenAlone()
{
    // Cueing the next cart while one plays on air is what pre-listen is for.
    QFETCH(int, clicked);
    QFETCH(QStringList, items);
    Settings().setPreListenOutput(QStringLiteral("phones"));
    const QByteArray trackList = records(3);
    std::unique_ptr<Form1> window = makeWindow(&trackList);
    window->show();
    window->fireTrack(0);
    QVERIFY(!window->trackButton(2)->isEnabled());
    TrackButton *button = window->trackButton(clicked);
    const QPoint at = button->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, button->mapToGlobal(at));
    QApplication::sendEvent(button, &event);
    auto *menu = window->findChild<QMenu *>(QStringLiteral("CartMenu"));
    QTRY_VERIFY(menu->isVisible());
    QStringList shown;
    for (QAction *action : menu->actions().mid(0, items.size()))
        shown << action->text();
    QCOMPARE(shown, items);
    menu->actions().constFirst()->trigger();
    menu->hide();
    QCOMPARE(m_player->preListened, window->trackButton(clicked)->tag());
    QCOMPARE(window->trackButton(clicked)->framed(), true);
    // The air is untouched: the same cart plays, the others stay locked.
    QCOMPARE(window->playingTrack(), std::optional<int>(0));
    QCOMPARE(m_player->fileName(), window->trackButton(0)->tag());
    QVERIFY(!window->trackButton(1)->isEnabled());
    window->stopTrack();
    Settings().setPreListenOutput({});
}

void TestForm1::startUp_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QStringList>("tags");
    QTest::addColumn<QList<bool>>("enabled");

    const QStringList noneSelected(12, "None Selected");
    QStringList defaultTags(12);
    defaultTags[0] = "c:\\mp3_music\\track4.mp3";
    const QList<bool> allEnabled(12, true);

    QTest::newRow("missing file") << false << QByteArray() << noneSelected << defaultTags << allEnabled;
    QTest::newRow("empty file") << true << QByteArray() << noneSelected << defaultTags << allEnabled;

    QStringList captions = noneSelected;
    QStringList tags = defaultTags;
    for (int n = 0; n < 5; ++n) {
        captions[n] = QStringLiteral("Name %1").arg(n);
        tags[n] = QStringLiteral("/music/t%1.mp3").arg(n);
    }
    QTest::newRow("five records") << true << records(5) << captions << tags << allEnabled;

    QStringList all12Captions, all12Tags;
    for (int n = 0; n < 12; ++n) {
        all12Captions << QStringLiteral("Name %1").arg(n);
        all12Tags << QStringLiteral("/music/t%1.mp3").arg(n);
    }
    QTest::newRow("more than twelve records") << true << records(14) << all12Captions << all12Tags << allEnabled;

    QStringList blankCaptions = noneSelected;
    QStringList blankTags = defaultTags;
    QList<bool> blankEnabled = allEnabled;
    blankCaptions[0] = "Blank path";
    blankTags[0] = "";
    blankEnabled[0] = false;
    blankCaptions[1] = "Spaces path";
    blankTags[1] = "   ";
    blankEnabled[1] = false;
    blankCaptions[2] = "";
    blankTags[2] = "/music/noname.mp3";
    QTest::newRow("blank path, all-space path, path without name")
        << true << QByteArray("\"\",\"Blank path\"\r\n\"   \",\"Spaces path\"\r\n\"/music/noname.mp3\",\"\"\r\n")
        << blankCaptions << blankTags << blankEnabled;
}

void TestForm1::startUp()
{
    QFETCH(bool, fileExists);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, tags);
    QFETCH(QList<bool>, enabled);

    auto window = makeWindow(fileExists ? &file : nullptr);
    for (int n = 0; n < 12; ++n) {
        auto *button = window->findChild<TrackButton *>(QStringLiteral("CmdTrack(%1)").arg(n));
        QVERIFY(button);
        QCOMPARE(button->text(), captions[n]);
        QCOMPARE(button->tag(), tags[n]);
        QCOMPARE(button->isEnabled(), enabled[n]);
    }
    auto *timer = window->findChild<QTimer *>("Timer1");
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 250);
    // Start-up never touches the media player.
    QVERIFY(m_player->calls.isEmpty());
}

void TestForm1::startUpFillsEditorRows()
{
    const QByteArray file = records(3);
    auto window = makeWindow(&file);
    Form2 *editor = window->findChild<Form2 *>("Form2");
    QVERIFY(editor);
    QVERIFY(!editor->isVisible());
    QCOMPARE(editor->row(2), (TrackSlot{"/music/t2.mp3", "Name 2"}));
    QCOMPARE(editor->row(3), TrackSlot{});
    QCOMPARE(editor->findChild<QLabel *>("LblTrackNo(11)")->text(), QStringLiteral("Track 12"));
}

void TestForm1::emptyFileCreatesNoEditor()
{
    const QByteArray empty;
    auto window = makeWindow(&empty);
    QVERIFY(!window->findChild<Form2 *>("Form2"));
}

void TestForm1::layout()
{
    auto window = makeWindow(nullptr);
    QCOMPARE(window->size(), QSize(549, 362));
    const auto geometry = [&](const char *name) { return window->findChild<QWidget *>(name)->geometry(); };
    QCOMPARE(geometry("CmdTrack(0)"), QRect(16, 16, 169, 65));
    QCOMPARE(geometry("CmdTrack(4)"), QRect(192, 88, 169, 65));
    QCOMPARE(geometry("CmdTrack(11)"), QRect(368, 232, 169, 65));
    QCOMPARE(geometry("LblLCD"), QRect(24, 312, 57, 25));
    QCOMPARE(geometry("LblLCD3"), QRect(160, 312, 57, 25));
    QCOMPARE(geometry("CmdSet"), QRect(376, 304, 97, 37));
    QCOMPARE(geometry("CmdExit"), QRect(480, 304, 57, 37));
    QCOMPARE(geometry("Shape1"), QRect(0, 0, 549, 361));

    auto *display = window->findChild<QLabel *>("LblLCD");
    QCOMPARE(display->text(), QStringLiteral("00:00"));
    QCOMPARE(display->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    QCOMPARE(display->palette().color(QPalette::Window), QColor(Qt::black));
    QVERIFY(display->font().bold());
    QCOMPARE(display->font().pointSizeF(), 13.5);
    QCOMPARE(window->findChild<QLabel *>("Label2")->text(), QStringLiteral(" Total Remaining"));
    QCOMPARE(window->findChild<QPushButton *>("CmdExit")->text(), QStringLiteral("E&xit"));
    QCOMPARE(window->findChild<QPushButton *>("Command1")->text(), QStringLiteral("About"));
    QCOMPARE(window->findChild<TrackButton *>("CmdTrack(1)")->backColor(), 0xC0C0C0u);
    QCOMPARE(window->findChild<TrackButton *>("CmdTrack(2)")->backColor(), 0x8000000Fu);
    QCOMPARE(window->findChild<TrackButton *>("CmdTrack(0)")->font().pointSizeF(), 12.0);

    // The black face with its dark-blue frame, as drawn.
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QImage image = window->grab().toImage();
    const qreal r = image.devicePixelRatio();
    QCOMPARE(image.pixelColor(int(3 * r), int(3 * r)), QColor(0, 0, 192));
    QCOMPARE(image.pixelColor(int(12 * r), int(300 * r)), QColor(Qt::black));
    QCOMPARE(image.pixelColor(int(5 * r), int(361 * r)), QColor(Qt::white));
}

void TestForm1::tabOrder()
{
    auto window = makeWindow(nullptr);
    const QStringList order = tabChain(window->findChild<QWidget *>("CmdTrack(0)"), 16);
    QStringList expected;
    for (int n = 0; n < 12; ++n)
        expected << QStringLiteral("CmdTrack(%1)").arg(n);
    expected << "CmdSet"
             << "CmdExit"
             << "Command1"
             << "CmdTrack(0)";
    QCOMPARE(order, expected);
}

void TestForm1::centredAndBorderless()
{
    auto window = makeWindow(nullptr);
    QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(window->windowType(), Qt::Tool); // no taskbar entry
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvo Version 2"));
    QVERIFY(!window->windowIcon().isNull());
    const QRect screen = window->screen()->geometry();
    COMPARE_NEAR(window->x(), (screen.width() - 549) / 2, 1);
    COMPARE_NEAR(window->y(), (screen.height() - 362) / 2, 1);
}

void TestForm1::backColourShowsOnEveryStyle_data()
{
    QTest::addColumn<QString>("style");
    for (const QString &key : QStyleFactory::keys())
        QTest::newRow(qPrintable(key)) << key;
}

void TestForm1::backColourShowsOnEveryStyle()
{
    QFETCH(QString, style);
    auto window = makeWindow(nullptr);
    std::unique_ptr<QStyle> theStyle(QStyleFactory::create(style));
    auto *button = window->findChild<TrackButton *>("CmdTrack(5)");
    button->setStyle(theStyle.get());
    for (const quint32 value : {0x0000FFu, 0xFF0000u, 0xC0C0C0u}) {
        button->setBackColor(value);
        const QImage image = button->grab().toImage();
        QCOMPARE(image.pixelColor(8, 8), QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int(value >> 16)));
    }
    button->setStyle(nullptr);
}

void TestForm1::buttonFaceFollowsWhatItShows_data()
{
    QTest::addColumn<QString>("change");
    for (const char *change : {"caption", "back colour", "frame", "enabled", "font", "pressed", "size"})
        QTest::newRow(change) << QString::fromLatin1(change);
}

void TestForm1::buttonFaceFollowsWhatItShows()
{
    // A button draws a face once and then copies it: any change of what it shows draws anew,
    // and going back shows the first face again.
    QFETCH(QString, change);
    const QByteArray file = records(6);
    auto window = makeWindow(&file);
    window->show();
    TrackButton *button = window->trackButton(5);
    const QString caption = button->text();
    const QFont font = button->font();
    const QSize size = button->size();
    const auto set = [&](bool changed) {
        if (change == "caption")
            button->setText(changed ? QStringLiteral("Another") : caption);
        else if (change == "back colour")
            button->setBackColor(changed ? Colours::Red : Colours::ButtonFace);
        else if (change == "frame")
            button->setFramed(changed);
        else if (change == "enabled")
            button->setEnabled(!changed);
        else if (change == "font")
            button->setFont(changed ? QFont(font.family(), font.pointSize() + 4) : font);
        else if (change == "pressed")
            button->setDown(changed);
        else if (change == "size")
            button->resize(changed ? size - QSize(10, 10) : size);
    };
    const QImage first = button->grab().toImage();
    set(true);
    QVERIFY(button->grab().toImage() != first);
    set(false);
    QCOMPARE(button->grab().toImage(), first);
}

void TestForm1::exitEndsProgram()
{
    auto window = makeWindow(nullptr);
    window->show();
    window->form2();
    QTimer::singleShot(0, window.get(),
                       [&] { QTest::mouseClick(window->findChild<QPushButton *>("CmdExit"), Qt::LeftButton); });
    QObject guard; // the time-out goes with the test, not to cut a later test's loop short
    QTimer::singleShot(5000, &guard, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

void TestForm1::closingByOtherMeansEndsProgram()
{
    auto window = makeWindow(nullptr);
    window->show();
    QTimer::singleShot(0, window.get(), [&] { window->close(); });
    QObject guard;
    QTimer::singleShot(5000, &guard, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

void TestForm1::functionKeysActAsClicks_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("disableFirst");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("F1 plays slot 1") << int(Qt::Key_F1) << false << QStringList{"put:/music/t0.mp3"};
    QTest::newRow("F12 plays slot 12") << int(Qt::Key_F12) << false << QStringList{"put:/music/t11.mp3"};
    QTest::newRow("disabled button") << int(Qt::Key_F5) << true << QStringList{};
}

void TestForm1::functionKeysActAsClicks()
{
    QFETCH(int, key);
    QFETCH(bool, disableFirst);
    QFETCH(QStringList, calls);
    const QByteArray file = records(12);
    auto window = makeWindow(&file);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    const int slot = key - Qt::Key_F1;
    if (disableFirst)
        window->trackButton(slot)->setEnabled(false);
    QTest::keyClick(window.get(), Qt::Key(key));
    QCOMPARE(m_player->calls, calls);
    QCOMPARE(window->findChild<QTimer *>("Timer1")->isActive(), !calls.isEmpty());

    if (!calls.isEmpty()) {
        // While playing, another key finds its button disabled; the playing button's key stops.
        const int other = slot == 0 ? 1 : 0;
        QTest::keyClick(window.get(), Qt::Key(Qt::Key_F1 + other));
        QCOMPARE(m_player->calls, calls);
        QTest::keyClick(window.get(), Qt::Key(key));
        QCOMPARE(m_player->calls.last(), QStringLiteral("stop"));
        QVERIFY(!window->findChild<QTimer *>("Timer1")->isActive());
    }
}

void TestForm1::functionKeysWorkWhateverIsOpen()
{
    // The wall's keys are the program's, not only the player window's: the About window and the
    // editor in front of it take nothing away from them.
    const QByteArray file = records(12);
    auto window = makeWindow(&file);
    window->show();
    QTest::mouseClick(window->findChild<QPushButton *>("Command1"), Qt::LeftButton);
    QWidget *about = window->aboutWindow();
    QVERIFY(QTest::qWaitForWindowActive(about));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    QCOMPARE(m_player->calls, QStringList{QStringLiteral("put:/music/t1.mp3")});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    QCOMPARE(m_player->calls.last(), QStringLiteral("stop"));

    QTest::mouseClick(window->findChild<QPushButton *>("CmdSet"), Qt::LeftButton);
    Form2 *editor = window->findChild<Form2 *>("Form2");
    QVERIFY(QTest::qWaitForWindowActive(editor));
    m_player->calls.clear();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3);
    QCOMPARE(m_player->calls, QStringList{QStringLiteral("put:/music/t2.mp3")});
    QVERIFY(editor->isVisible());                        // the editor stays open, its rows as they were
    QCOMPARE(editor->windowModality(), Qt::WindowModal); // modal to the wall alone
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(m_player->calls.last().startsWith(QLatin1String("fade:")));
    QVERIFY(editor->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F12); // another cart's key: its button is locked
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3);  // the playing one's stops it
    QCOMPARE(m_player->calls.last(), QStringLiteral("stop"));
    QCOMPARE(m_player->calls.filter(QStringLiteral("put:/music/t11.mp3")).size(), 0);
}

void TestForm1::dropAssignsFiles_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("captions"); // of slots target, target + 1, ...
    QTest::newRow("one file") << 2 << QStringList{"Opening Theme.mp3"} << QStringList{"Opening Theme"};
    QTest::newRow("three files") << 4 << QStringList{"a.mp3", "b.final.mp3", "c"} << QStringList{"a", "b.final", "c"};
    QTest::newRow("long name cut to 20") << 0 << QStringList{"An exceptionally long file name.mp3"}
                                         << QStringList{"An exceptionally lon"};
    QTest::newRow("past slot 12 dropped") << 10 << QStringList{"x.mp3", "y.mp3", "z.mp3"} << QStringList{"x", "y"};
}

static QMimeData *mimeFor(const QStringList &paths)
{
    auto *mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    mime->setUrls(urls);
    return mime;
}

static bool dropOn(QWidget *target, QMimeData *mime)
{
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

void TestForm1::dropAssignsFiles()
{
    QFETCH(int, target);
    QFETCH(QStringList, names);
    QFETCH(QStringList, captions);
    const QByteArray file = records(3);
    auto window = makeWindow(&file);
    QTemporaryDir music;
    QStringList paths;
    for (const QString &name : names) {
        paths << music.filePath(name);
        QVERIFY(writeBytes(paths.last(), "ID3"));
    }
    std::unique_ptr<QMimeData> mime(mimeFor(paths));
    QVERIFY(dropOn(window->trackButton(target), mime.get()));

    QByteArray expected;
    for (int n = 0; n < 12; ++n) {
        const int i = n - target;
        if (i >= 0 && i < captions.size())
            expected += "\"" + paths[i].toUtf8() + "\",\"" + captions[i].toUtf8() + "\"\r\n";
        else if (n < 3)
            expected += QStringLiteral("\"/music/t%1.mp3\",\"Name %1\"\r\n").arg(n).toUtf8();
        else
            expected += "\"\",\"\"\r\n";
    }
    QCOMPARE(readBytes(m_fixture.trackListPath()), expected);
    for (int i = 0; i < captions.size(); ++i) {
        QCOMPARE(window->trackButton(target + i)->text(), captions[i]);
        QCOMPARE(window->trackButton(target + i)->tag(), paths[i]);
        QVERIFY(window->trackButton(target + i)->isEnabled());
    }
    // By the save's rule, slots left blank are now disabled and captionless.
    const int after = target + int(captions.size());
    const int blank = after < 12 && after >= 3 ? after : -1;
    if (blank >= 0) {
        QCOMPARE(window->trackButton(blank)->text(), QString());
        QVERIFY(!window->trackButton(blank)->isEnabled());
    }
    QCOMPARE(window->form2()->row(target), (TrackSlot{paths[0], captions[0]}));
}

void TestForm1::dropRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a web address") << "web";
    QTest::newRow("path with a double quote") << "quote";
    QTest::newRow("missing file") << "missing";
}

void TestForm1::dropRefused()
{
    QFETCH(QString, kind);
    auto window = makeWindow(nullptr);
    QTemporaryDir music;
    auto *mime = new QMimeData;
    std::unique_ptr<QMimeData> owner(mime);
    if (kind == "folder") {
        mime->setUrls({QUrl::fromLocalFile(music.path())});
    } else if (kind == "web") {
        mime->setUrls({QUrl("https://example.org/song.mp3")});
    } else if (kind == "quote") {
        const QString path = music.filePath("say \"hi\".mp3");
        QVERIFY(writeBytes(path, "ID3"));
        mime->setUrls({QUrl::fromLocalFile(path)});
    } else {
        mime->setUrls({QUrl::fromLocalFile(music.filePath("gone.mp3"))});
    }
    QVERIFY(!dropOn(window->trackButton(1), mime));
    QVERIFY(!QFile::exists(m_fixture.trackListPath()));
    QCOMPARE(window->trackButton(1)->text(), QStringLiteral("None Selected"));
}

void TestForm1::failedDropSaveChangesNothing()
{
    const QByteArray file = records(2);
    auto window = makeWindow(&file);
    QTemporaryDir music;
    const QString path = music.filePath("new.mp3");
    QVERIFY(writeBytes(path, "ID3"));
    std::unique_ptr<QMimeData> mime(mimeFor({path}));
    QVERIFY(QFile::setPermissions(m_fixture.folder(), QFile::ReadOwner | QFile::ExeOwner));
    {
        const DiskFullScope diskFull; // root ignores the permissions
        dropOn(window->trackButton(0), mime.get());
    }
    QFile::setPermissions(m_fixture.folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(readBytes(m_fixture.trackListPath()), file);
    QCOMPARE(window->trackButton(0)->text(), QStringLiteral("Name 0"));
    QCOMPARE(window->trackButton(0)->tag(), QStringLiteral("/music/t0.mp3"));
    QVERIFY(window->trackButton(5)->isEnabled());
    QMessageBox *box = window->findChild<QMessageBox *>();
    QVERIFY(box && box->text().startsWith("The track list could not be saved."));
    box->accept();
}

void TestForm1::dragOnFaceMovesWindow()
{
    auto window = makeWindow(nullptr);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QPoint start = window->pos();
    const QPoint face(5, 150); // the frame, beside the buttons
    QVERIFY(qobject_cast<Shape *>(window->childAt(face)) || !window->childAt(face));
    dragWindowFace(window.get(), face, QPoint(40, 25));
    QCOMPARE(window->pos(), start + QPoint(40, 25));
}

void TestForm1::dragStartingOnButtonPressesNothing()
{
    const QByteArray file = records(12);
    auto window = makeWindow(&file);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QPoint start = window->pos();
    TrackButton *button = window->trackButton(4);
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(button, QPoint(300, 200));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(300, 200));
    QCOMPARE(window->pos(), start);
    QVERIFY(!window->findChild<QTimer *>("Timer1")->isActive());
    QVERIFY(!m_player->playing); // at most the hover's preview, which stops at once
}

void TestForm1::accessibleNamesAndDescriptions()
{
    const QByteArray file = records(3);
    auto window = makeWindow(&file);
    window->show();
    const auto check = [&](const char *name, const QString &accessibleName, const QString &description) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(window->findChild<QWidget *>(name));
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), accessibleName);
        QCOMPARE(iface->text(QAccessible::Description), description);
    };
    check("CmdTrack(2)", "Name 2", "Track 3");
    check("CmdTrack(11)", "None Selected", "Track 12");
    check("LblLCD", "00:00", "Total time");
    check("LblLCD3", "00:00", "Time remaining");
    check("CmdSet", "Set Tracks", "Open the track-list editor");
}

void TestForm1::scaledGeometry()
{
    // Run once as is, and once more by CTest with QT_SCALE_FACTOR=2.
    auto window = makeWindow(nullptr);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const qreal ratio = window->devicePixelRatioF();
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == "2")
        QCOMPARE(ratio, 2.0);
    QCOMPARE(window->findChild<QWidget *>("CmdTrack(4)")->geometry(), QRect(192, 88, 169, 65));
    const QImage image = window->grab().toImage();
    QCOMPARE(image.size(), QSize(549, 362) * ratio);
    // The frame is 10 logical pixels wide at any scale.
    QCOMPARE(image.pixelColor(int(9 * ratio), int(150 * ratio)), QColor(0, 0, 192));
    QCOMPARE(image.pixelColor(int(11 * ratio), int(150 * ratio)), QColor(Qt::black));
}

namespace {

// Where text drawn with flags into box would spill over, or nothing when it fits.
QString spill(const QFont &font, const QRect &box, int flags, const QString &text)
{
    const QRect needed = QFontMetrics(font).boundingRect(box, flags, text);
    if (needed.width() <= box.width() && needed.height() <= box.height())
        return {};
    return QStringLiteral("\"%1\" needs %2x%3 in %4x%5 at %6 pt")
        .arg(text)
        .arg(needed.width())
        .arg(needed.height())
        .arg(box.width())
        .arg(box.height())
        .arg(font.pointSizeF());
}

} // namespace

void TestForm1::captionsFitTheirControls()
{
    // The longest short name typing allows, and the widest times the displays show.
    const QByteArray file = records(1) + "\"/m/b.mp3\",\"Morning Show Openers\"\r\n";
    auto window = makeWindow(&file);
    window->show();
    window->form2()->show();
    QTest::mouseClick(window->findChild<QPushButton *>("Command1"), Qt::LeftButton);
    QStringList spills;
    for (QWidget *top : {static_cast<QWidget *>(window.get()), static_cast<QWidget *>(window->form2()),
                         static_cast<QWidget *>(window->aboutWindow())}) {
        for (QLabel *label : top->findChildren<QLabel *>()) {
            QStringList texts{label->text()};
            if (label->objectName().startsWith("LblLCD"))
                texts = QStringList{"999.59", "100.00", "00.00"};
            for (const QString &text : texts) {
                if (const QString s = spill(label->font(), captionRect(label), captionFlags(label), text); !s.isEmpty())
                    spills << label->objectName() + ": " + s;
            }
        }
        for (QPushButton *button : top->findChildren<QPushButton *>()) {
            QString s;
            if (auto *track = qobject_cast<TrackButton *>(button))
                s = spill(track->captionFont(), track->captionRect(), TrackButton::kCaptionFlags, track->text());
            else
                s = spill(button->font(), captionRect(button), Qt::AlignCenter | Qt::TextShowMnemonic, button->text());
            if (!s.isEmpty())
                spills << button->objectName() + ": " + s;
        }
    }
    QVERIFY2(spills.isEmpty(), qPrintable(spills.join("\n")));
    QVERIFY(window->trackButton(1)->captionFont().pointSizeF() >= kMinCaptionPointSize);
    window->aboutWindow()->close();
}

void TestForm1::captionsReadOnEveryFace_data()
{
    QTest::addColumn<quint32>("back");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("locked, on silver") << Colours::Silver << false;
    QTest::newRow("blinking, red phase") << Colours::Red << true;
    QTest::newRow("blinking, blue phase") << Colours::Blue << true;
    QTest::newRow("at rest") << Colours::ButtonFace << true;
}

void TestForm1::captionsReadOnEveryFace()
{
    // The caption's own pixels against the face around them, read from what is painted: at
    // least 4.5:1, readable across the room.
    QFETCH(quint32, back);
    QFETCH(bool, enabled);
    const QByteArray file = records(2);
    auto window = makeWindow(&file);
    window->show();
    TrackButton *button = window->trackButton(1);
    button->setText(QStringLiteral("MMMMMM"));
    button->setBackColor(back);
    button->setEnabled(enabled);
    const QImage image = button->grab().toImage();
    const QRect caption = button->captionRect();
    const QColor face = image.pixelColor(image.width() / 2, caption.top() * image.height() / button->height() - 2);
    // The caption's ink: the caption pixel that stands out most from the face.
    QColor ink = face;
    for (int y = caption.top(); y <= caption.bottom(); ++y) {
        for (int x = caption.left(); x <= caption.right(); ++x) {
            const QColor pixel = image.pixelColor(x * image.width() / button->width(),
                                                  y * image.height() / button->height());
            if (Colours::contrast(pixel, face) > Colours::contrast(ink, face))
                ink = pixel;
        }
    }
    const double ratio = Colours::contrast(ink, face);
    QVERIFY2(ratio >= 4.5,
             qPrintable(QStringLiteral("%1 on %2: %3:1").arg(ink.name(), face.name()).arg(ratio, 0, 'f', 2)));
}

void TestForm1::cartWorkFromItsMenu_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("typed");   // into the caption's box, for Rename
    QTest::addColumn<QString>("path");    // cart 1's after it
    QTest::addColumn<QString>("caption"); // and its button's
    QTest::addColumn<QString>("left");    // what the caption's box said was left
    QTest::addColumn<bool>("enabled");
    const QString forty = QStringLiteral("Overture and beginners, act one, scene 1");
    QTest::newRow("Change file...") << "ChangeFile"
                                    << ""
                                    << "/music/new.wav"
                                    << "Name 0"
                                    << "" << true;
    QTest::newRow("Rename...") << "Rename"
                               << "Opening"
                               << "/music/t0.mp3"
                               << "Opening"
                               << "33 characters left" << true;
    QTest::newRow("Rename: forty characters, all kept")
        << "Rename" << forty << "/music/t0.mp3" << forty << "0 characters left" << true;
    QTest::newRow("Rename: the forty-first is refused")
        << "Rename" << forty + QStringLiteral("0") << "/music/t0.mp3" << forty << "0 characters left" << true;
    QTest::newRow("Rename: spaces at its ends dropped") << "Rename"
                                                        << "  Interval  "
                                                        << "/music/t0.mp3"
                                                        << "Interval"
                                                        << "28 characters left" << true;
    QTest::newRow("Rename: a quote is refused") << "Rename"
                                                << "Say \"hi\""
                                                << "/music/t0.mp3"
                                                << "Say hi"
                                                << "34 characters left" << true;
    QTest::newRow("Clear") << "Clear"
                           << ""
                           << ""
                           << ""
                           << "" << false;
}

void TestForm1::cartWorkFromItsMenu()
{
    QFETCH(QString, item);
    QFETCH(QString, typed);
    QFETCH(QString, path);
    QFETCH(QString, caption);
    QFETCH(QString, left);
    QFETCH(bool, enabled);
    const QByteArray list = records(3);
    std::unique_ptr<Form1> window = makeWindow(&list);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    // The Menu key on a cart that has the focus opens that cart's menu.
    window->trackButton(0)->setFocus();
    QTest::keyClick(window->windowHandle(), Qt::Key_Menu);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QCOMPARE(menu->objectName(), QStringLiteral("CartMenu"));
    menu->hide();
    m_fixture.dialog->nextChoice = QStringLiteral("/music/new.wav");
    QString said;
    QTimer::singleShot(0, window.get(), [&] {
        auto *ask = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        auto *box = ask ? ask->findChild<QLineEdit *>(QStringLiteral("Caption")) : nullptr;
        if (!box)
            return;
        // Typed as the operator types, key by key, over what the box held.
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, typed);
        said = ask->findChild<QLabel *>(QStringLiteral("CharactersLeft"))->text();
        ask->accept();
    });
    window->cartMenu(0)->findChild<QAction *>(item)->trigger();
    QCOMPARE(said, left);
    QCOMPARE(window->trackButton(0)->tag(), path);
    QCOMPARE(window->trackButton(0)->text(), caption);
    QCOMPARE(window->trackButton(0)->isEnabled(), enabled);
    // Saved, as the editor saves: the track list holds it.
    QVERIFY(
        readBytes(m_fixture.trackListPath()).startsWith(QStringLiteral("\"%1\",\"%2\"").arg(path, caption).toUtf8()));
}

void TestForm1::windowMenuGroups_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("items"); // its items and submenus, in order
    QTest::newRow("Playback") << "Playback"
                              << QStringList{"FadeLength", "MatchLoudness", "EndWarning", "IgnoreSecondPress"};
    QTest::newRow("Outputs") << "Outputs" << QStringList{"Output", "PreListenOutput"};
    QTest::newRow("Pages and shows") << "PagesAndShows"
                                     << QStringList{"Page",        "SaveShow",   "NewShow",    "OpenShow",
                                                    "RecentShows", "SaveShowAs", "DefaultShow"};
    QTest::newRow("View") << "View" << QStringList{"FullScreen", "ClassicSize", "LengthsAndKeys"};
    // Filled by the remotes and the as-run log, which this window is built without: not shown.
    QTest::newRow("Remote control, empty") << "RemoteControl" << QStringList{};
    QTest::newRow("Log, empty") << "Log" << QStringList{};
}

void TestForm1::windowMenuGroups()
{
    QFETCH(QString, group);
    QFETCH(QStringList, items);
    std::unique_ptr<Form1> window = makeWindow(nullptr);
    window->show();
    QMenu *menu = window->contextMenu();
    const auto names = [](QMenu *of) {
        QStringList found;
        for (QAction *action : of->actions()) {
            if (!action->isSeparator())
                found.append(action->menu() ? action->menu()->objectName() : action->objectName());
        }
        return found;
    };
    // The wall's own commands first, then the groups.
    QCOMPARE(names(menu),
             (QStringList{"FadeOut", "StopAll", "FadeAll", "Playback", "Outputs", "PagesAndShows", "View",
                          "RemoteControl", "Log"}));
    QMenu *submenu = menu->findChild<QMenu *>(group, Qt::FindDirectChildrenOnly);
    QVERIFY(submenu);
    QCOMPARE(names(submenu), items);
    QContextMenuEvent opened(QContextMenuEvent::Mouse, QPoint(10, 10), window->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(window.get(), &opened);
    QCOMPARE(submenu->menuAction()->isVisible(), !items.isEmpty());
    menu->hide();
    // A cart's menu ends with the window's: the groups, not every item of theirs.
    QVERIFY(window->cartMenu(0)->actions().size() <= 16);
}

void TestForm1::blinkPaintsTheButtonAlone_data()
{
    QTest::addColumn<QString>("style"); // the application's style for the row
    QTest::newRow("the platform's style") << "";
    QTest::newRow("Fusion, which clears a button's opaque mark as it polishes") << "fusion";
    QTest::newRow("Windows") << "windows";
}

void TestForm1::blinkPaintsTheButtonAlone()
{
    // While a cart plays, each tick paints its button (and the remaining time when its digits
    // change), never the frame or the window beneath them.
    QFETCH(QString, style);
    QStyle *was = QApplication::style();
    const QString wasName = was->name();
    const auto restore = qScopeGuard([&] {
        if (!style.isEmpty())
            QApplication::setStyle(wasName);
    });
    if (!style.isEmpty())
        QApplication::setStyle(style);
    const QByteArray list = records(3);
    std::unique_ptr<Form1> window = makeWindow(&list);
    m_player->durations.insert(QStringLiteral("/music/t0.mp3"), 125.4);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->trackButton(0)->click();
    QVERIFY(window->playingTrack());
    QTest::qWait(300); // the first paints after the click
    struct Painted : QObject
    {
        QStringList names;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                names.append(watched->objectName());
            return false;
        }
    } painted;
    for (QWidget *child : window->findChildren<QWidget *>())
        child->installEventFilter(&painted);
    window->installEventFilter(&painted);
    QTest::qWait(1100); // four ticks, one second of the countdown
    QVERIFY2(painted.names.contains(QStringLiteral("CmdTrack(0)")), qPrintable(painted.names.join(u',')));
    painted.names.removeAll(QStringLiteral("CmdTrack(0)"));
    painted.names.removeAll(QStringLiteral("LblLCD3"));
    QVERIFY2(painted.names.isEmpty(), qPrintable(painted.names.join(u',')));
}

void TestForm1::dialogsOpenOnTheWindow_data()
{
    QTest::addColumn<QString>("parent"); // "none", "window", "dialog"
    QTest::addColumn<QPoint>("at");      // where the player window stands
    QTest::newRow("no parent") << "none" << QPoint(40, 30);
    QTest::newRow("the window its parent") << "window" << QPoint(200, 150);
    QTest::newRow("over another dialog") << "dialog" << QPoint(120, 60);
    QTest::newRow("the window at the screen's corner: kept on the screen") << "none" << QPoint(0, 0);
}

void TestForm1::dialogsOpenOnTheWindow()
{
    QFETCH(QString, parent);
    QFETCH(QPoint, at);
    std::unique_ptr<Form1> window = makeWindow(nullptr);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->move(at);
    QDialog other(window.get());
    other.resize(500, 400);
    other.move(0, 0);
    if (parent == QLatin1String("dialog"))
        other.show();
    QMessageBox box(QMessageBox::Information, QStringLiteral("Kelvo"), QStringLiteral("A question"), QMessageBox::Ok,
                    parent == QLatin1String("none")         ? nullptr
                        : parent == QLatin1String("window") ? window.get()
                                                            : static_cast<QWidget *>(&other));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QRect room = window->screen()->availableGeometry();
    QVERIFY2(room.contains(box.frameGeometry()), qPrintable(QStringLiteral("%1,%2").arg(box.x()).arg(box.y())));
    if (room.contains(QRect(window->frameGeometry().center() - QPoint(box.width(), box.height()) / 2, box.size()))) {
        const QPoint off = box.frameGeometry().center() - window->frameGeometry().center();
        QVERIFY2(off.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2 off").arg(off.x()).arg(off.y())));
    }
}

void TestForm1::wallScalesWithTheWindow_data()
{
    QTest::addColumn<QString>("how");  // "classic", "size", "full screen", "kept full screen"
    QTest::addColumn<QSize>("size");   // for "size"
    QTest::addColumn<double>("scale"); // expected; 0: the screen's own
    QTest::addColumn<bool>("corners"); // lengths and keys on the buttons
    QTest::newRow("the classic size, as it starts") << "classic" << QSize() << 1.0 << false;
    QTest::newRow("twice the classic size") << "size" << QSize(1098, 724) << 2.0 << false;
    QTest::newRow("wider than the classic shape: centred") << "size" << QSize(1600, 724) << 2.0 << false;
    QTest::newRow("3840x2160") << "size" << QSize(3840, 2160) << 5.966 << false;
    QTest::newRow("full screen: lengths and keys shown") << "full screen" << QSize() << 0.0 << true;
    QTest::newRow("full screen kept for the next start") << "kept full screen" << QSize() << 0.0 << true;
}

void TestForm1::wallScalesWithTheWindow()
{
    QFETCH(QString, how);
    QFETCH(QSize, size);
    QFETCH(double, scale);
    QFETCH(bool, corners);
    const auto reset = qScopeGuard([] {
        Settings settings;
        settings.file()->remove(QStringLiteral("view"));
    });
    if (how == QLatin1String("kept full screen"))
        Settings().file()->setValue(QStringLiteral("view/fullScreen"), true);
    const QByteArray list = records(3);
    std::unique_ptr<Form1> window = makeWindow(&list);
    m_player->durations.insert(QStringLiteral("/music/t0.mp3"), 125.4);
    const QSize classic = window->size();
    TrackButton *first = window->trackButton(0);
    QLabel *total = window->findChild<QLabel *>(QStringLiteral("LblLCD"));
    const QRect buttonAt = first->geometry();
    const QRect displayAt = total->geometry();
    const double fontAt = first->font().pointSizeF();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    if (how == QLatin1String("size"))
        window->resize(size);
    else if (how == QLatin1String("full screen"))
        window->contextMenu()->findChild<QAction *>(QStringLiteral("FullScreen"))->trigger();
    if (how.contains(QLatin1String("full screen"))) {
        QTRY_VERIFY(window->scaler()->isFullScreen());
        QTRY_COMPARE(window->geometry(), window->screen()->geometry());
        scale = std::min(double(window->width()) / classic.width(), double(window->height()) / classic.height());
    }
    QTRY_VERIFY(qAbs(window->scaler()->scale() - scale) < 0.01);
    // Buttons, displays and fonts grow together; what is left over is split on either side.
    QVERIFY(qAbs(first->width() - buttonAt.width() * scale) <= 1);
    QVERIFY(qAbs(first->height() - buttonAt.height() * scale) <= 1);
    QVERIFY(qAbs(total->width() - displayAt.width() * scale) <= 1);
    QVERIFY(qAbs(first->font().pointSizeF() - fontAt * scale) < 0.05);
    const int spareLeft = first->x() - int(buttonAt.x() * scale);
    QVERIFY(qAbs(spareLeft - (window->width() - classic.width() * scale) / 2) <= 1);
    QCOMPARE(window->findChild<QWidget *>(QStringLiteral("Shape1"))->width(), window->width());
    QCOMPARE(first->cornerKey(), corners ? QStringLiteral("F1") : QString());
    QCOMPARE(first->cornerLength(), corners ? QStringLiteral("02:05") : QString());
    if (how == QLatin1String("classic"))
        return;
    // Back to the classic size: every control exactly where it was.
    window->scaler()->classicSize();
    QTRY_COMPARE(window->size(), classic);
    QCOMPARE(first->geometry(), buttonAt);
    QCOMPARE(total->geometry(), displayAt);
    QCOMPARE(first->font().pointSizeF(), fontAt);
    QCOMPARE(first->cornerKey(), QString());
}

void TestForm1::showStateOnTheWindow_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("playing");   // a cart plays meanwhile
    QTest::addColumn<QString>("answer"); // to a question asked, if any
    QTest::addColumn<bool>("elsewhere"); // another program rewrites the show file first
    QTest::newRow("Ctrl+S writes the show") << "save" << false << "" << false;
    QTest::newRow("changed elsewhere: marked; Ctrl+S asks, writes, unmarks") << "save" << false << "yes" << true;
    QTest::newRow("another show at rest: no question") << "switch" << false << "" << false;
    QTest::newRow("another show mid-cart asks; no keeps it") << "switch" << true << "no" << false;
    QTest::newRow("another show mid-cart asks; yes switches") << "switch" << true << "yes" << false;
    QTest::newRow("another show over one unsaved asks; no keeps it") << "switch" << false << "no" << true;
    QTest::newRow("another show over one unsaved asks; yes switches") << "switch" << false << "yes" << true;
    QTest::newRow("a show reopened comes back to its page") << "reopen" << false << "" << false;
}

void TestForm1::showStateOnTheWindow()
{
    QFETCH(QString, what);
    QFETCH(bool, playing);
    QFETCH(QString, answer);
    QFETCH(bool, elsewhere);
    const auto forget = qScopeGuard([] { Settings().setLastShow(QString()); });
    const QByteArray list = records(3);
    std::unique_ptr<Form1> window = makeWindow(&list);
    window->show();
    const QString first = QDir(m_fixture.folder()).filePath(QStringLiteral("first.kelvo"));
    const QString second = QDir(m_fixture.folder()).filePath(QStringLiteral("second.kelvo"));
    const QByteArray pages =
        R"({"kelvo-show": 1, "pages": [{"name": "One", "carts": [{"file": "a.wav", "caption": "A"}]},)"
        R"( {"name": "Two", "carts": [{"file": "b.wav", "caption": "B"}]}]})";
    QVERIFY(writeBytes(first, pages) && writeBytes(second, pages));
    QVERIFY(window->openShow(first));
    QCOMPARE(window->windowTitle(), QStringLiteral("first - Kelvo Version 2"));
    QLabel *pageLine = window->findChild<QLabel *>(QStringLiteral("PageCaption"));
    QVERIFY(pageLine);
    if (elsewhere) {
        QTest::qWait(20); // a later modification time
        QVERIFY(writeBytes(first, R"({"kelvo-show": 1, "pages": [{"name": "Theirs"}]})"));
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("first* - Kelvo Version 2"));
        QVERIFY(pageLine->text().startsWith(QLatin1String("first* - ")));
        QVERIFY(!pageLine->toolTip().isEmpty());
    }
    // Any question is answered as the row says.
    QString asked;
    const auto answerQuestion = [&] {
        QTimer::singleShot(0, window.get(), [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            asked = box->text();
            box->button(answer == QLatin1String("yes") ? QMessageBox::Yes : QMessageBox::No)->click();
        });
    };
    QMenu *menu = window->contextMenu();
    if (what == QLatin1String("save")) {
        const QByteArray before = readBytes(first);
        // Ctrl+S is the window's own, whether its menu is open or not.
        QAction *save = nullptr;
        for (QAction *action : window->actions()) {
            if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_S))
                save = action;
        }
        QVERIFY(save);
        QCOMPARE(save->objectName(), QStringLiteral("SaveShow"));
        answerQuestion();
        save->trigger();
        QCOMPARE(!asked.isEmpty(), elsewhere); // before replacing what another program wrote
        QVERIFY(readBytes(first) != before);   // written afresh, in Kelvo's own layout
        QVERIFY(readBytes(first).contains("\"One\""));
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("first - Kelvo Version 2"));
        QVERIFY(pageLine->toolTip().isEmpty());
        return;
    }
    if (what == QLatin1String("reopen")) {
        window->showPage(1);
        QVERIFY(window->openShow(second));
        QCOMPARE(window->showDocument()->shownPage(), 0);
        QVERIFY(window->openShow(first));
        QCOMPARE(window->showDocument()->shownPage(), 1);
        QCOMPARE(window->trackButton(0)->text(), QStringLiteral("B"));
        return;
    }
    if (playing) {
        window->trackButton(0)->click();
        QVERIFY(window->playingTrack());
    }
    // The recent shows' item, as the operator picks it; any question is answered as the row says.
    Settings().noteRecentShow(second);
    QMenu *recent = menu->findChild<QMenu *>(QStringLiteral("RecentShows"));
    emit recent->aboutToShow();
    QAction *pick = nullptr;
    for (QAction *action : recent->actions()) {
        if (action->text().startsWith(QLatin1String("second")))
            pick = action;
    }
    QVERIFY(pick);
    answerQuestion();
    pick->trigger();
    QCOMPARE(!asked.isEmpty(), playing || elsewhere);
    const bool switched = asked.isEmpty() || answer == QLatin1String("yes");
    QCOMPARE(window->windowTitle(),
             switched        ? QStringLiteral("second - Kelvo Version 2")
                 : elsewhere ? QStringLiteral("first* - Kelvo Version 2")
                             : QStringLiteral("first - Kelvo Version 2"));
    if (playing)
        QVERIFY(window->playingTrack()); // the cart plays on either way
}

void TestForm1::lockedButtonCaptionIsReadable()
{
    const QByteArray file = records(2);
    auto window = makeWindow(&file);
    window->show();
    TrackButton *locked = window->trackButton(1);
    locked->setBackColor(Colours::Silver);
    locked->setEnabled(false);
    const QImage image = locked->grab().toImage();
    const QColor back = Colours::colour(Colours::Silver);
    // Pixels of the caption that stand out against silver as dark text does.
    int dark = 0;
    const QRect caption = locked->captionRect();
    for (int y = caption.top(); y <= caption.bottom(); ++y) {
        for (int x = caption.left(); x <= caption.right(); ++x) {
            if (qGray(image.pixel(x * image.width() / locked->width(), y * image.height() / locked->height()))
                < qGray(back.rgb()) - 50)
                ++dark;
        }
    }
    QVERIFY2(dark > 20, qPrintable(QStringLiteral("%1 dark caption pixels").arg(dark)));
}

void TestForm1::timeDisplaysDrawTheirText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("at rest") << "00:00";
    QTest::newRow("a countdown") << "01.04";
    QTest::newRow("the widest time") << "999.59";
}

// The smallest rectangle that holds every pixel of an image that counts as ink.
template <typename Ink>
static QRect inkBox(const QImage &image, Ink isInk)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isInk(QColor(image.pixel(x, y))))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

void TestForm1::timeDisplaysDrawTheirText()
{
    // A display draws its text where, and as large as, a plain label of its look draws it.
    QFETCH(QString, text);
    auto window = makeWindow(nullptr);
    window->show();
    auto *display = window->findChild<QLabel *>("LblLCD3");
    display->setText(text);
    QLabel reference(text);
    reference.setFont(display->font());
    reference.setPalette(display->palette());
    reference.setAutoFillBackground(true);
    reference.setAlignment(Qt::AlignCenter);
    reference.resize(display->size());
    const auto yellow = [](const QColor &c) { return c.red() > 100 && c.green() > 100 && c.blue() < 100; };
    const QRect drawn = inkBox(display->grab().toImage(), yellow);
    const QRect expected = inkBox(reference.grab().toImage(), yellow);
    QVERIFY(!expected.isEmpty());
    const QMargins apart(drawn.left() - expected.left(), drawn.top() - expected.top(), drawn.right() - expected.right(),
                         drawn.bottom() - expected.bottom());
    QVERIFY2(std::abs(apart.left()) <= 1 && std::abs(apart.top()) <= 1 && std::abs(apart.right()) <= 1
                 && std::abs(apart.bottom()) <= 1,
             qPrintable(QStringLiteral("drawn %1,%2 %3x%4, a label draws %5,%6 %7x%8")
                            .arg(drawn.x())
                            .arg(drawn.y())
                            .arg(drawn.width())
                            .arg(drawn.height())
                            .arg(expected.x())
                            .arg(expected.y())
                            .arg(expected.width())
                            .arg(expected.height())));

    // The characters drawn once are drawn again in a new colour.
    QPalette palette = display->palette();
    palette.setColor(QPalette::WindowText, Qt::green);
    display->setPalette(palette);
    const QImage green = display->grab().toImage();
    QVERIFY(!inkBox(green, [](const QColor &c) { return c.green() > 100 && c.red() < 100; }).isEmpty());
    QVERIFY(inkBox(green, yellow).isEmpty());
}

void TestForm1::editorTextShowsWhole()
{
    // Every pixel of a box's text, drawn alone, shows in the editor, where the rows overlap.
    auto window = makeWindow(nullptr);
    Form2 *editor = window->form2();
    editor->setRow(3, {"pqgy/jpg/pqgy", "pqgy yjqp"});
    editor->show();
    const QImage whole = editor->grab().toImage();
    const qreal scale = whole.devicePixelRatio();
    for (const char *name : {"TxtTrack(3)", "TxtShortName(3)"}) {
        auto *box = editor->findChild<QLineEdit *>(name);
        const QImage alone = box->grab().toImage();
        int textPixels = 0;
        int hidden = 0;
        // Inside the box's frame (its top line may go under the box above; its text may not).
        const int inset = int(2 * scale);
        for (int y = inset; y < alone.height() - inset; ++y) {
            for (int x = inset; x < alone.width() - inset; ++x) {
                if (qGray(alone.pixel(x, y)) > 100)
                    continue;
                const QPoint at = box->geometry().topLeft() * scale + QPoint(x, y);
                ++textPixels;
                if (qGray(whole.pixel(at)) > 100)
                    ++hidden;
            }
        }
        QVERIFY(textPixels > 0);
        QVERIFY2(hidden == 0,
                 qPrintable(QStringLiteral("%1: %2 of %3 text pixels hidden").arg(name).arg(hidden).arg(textPixels)));
    }
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
