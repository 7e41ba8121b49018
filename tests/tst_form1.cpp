#include "editor/form2.h"
#include "fakemediaplayer.h"
#include "fakeopendialog.h"
#include "player/form1.h"
#include "testsupport.h"
#include "tracklist/tracklistfile.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

// Start-up, layout and the "E&xit" command of the player window, against track-list files in a
// temporary program folder.
class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void startUp_data();
    void startUp();
    void startUpFillsEditorRows();
    void emptyFileCreatesNoEditor();
    void layout();
    void tabOrder();
    void centredAndBorderless();
    void backColourShowsOnEveryStyle_data();
    void backColourShowsOnEveryStyle();
    void exitEndsProgram();
    void closingByOtherMeansEndsProgram();

private:
    std::unique_ptr<Form1> makeWindow(const QByteArray *trackList);
    QTemporaryDir m_dir;
    FakeMediaPlayer *m_player = nullptr;
};

std::unique_ptr<Form1> TestForm1::makeWindow(const QByteArray *trackList)
{
    QFile::remove(TrackListFile::pathIn(m_dir.path()));
    if (trackList)
        writeBytes(TrackListFile::pathIn(m_dir.path()), *trackList);
    auto player = std::make_unique<FakeMediaPlayer>();
    m_player = player.get();
    return std::make_unique<Form1>(std::move(player), std::make_unique<FakeOpenDialog>(), m_dir.path());
}

QByteArray records(int count)
{
    QByteArray bytes;
    for (int n = 0; n < count; ++n)
        bytes += QStringLiteral("\"/music/t%1.mp3\",\"Name %1\"\r\n").arg(n).toUtf8();
    return bytes;
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
    QCOMPARE(image.pixelColor(3, 3), QColor(0, 0, 192));
    QCOMPARE(image.pixelColor(12, 300), QColor(Qt::black));
    QCOMPARE(image.pixelColor(5, 361), QColor(Qt::white));
}

void TestForm1::tabOrder()
{
    auto window = makeWindow(nullptr);
    QStringList order;
    QWidget *widget = window->findChild<QWidget *>("CmdTrack(0)");
    for (int i = 0; i < 16; ++i) {
        order << widget->objectName();
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus)
            widget = widget->nextInFocusChain();
    }
    QStringList expected;
    for (int n = 0; n < 12; ++n)
        expected << QStringLiteral("CmdTrack(%1)").arg(n);
    expected << "CmdSet" << "CmdExit" << "Command1" << "CmdTrack(0)";
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
    QVERIFY(qAbs(window->x() - (screen.width() - 549) / 2) <= 1);
    QVERIFY(qAbs(window->y() - (screen.height() - 362) / 2) <= 1);
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

void TestForm1::exitEndsProgram()
{
    auto window = makeWindow(nullptr);
    window->show();
    window->form2();
    QTimer::singleShot(0, window.get(), [&] { QTest::mouseClick(window->findChild<QPushButton *>("CmdExit"), Qt::LeftButton); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

void TestForm1::closingByOtherMeansEndsProgram()
{
    auto window = makeWindow(nullptr);
    window->show();
    QTimer::singleShot(0, window.get(), [&] { window->close(); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
