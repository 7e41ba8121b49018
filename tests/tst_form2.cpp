#include "common/shape.h"
#include "editor/form2.h"
#include "fakemediaplayer.h"
#include "fakeopendialog.h"
#include "player/form1.h"
#include "show/showdocument.h"
#include "platform/qtopendialog.h"
#include "playerfixture.h"
#include "testsupport.h"
#include "tracklist/tracklistfile.h"
#include "tracklist/tracklistformat.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QHelpEvent>

#include <memory>

// The track-list editor driven through real clicks and typing, over a player window whose
// program folder is a temporary one.
class TestForm2 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void layoutAndLook();
    void opensModallyWithFileContent();
    void saveWritesExactBytesAndUpdatesButtons_data();
    void saveWritesExactBytesAndUpdatesButtons();
    void cancelChangesNothing();
    void saveWhilePlaying();
    void editorEditsThePageShown();
    void findSetsTrimmedPathWithFilter();
    void cancelledOpenDialogKeepsRow();
    void dialogPathWithQuoteIsRefused();
    void textBoxesRefuseQuotes();
    void shortNameCountsWhatIsLeft_data();
    void shortNameCountsWhatIsLeft();
    void failedSaveKeepsEverything();
    void longShortNameFromFileSurvivesSave();
    void quotesFromFileAreNeverSaved();
    void openDialogOffersEveryFormat();
    void accessibleDescriptions();
    void rowTooltipNotesTheFile_data();
    void rowTooltipNotesTheFile();
    void dragOnFaceMovesEditor();

private:
    void openEditor();
    QLineEdit *path(int n) { return m_editor->findChild<QLineEdit *>(QStringLiteral("TxtTrack(%1)").arg(n)); }
    QLineEdit *name(int n) { return m_editor->findChild<QLineEdit *>(QStringLiteral("TxtShortName(%1)").arg(n)); }
    QPushButton *editorButton(const QString &objectName) { return m_editor->findChild<QPushButton *>(objectName); }
    TrackButton *track(int n) { return m_window->findChild<TrackButton *>(QStringLiteral("CmdTrack(%1)").arg(n)); }
    QMessageBox *messageBox();
    QString filePath() const { return m_fixture->trackListPath(); }

    std::unique_ptr<PlayerFixture> m_fixture;
    FakeMediaPlayer *m_player = nullptr;
    FakeOpenDialog *m_dialog = nullptr;
    std::unique_ptr<Form1> m_window;
    QPointer<Form2> m_editor;
    QByteArray m_initialFile;
};

void TestForm2::init()
{
    m_fixture = std::make_unique<PlayerFixture>();
    m_initialFile = PlayerFixture::records(4, QStringLiteral("/m/t%1.mp3"), QStringLiteral("T%1"));
    m_window = m_fixture->showWindow(m_initialFile);
    m_player = m_fixture->player;
    m_dialog = m_fixture->dialog;
    m_player->durations.insert("/m/t1.mp3", 90);
}

void TestForm2::cleanup()
{
    m_window.reset();
    QFile::setPermissions(m_fixture->folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_fixture.reset();
}

void TestForm2::openEditor()
{
    QTest::mouseClick(m_window->findChild<QPushButton *>("CmdSet"), Qt::LeftButton);
    m_editor = m_window->findChild<Form2 *>("Form2");
    QVERIFY(m_editor);
    QVERIFY(m_editor->isVisible());
}

void TestForm2::rowTooltipNotesTheFile_data()
{
    QTest::addColumn<QString>("note"); // what the player knows of /m/t1.mp3's loudness
    QTest::newRow("measured") << QStringLiteral("-14.2 LUFS, peak -0.3 dBTP");
    QTest::newRow("being measured") << QStringLiteral("measuring");
    QTest::newRow("nothing to measure") << QStringLiteral("not measurable");
    QTest::newRow("not known") << QString();
}

void TestForm2::rowTooltipNotesTheFile()
{
    QFETCH(QString, note);
    openEditor();
    m_player->notes.insert(QStringLiteral("/m/t1.mp3"), note);
    for (QLineEdit *box : {path(1), name(1)}) {
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), box->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(box, &help);
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), note);
    }
}

QMessageBox *TestForm2::messageBox()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

void TestForm2::layoutAndLook()
{
    openEditor();
    QCOMPARE(m_editor->size(), QSize(609, 265));
    QCOMPARE(m_editor->windowTitle(), QStringLiteral("Select and save"));
    QVERIFY(m_editor->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(m_editor->windowType(), Qt::Tool);
    const QRect screen = m_editor->screen()->geometry();
    COMPARE_NEAR(m_editor->x(), (screen.width() - 609) / 2, 1); // centred as it loads
    COMPARE_NEAR(m_editor->y(), (screen.height() - 265) / 2, 1);
    const auto geometry = [&](const QString &objectName) {
        return m_editor->findChild<QWidget *>(objectName)->geometry();
    };
    QCOMPARE(geometry("LblTrackNo(0)"), QRect(16, 32, 57, 17));
    QCOMPARE(geometry("TxtTrack(11)"), QRect(80, 208, 305, 19));
    QCOMPARE(geometry("CmdFindTrack(3)"), QRect(392, 80, 17, 17));
    QCOMPARE(geometry("TxtShortName(5)"), QRect(416, 112, 153, 19));
    QCOMPARE(geometry("CmdDelete(0)"), QRect(576, 32, 17, 17));
    QCOMPARE(geometry("CmdExit"), QRect(416, 232, 153, 25));
    QCOMPARE(m_editor->findChild<QLabel *>("LblTrackNo(0)")->text(), QStringLiteral("Track 01"));
    QCOMPARE(m_editor->findChild<QLabel *>("Label3")->text(), QStringLiteral("Short Name"));
    QCOMPARE(editorButton("CmdExit")->text(), QStringLiteral("Save and E&xit"));
    QCOMPARE(editorButton("CmdCancel")->text(), QStringLiteral("&Cancel"));
    QCOMPARE(name(0)->maxLength(), 20);
    QCOMPARE(editorButton("CmdDelete(2)")->palette().color(QPalette::Button), QColor(192, 192, 192));

    const QImage image = m_editor->grab().toImage();
    QCOMPARE(image.pixelColor(4, 4), QColor(0, 0, 192));    // the frame
    QCOMPARE(image.pixelColor(12, 240), QColor(Qt::black)); // the face

    // Tab order: paths, "...", short names, Cancel, Save, "X".
    const QStringList order = tabChain(path(0), 65 - 12);
    QCOMPARE(order.at(11), QStringLiteral("TxtTrack(11)"));
    QCOMPARE(order.at(12), QStringLiteral("CmdFindTrack(0)"));
    QCOMPARE(order.at(24), QStringLiteral("TxtShortName(0)"));
    QCOMPARE(order.at(36), QStringLiteral("CmdCancel"));
    QCOMPARE(order.at(37), QStringLiteral("CmdExit"));
    QCOMPARE(order.at(38), QStringLiteral("CmdDelete(0)"));
    QCOMPARE(order.at(49), QStringLiteral("CmdDelete(11)"));
}

void TestForm2::opensModallyWithFileContent()
{
    // Changed behind the program's back after start-up.
    QVERIFY(writeBytes(filePath(), "\"/new/a.mp3\",\"New A\"\r\n\"/new/b.mp3\",\"New B\"\r\n"));
    openEditor();
    QVERIFY(m_editor->isModal());
    QCOMPARE(m_editor->row(0), (TrackSlot{"/new/a.mp3", "New A"}));
    QCOMPARE(m_editor->row(1), (TrackSlot{"/new/b.mp3", "New B"}));
    QCOMPARE(m_editor->row(2), (TrackSlot{"/m/t2.mp3", "T2"})); // rows without a record keep theirs

    // The player takes no input while the editor is open: a click through the window system
    // on track button 0 reaches nothing.
    QCOMPARE(QApplication::activeModalWidget(), m_editor.data());
    QTest::mouseClick(m_window->windowHandle(), Qt::LeftButton, {}, track(0)->geometry().center());
    QVERIFY(m_player->calls.isEmpty());
    // Once it has closed, the same click plays.
    QTest::mouseClick(editorButton("CmdCancel"), Qt::LeftButton);
    QTRY_VERIFY(!m_editor);
    QTest::mouseClick(m_window->windowHandle(), Qt::LeftButton, {}, track(0)->geometry().center());
    QCOMPARE(m_player->calls, QStringList{"put:/m/t0.mp3"});
}

void TestForm2::saveWritesExactBytesAndUpdatesButtons_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typedPath");
    QTest::addColumn<QString>("typedName");
    QTest::addColumn<bool>("clearWithX");
    QTest::addColumn<QByteArray>("expectedRecord");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("X clears the row") << 2 << ""
                                      << "" << true << QByteArray("\"\",\"\"\r\n") << "" << false;
    QTest::newRow("short name of spaces only")
        << 1 << "/m/sp.mp3"
        << "   " << false << QByteArray("\"/m/sp.mp3\",\"   \"\r\n") << "" << false;
    QTest::newRow("path without short name") << 0 << "/m/noname.mp3"
                                             << "" << false << QByteArray("\"/m/noname.mp3\",\"\"\r\n") << "" << false;
    QTest::newRow("new slot, untrimmed name")
        << 6 << " /m/new song.mp3"
        << " New " << false << QByteArray("\" /m/new song.mp3\",\" New \"\r\n") << " New " << true;
    QTest::newRow("name without path enables")
        << 7 << ""
        << "Named" << false << QByteArray("\"\",\"Named\"\r\n") << "Named" << true;
}

void TestForm2::saveWritesExactBytesAndUpdatesButtons()
{
    QFETCH(int, row);
    QFETCH(QString, typedPath);
    QFETCH(QString, typedName);
    QFETCH(bool, clearWithX);
    QFETCH(QByteArray, expectedRecord);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);

    openEditor();
    if (clearWithX) {
        QTest::mouseClick(editorButton(QStringLiteral("CmdDelete(%1)").arg(row)), Qt::LeftButton);
    } else {
        path(row)->clear();
        QTest::keyClicks(path(row), typedPath);
        name(row)->clear();
        QTest::keyClicks(name(row), typedName);
    }
    QTest::mouseClick(editorButton("CmdExit"), Qt::LeftButton);
    QTRY_VERIFY(!m_editor);

    QList<QByteArray> expectedLines;
    for (int n = 0; n < 12; ++n) {
        if (n == row)
            expectedLines << expectedRecord;
        else if (n < 4)
            expectedLines << QStringLiteral("\"/m/t%1.mp3\",\"T%1\"\r\n").arg(n).toUtf8();
        else
            expectedLines << "\"\",\"\"\r\n";
    }
    QCOMPARE(readBytes(filePath()), expectedLines.join());
    QCOMPARE(track(row)->text(), caption);
    QCOMPARE(track(row)->isEnabled(), enabled);
    QCOMPARE(track(row)->tag(), clearWithX ? QString() : typedPath);
    // Blank slots past the file's end now read as blank, disabled buttons.
    QCOMPARE(track(10)->text(), QString());
    QVERIFY(!track(10)->isEnabled());
    QVERIFY(m_window->hasFocus());
}

void TestForm2::cancelChangesNothing()
{
    openEditor();
    name(0)->clear();
    QTest::keyClicks(name(0), "Edited");
    QTest::mouseClick(editorButton("CmdDelete(1)"), Qt::LeftButton);
    QTest::mouseClick(editorButton("CmdCancel"), Qt::LeftButton);
    QTRY_VERIFY(!m_editor); // unloaded, not hidden
    QCOMPARE(readBytes(filePath()), m_initialFile);
    QCOMPARE(track(0)->text(), QStringLiteral("T0"));
    QCOMPARE(track(1)->tag(), QStringLiteral("/m/t1.mp3"));
    openEditor();
    QCOMPARE(m_editor->row(0), (TrackSlot{"/m/t0.mp3", "T0"}));
    QCOMPARE(m_editor->row(1), (TrackSlot{"/m/t1.mp3", "T1"}));
}

void TestForm2::editorEditsThePageShown()
{
    ShowDocument *show = m_window->showDocument();
    QString error;
    QVERIFY(show->addPage(&error));
    m_window->showPage(1);
    openEditor();
    QCOMPARE(m_editor->row(0), TrackSlot{}); // the new page's rows, not the track list's
    m_window->showPage(0);                   // the page stays while the editor is open
    QCOMPARE(show->shownPage(), 1);
    QTest::keyClicks(path(0), "/m/page2.mp3");
    QTest::keyClicks(name(0), "Second");
    QTest::mouseClick(editorButton("CmdExit"), Qt::LeftButton);
    QTRY_VERIFY(!m_editor);
    QCOMPARE(track(0)->text(), QStringLiteral("Second"));
    QCOMPARE(track(0)->tag(), QStringLiteral("/m/page2.mp3"));
    QCOMPARE(readBytes(filePath()), m_initialFile); // page 1 is untouched
    m_window->showPage(0);
    QCOMPARE(track(0)->text(), QStringLiteral("T0"));
    openEditor();
    QCOMPARE(m_editor->row(0), (TrackSlot{"/m/t0.mp3", "T0"}));
}

void TestForm2::saveWhilePlaying()
{
    QTest::mouseClick(track(1), Qt::LeftButton);
    QVERIFY(!track(3)->isEnabled());
    openEditor();
    name(3)->clear();
    QTest::keyClicks(name(3), "Renamed");
    QTest::mouseClick(editorButton("CmdDelete(2)"), Qt::LeftButton);
    QTest::mouseClick(editorButton("CmdExit"), Qt::LeftButton);
    QTRY_VERIFY(!m_editor);
    QCOMPARE(track(3)->text(), QStringLiteral("Renamed"));
    QVERIFY(track(3)->isEnabled());
    QVERIFY(!track(2)->isEnabled());
    QVERIFY(m_player->playing);
    QCOMPARE(m_player->calls, QStringList{"put:/m/t1.mp3"});
    QVERIFY(m_window->findChild<QTimer *>("Timer1")->isActive());
}

void TestForm2::findSetsTrimmedPathWithFilter()
{
    openEditor();
    m_dialog->nextChoice = "  /music/Found It.mp3  ";
    QTest::mouseClick(editorButton("CmdFindTrack(5)"), Qt::LeftButton);
    QCOMPARE(path(5)->text(), QStringLiteral("/music/Found It.mp3"));
    QCOMPARE(name(5)->text(), QString()); // the user types the short name
    QTest::mouseClick(editorButton("CmdFindTrack(6)"), Qt::LeftButton);
    QCOMPARE(m_dialog->filters, (QStringList{"*.mp3", "*.mp3"}));
}

void TestForm2::cancelledOpenDialogKeepsRow()
{
    openEditor();
    m_dialog->nextChoice.clear();
    QTest::mouseClick(editorButton("CmdFindTrack(2)"), Qt::LeftButton);
    QCOMPARE(m_dialog->shown, 1);
    QCOMPARE(path(2)->text(), QStringLiteral("/m/t2.mp3"));
}

void TestForm2::dialogPathWithQuoteIsRefused()
{
    openEditor();
    m_dialog->nextChoice = "/music/The \"Best\".mp3";
    QTest::mouseClick(editorButton("CmdFindTrack(1)"), Qt::LeftButton);
    QCOMPARE(path(1)->text(), QStringLiteral("/m/t1.mp3"));
    QMessageBox *box = messageBox();
    QVERIFY(box);
    QVERIFY(box->text().contains("double quote"));
    box->accept();
}

void TestForm2::textBoxesRefuseQuotes()
{
    openEditor();
    name(8)->clear();
    QTest::keyClicks(name(8), "Say \"hi\"");
    QCOMPARE(name(8)->text(), QStringLiteral("Say hi"));
    path(8)->clear();
    QGuiApplication::clipboard()->setText("/m/\"quoted\".mp3");
    path(8)->setFocus();
    QTest::keySequence(path(8), QKeySequence::Paste);
    QCOMPARE(path(8)->text(), QString());
    QGuiApplication::clipboard()->setText("/m/plain.mp3");
    QTest::keySequence(path(8), QKeySequence::Paste);
    QCOMPARE(path(8)->text(), QStringLiteral("/m/plain.mp3"));
}

void TestForm2::shortNameCountsWhatIsLeft_data()
{
    QTest::addColumn<QString>("typed"); // into an emptied short name
    QTest::addColumn<QString>("told");
    QTest::newRow("one typed") << "A"
                               << "19 characters left";
    QTest::newRow("one left") << QString(19, QLatin1Char('x')) << "1 character left";
    QTest::newRow("full, and more refused") << QString(25, QLatin1Char('x')) << "0 characters left";
}

void TestForm2::shortNameCountsWhatIsLeft()
{
    QFETCH(QString, typed);
    QFETCH(QString, told);
    openEditor();
    name(5)->clear();
    QTest::keyClicks(name(5), typed);
    QCOMPARE(name(5)->text(), typed.left(20));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), told);
    QToolTip::hideText();
}

void TestForm2::failedSaveKeepsEverything()
{
    openEditor();
    name(0)->clear();
    QTest::keyClicks(name(0), "Unsaved");
    // A folder the program cannot write into; root ignores permissions, so the disk is also full.
    QVERIFY(QFile::setPermissions(m_fixture->folder(), QFile::ReadOwner | QFile::ExeOwner));
    {
        const DiskFullScope diskFull;
        QTest::mouseClick(editorButton("CmdExit"), Qt::LeftButton);
    }
    QCOMPARE(readBytes(filePath()), m_initialFile);
    QVERIFY(m_editor && m_editor->isVisible());
    QCOMPARE(name(0)->text(), QStringLiteral("Unsaved"));
    QCOMPARE(track(0)->text(), QStringLiteral("T0"));
    QVERIFY(track(3)->isEnabled());
    QMessageBox *box = messageBox();
    QVERIFY(box);
    QVERIFY(box->text().startsWith("The track list could not be saved."));
    box->accept();
}

void TestForm2::longShortNameFromFileSurvivesSave()
{
    const QString longName = QStringLiteral("A name well past twenty characters");
    QVERIFY(writeBytes(filePath(), "\"/m/long.mp3\",\"" + longName.toUtf8() + "\"\r\n"));
    openEditor();
    QCOMPARE(name(0)->text(), longName);
    QTest::mouseClick(editorButton("CmdExit"), Qt::LeftButton);
    QTRY_VERIFY(!m_editor);
    QCOMPARE(TrackListFile::read(filePath()).value(0).shortName, longName);
}

void TestForm2::quotesFromFileAreNeverSaved()
{
    // Another editor wrote quotes into unquoted fields: shown as read, but never saved as such.
    const QByteArray file = "/music/my \"best\" take.mp3,Take \"one\" best\r\n\"/m/t1.mp3\",\"T1\"\r\n";
    QVERIFY(writeBytes(filePath(), file));
    openEditor();
    QCOMPARE(path(0)->text(), QStringLiteral("/music/my \"best\" take.mp3"));
    QCOMPARE(name(0)->text(), QStringLiteral("Take \"one\" best"));
    const QString caption = track(0)->text();
    QTest::mouseClick(editorButton("CmdExit"), Qt::LeftButton);
    QMessageBox *box = messageBox();
    QVERIFY(box);
    QVERIFY2(box->text().contains("Track 1 holds a double quote"), qPrintable(box->text()));
    box->accept();
    QCOMPARE(readBytes(filePath()), file);
    QVERIFY(m_editor && m_editor->isVisible());
    QCOMPARE(track(0)->text(), caption);

    // Once the quotes are gone, the save goes through and reads back as shown.
    path(0)->setText("/music/my best take.mp3");
    name(0)->setText("Take one best");
    QTest::mouseClick(editorButton("CmdExit"), Qt::LeftButton);
    QTRY_VERIFY(!m_editor);
    QCOMPARE(TrackListFile::read(filePath()).value(0), (TrackSlot{"/music/my best take.mp3", "Take one best"}));
}

void TestForm2::openDialogOffersEveryFormat()
{
    QtOpenDialog dialog;
    dialog.setFilter("*.mp3");
    const QStringList filters = dialog.filters();
    QCOMPARE(filters.value(0), QStringLiteral("*.mp3"));
    for (const char *pattern : {"*.wav", "*.flac", "*.ogg", "*.opus"})
        QVERIFY2(filters.value(1).contains(QLatin1String(pattern)), pattern);
    QCOMPARE(filters.value(2), QStringLiteral("All files (*)"));
}

void TestForm2::accessibleDescriptions()
{
    openEditor();
    const auto description = [&](const QString &objectName) {
        return QAccessible::queryAccessibleInterface(m_editor->findChild<QWidget *>(objectName))
            ->text(QAccessible::Description);
    };
    QCOMPARE(description("TxtTrack(2)"), QStringLiteral("Track 03 full path"));
    QCOMPARE(description("TxtShortName(2)"), QStringLiteral("Track 03 short name"));
    QCOMPARE(description("CmdFindTrack(2)"), QStringLiteral("Browse for track 03"));
    QCOMPARE(description("CmdDelete(11)"), QStringLiteral("Clear track 12"));
    QCOMPARE(QAccessible::queryAccessibleInterface(editorButton("CmdDelete(11)"))->text(QAccessible::Name),
             QStringLiteral("X"));
}

void TestForm2::dragOnFaceMovesEditor()
{
    openEditor();
    const QPoint start = m_editor->pos();
    const QPoint face(300, 250); // below the rows, between the two buttons
    QVERIFY(!m_editor->childAt(face) || qobject_cast<Shape *>(m_editor->childAt(face)));
    dragWindowFace(m_editor, face, QPoint(-20, -30));
    QCOMPARE(m_editor->pos(), start - QPoint(20, 30));
}

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
