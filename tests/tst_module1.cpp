#include "testsupport.h"
#include "common/colours.h"
#include "common/module1.h"
#include "player/tagtimer.h"
#include "tracklist/trackslot.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <array>
#include <limits>

class TestModule1 : public QObject
{
    Q_OBJECT

private slots:
    void displayTime_data();
    void displayTime();
    void hundredthsText_data();
    void hundredthsText();
    void timeTextOfText_data();
    void timeTextOfText();
    void trim_data();
    void trim();
    void slotIndex_data();
    void slotIndex();
    void colours();
    void centreOnScreen_data();
    void centreOnScreen();
    void buttonRoutines();
};

void TestModule1::displayTime_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0.0 << "00.00";
    QTest::newRow("rounds up into the next second") << 59.999 << "01.00";
    QTest::newRow("hundredths truncated") << 125.4 << "02.05";
    QTest::newRow("just under one hour") << 3599.99 << "59.59";
    QTest::newRow("100 minutes") << 6000.0 << "100.00";
    QTest::newRow("just under 10000 s") << 9999.99 << "166.39";
    QTest::newRow("10000 s, true minutes") << 10000.0 << "166.40";
    QTest::newRow("three-hour audiobook") << 10800.0 << "180.00";
    QTest::newRow("ten hours") << 36000.0 << "600.00";
    QTest::newRow("small negative") << -0.5 << "00.00";
    QTest::newRow("-10 s and below") << -10.0 << "00.00";
    QTest::newRow("large negative") << -12345.0 << "00.00";
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << "00.00";
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "00.00";
}

void TestModule1::displayTime()
{
    QFETCH(double, seconds);
    QFETCH(QString, expected);
    QCOMPARE(Module1::displayTime(seconds), expected);
    // The window writes a display again only when the shown seconds change: amounts around this
    // one with the same shown seconds must have the same text.
    const double hundredths = seconds * 100;
    for (const double delta : {-100.0, -50.6, -0.6, -0.5, -0.4, 0.4, 0.5, 0.6, 49.4, 50.6, 99.5, 100.0}) {
        const double other = hundredths + delta;
        const bool sameSeconds = Module1::shownSeconds(other) == Module1::shownSeconds(hundredths);
        const bool sameText = Module1::TimeText(Module1::hundredthsText(other))
            == Module1::TimeText(Module1::hundredthsText(hundredths));
        QVERIFY2(!sameSeconds || sameText, qPrintable(QStringLiteral("%1 against %2").arg(other).arg(hundredths)));
    }
}

void TestModule1::hundredthsText_data()
{
    QTest::addColumn<double>("hundredths");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0.0 << "000000";
    QTest::newRow("padded") << 12540.0 << "012540";
    QTest::newRow("rounded") << 5999.9 << "006000";
    QTest::newRow("half away from zero") << 0.5 << "000001";
    QTest::newRow("seven digits") << 1080000.0 << "1080000";
    QTest::newRow("negative") << -100.0 << "-000100";
    QTest::newRow("tiny negative rounds to zero") << -0.4 << "000000";
}

void TestModule1::hundredthsText()
{
    QFETCH(double, hundredths);
    QFETCH(QString, expected);
    QCOMPARE(Module1::hundredthsText(hundredths), expected);
}

void TestModule1::timeTextOfText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("six digits") << "012540"
                                << "02.05";
    QTest::newRow("minus zero") << "-000050"
                                << "00.00";
    QTest::newRow("not a number") << "abc"
                                  << "00.00";
    QTest::newRow("empty") << ""
                           << "00.00";
}

void TestModule1::timeTextOfText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(Module1::TimeText(text), expected);
}

void TestModule1::trim_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("spaces") << "  a b  "
                            << "a b";
    QTest::newRow("only spaces") << "    "
                                 << "";
    QTest::newRow("tabs are not spaces") << "\ta\t"
                                         << "\ta\t";
}

void TestModule1::trim()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(::trimSpaces(text), expected);
}

void TestModule1::slotIndex_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("expected"); // -1: none
    QTest::newRow("first") << "0" << 0;
    QTest::newRow("last") << "11" << 11;
    QTest::newRow("stopped by click") << "-1" << -1;
    QTest::newRow("past the last slot") << "12" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("junk") << "4x" << -1;
}

void TestModule1::slotIndex()
{
    QFETCH(QString, tag);
    QFETCH(int, expected);
    QCOMPARE(::slotIndex(tag).value_or(-1), expected);
}

void TestModule1::colours()
{
    QCOMPARE(Colours::colour(Colours::Red), QColor(255, 0, 0));
    QCOMPARE(Colours::colour(Colours::Blue), QColor(0, 0, 255));
    QCOMPARE(Colours::colour(Colours::Silver), QColor(192, 192, 192));
    QCOMPARE(Colours::colour(Colours::DarkBlue), QColor(0, 0, 192));
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(1, 2, 3));
    QCOMPARE(Colours::colour(Colours::ButtonFace, palette), QColor(1, 2, 3));
}

void TestModule1::centreOnScreen_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("player") << QSize(549, 362);
    QTest::newRow("odd size") << QSize(101, 77);
    QTest::newRow("larger than the screen") << QSize(5000, 4000);
}

void TestModule1::centreOnScreen()
{
    QFETCH(QSize, size);
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setFixedSize(size);
    Module1::CentreOnScreen(&window);
    const QRect screen = window.screen()->geometry();
    COMPARE_NEAR(window.x(), (screen.x() + (screen.width() - size.width()) / 2), 1);
    COMPARE_NEAR(window.y(), (screen.y() + (screen.height() - size.height()) / 2), 1);
}

void TestModule1::buttonRoutines()
{
    std::array<QPushButton *, 12> buttons{};
    std::vector<std::unique_ptr<QPushButton>> owned;
    for (auto &button : buttons) {
        owned.push_back(std::make_unique<QPushButton>());
        button = owned.back().get();
    }
    Module1::LockToTrack(buttons, 7);
    for (int n = 0; n < 12; ++n)
        QCOMPARE(buttons[n]->isEnabled(), n == 7);
    QTimer timer;
    timer.start(1000);
    Module1::StopAndReleaseButtons(timer, buttons);
    QVERIFY(!timer.isActive());
    for (auto *button : buttons)
        QVERIFY(button->isEnabled());
}

QTEST_MAIN(TestModule1)
#include "tst_module1.moc"
