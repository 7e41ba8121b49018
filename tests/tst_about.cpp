#include "playerfixture.h"
#include "about/about.h"
#include "fakemediaplayer.h"
#include "fakeopendialog.h"
#include "player/form1.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The About window opened from the player's "About" button.
class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void contentAsStored_data();
    void contentAsStored();
    void windowAndLayout();
    void secondAboutShowsTheSameWindow();
    void okUnloadsAndReopensFresh_data();
    void okUnloadsAndReopensFresh();
    void tabOrder();
    void playerStaysUsable();
    void resizingMovesNothing();

private:
    About *openAbout();
    QList<About *> aboutWindows() const;

    PlayerFixture m_fixture;
    std::unique_ptr<Form1> m_window;
};

void TestAbout::init()
{
    m_window = m_fixture.showWindow(std::nullopt);
}

void TestAbout::cleanup()
{
    m_window.reset();
    QCOMPARE(aboutWindows().size(), 0); // it ends with the program
}

About *TestAbout::openAbout()
{
    QTest::mouseClick(m_window->findChild<QPushButton *>("Command1"), Qt::LeftButton);
    return m_window->aboutWindow();
}

QList<About *> TestAbout::aboutWindows() const
{
    QList<About *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *about = qobject_cast<About *>(widget))
            found << about;
    }
    return found;
}

void TestAbout::contentAsStored_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("Text1") << "Text1"
                           << "I decided to change stuff from the first version, I think this one is alot " << false;
    QTest::newRow("Text4") << "Text4"
                           << "Note: This program is also named Quorbel.. In case you were " << true;
    QTest::newRow("Text5") << "Text5"
                           << "wondering..." << true;
}

void TestAbout::contentAsStored()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    About *about = openAbout();
    auto *box = about->findChild<QLineEdit *>(name);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->isEnabled(), enabled);
}

void TestAbout::windowAndLayout()
{
    About *about = openAbout();
    QVERIFY(about->isVisible());
    QCOMPARE(about->windowTitle(), QStringLiteral("About Kelvo 2.00"));
    QCOMPARE(about->size(), QSize(404, 216));
    QCOMPARE(about->windowType(), Qt::Window);
    QVERIFY(!(about->windowFlags() & Qt::FramelessWindowHint));
    QVERIFY(!about->isModal());
    QVERIFY(!about->parentWidget()); // no owner
    QVERIFY(about->findChild<QLineEdit *>("Text2")->text().startsWith("better. "));
    QVERIFY(about->findChild<QLineEdit *>("Text2")->text().contains("@example.org"));
    QVERIFY(about->findChild<QLineEdit *>("Text3")->text().contains("shall not be sold"));
    QVERIFY(!about->findChild<QLineEdit *>("Text2")->isEnabled());
    QCOMPARE(about->findChild<QGroupBox *>("Frame1")->title(), QStringLiteral("Stuff"));
    QCOMPARE(about->findChild<QGroupBox *>("Frame1")->geometry(), QRect(16, 8, 369, 193));
    QCOMPARE(about->findChild<QPushButton *>("Command1")->geometry(), QRect(136, 152, 97, 33));
    QCOMPARE(about->findChild<QLabel *>("Label1")->text(), QStringLiteral("HAVE A NICE DAY"));
    // Stacking: the label lies beneath the lower text box and the button.
    const QObjectList order = about->findChild<QGroupBox *>("Frame1")->children();
    const auto at = [&](const char *name) { return order.indexOf(about->findChild<QObject *>(name)); };
    QVERIFY(at("Label1") < at("Command1"));
    QVERIFY(at("Label1") < at("Text5"));
    QVERIFY(at("Command1") < at("Text4"));
}

void TestAbout::secondAboutShowsTheSameWindow()
{
    About *first = openAbout();
    About *second = openAbout();
    QCOMPARE(first, second);
    QCOMPARE(aboutWindows().size(), 1);
}

void TestAbout::okUnloadsAndReopensFresh_data()
{
    QTest::addColumn<bool>("viaTitleBar");
    QTest::newRow("OK!") << false;
    QTest::newRow("close box") << true;
}

void TestAbout::okUnloadsAndReopensFresh()
{
    QFETCH(bool, viaTitleBar);
    QPointer<About> about = openAbout();
    QTest::keyClicks(about->findChild<QLineEdit *>("Text4"), "typed");
    QTest::keyClicks(about->findChild<QLineEdit *>("Text5"), "more");
    if (viaTitleBar)
        about->close();
    else
        QTest::mouseClick(about->findChild<QPushButton *>("Command1"), Qt::LeftButton);
    QTRY_VERIFY(!about); // unloaded, not hidden
    QVERIFY(!m_window->aboutWindow());
    About *again = openAbout();
    QCOMPARE(again->findChild<QLineEdit *>("Text4")->text(),
             QStringLiteral("Note: This program is also named Quorbel.. In case you were "));
    QCOMPARE(again->findChild<QLineEdit *>("Text5")->text(), QStringLiteral("wondering..."));
}

void TestAbout::tabOrder()
{
    About *about = openAbout();
    QVERIFY(QTest::qWaitForWindowActive(about));
    QCOMPARE(QApplication::focusWidget(), about->findChild<QWidget *>("Command1"));
    QStringList visited;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, (QStringList{"Text4", "Text5", "Command1"}));
}

void TestAbout::playerStaysUsable()
{
    About *about = openAbout();
    QVERIFY(about->isVisible());
    QTest::mouseClick(m_window->windowHandle(), Qt::LeftButton, {},
                      m_window->findChild<QWidget *>("CmdTrack(0)")->geometry().center());
    // The click (after the hover preview its move brings) starts the track.
    QCOMPARE(m_fixture.player->calls.last(), QStringLiteral("put:c:\\mp3_music\\track4.mp3"));
    QVERIFY(m_window->findChild<QTimer *>("Timer1")->isActive());
}

void TestAbout::resizingMovesNothing()
{
    About *about = openAbout();
    QList<QRect> before;
    const QList<QWidget *> children = about->findChildren<QWidget *>();
    for (QWidget *child : children)
        before << child->geometry();
    about->resize(700, 500);
    QTest::qWait(10);
    for (qsizetype i = 0; i < children.size(); ++i)
        QCOMPARE(children[i]->geometry(), before[i]);
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
