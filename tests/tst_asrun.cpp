#include "asrun/asrunlog.h"
#include "asrun/csvline.h"
#include "common/settings.h"
#include "recordingsurface.h"
#include "testsupport.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

namespace {

// The records as Python's csv module reads them, a line of fields joined by '|' each.
QStringList readByPython(const QString &path)
{
    QProcess python;
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import csv,sys\nfor row in csv.reader(open(sys.argv[1], newline='', encoding='utf-8')):"
                        "\n    print('|'.join(row).replace('\\n', '\\\\n'))"),
         path});
    python.waitForFinished(10000);
    return QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString todaysLog()
{
    return QDir(AsRunLog::folder()).filePath(QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(".csv"));
}

void keepLog(bool on)
{
    Settings settings;
    settings.file()->setValue(QStringLiteral("asrun/enabled"), on ? QStringLiteral("true") : QStringLiteral("false"));
    settings.file()->sync();
}

} // namespace

class TestAsRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void csvFields_data();
    void csvFields();
    void recordsOfWhatPlayed_data();
    void recordsOfWhatPlayed();
    void cartsPlayingTogether();
    void aFullDiskHoldsNothingUp();
    void menuItemKeepsTheSetting();

private:
    QTemporaryDir m_home;
};

void TestAsRun::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toUtf8());
}

void TestAsRun::init()
{
    QDir(AsRunLog::folder()).removeRecursively();
    keepLog(true);
}

void TestAsRun::csvFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("read"); // what a reader gets back; empty: the field itself
    QTest::newRow("plain") << "Overture"
                           << "";
    QTest::newRow("a comma") << "Act 1, scene 2"
                             << "";
    QTest::newRow("double quotes") << "The \"big\" one"
                                   << "";
    QTest::newRow("a line break") << "two\nlines"
                                  << "";
    QTest::newRow("leading spaces") << "  padded  "
                                    << "";
    QTest::newRow("not ASCII") << "Café — Tüte"
                               << "";
    // What a spreadsheet would run as a formula is kept text by a leading apostrophe.
    QTest::newRow("a formula") << "=HYPERLINK(\"http://x\",\"y\")"
                               << "'=HYPERLINK(\"http://x\",\"y\")";
    QTest::newRow("a plus") << "+1+2"
                            << "'+1+2";
    QTest::newRow("a minus") << "-2+3"
                             << "'-2+3";
    QTest::newRow("an at") << "@SUM(A1)"
                           << "'@SUM(A1)";
    QTest::newRow("a carriage return first") << "\rcmd"
                                             << "'\rcmd";
    QTest::newRow("a tab first (dropped as a control)") << "\t=1"
                                                        << "'=1";
    QTest::newRow("a formula sign inside") << "A=B"
                                           << "";
}

void TestAsRun::csvFields()
{
    // Whatever a caption or a path holds, Python's csv module reads back the same fields.
    QFETCH(QString, field);
    QFETCH(QString, read);
    const QString path = m_home.filePath(QStringLiteral("one.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(csvLine({QStringLiteral("a"), field, QStringLiteral("z")}));
    file.close();
    QString expected = read.isEmpty() ? field : read;
    QCOMPARE(readByPython(path),
             QStringList{QStringLiteral("a|") + expected.replace(QLatin1Char('\n'), QStringLiteral("\\n"))
                         + QStringLiteral("|z")});
}

void TestAsRun::recordsOfWhatPlayed_data()
{
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<QStringList>("ended"); // how each cart ended, as its end record says
    QTest::newRow("a stop") << QStringList{"Started", "Stopped"} << QStringList{"stop"};
    QTest::newRow("a fade") << QStringList{"Started", "FadeBegun", "Stopped"} << QStringList{"fade"};
    QTest::newRow("an end") << QStringList{"Started", "Ended"} << QStringList{"end"};
    QTest::newRow("on air at exit") << QStringList{"Started"} << QStringList{"exit"};
    QTest::newRow("four carts") << QStringList{"Started", "Stopped", "Started", "FadeBegun",
                                               "Stopped", "Started", "Ended",   "Started"}
                                << QStringList{"stop", "fade", "end", "exit"};
    QTest::newRow("off: nothing") << QStringList{"Started", "Ended"} << QStringList{};
}

void TestAsRun::recordsOfWhatPlayed()
{
    QFETCH(QStringList, changes);
    QFETCH(QStringList, ended);
    keepLog(!ended.isEmpty());
    RecordingSurface surface;
    // Cut at the classic editor's 20 characters, a caption may end in a space: the log has none.
    surface.now.carts[0].caption = QStringLiteral("Overture, \"live\"  ");
    surface.now.showName = QStringLiteral("Matinee");
    surface.now.playingFile = QStringLiteral("/music/overture.flac");
    surface.now.total = 61.5;
    {
        AsRunLog log(surface, nullptr);
        for (const QString &change : changes) {
            if (change == QLatin1String("Started")) {
                surface.now.slot = 1;
                surface.now.playingPage = 1;
                surface.tell(CommandSurface::Change::Started);
                // The start is on disk at once: a kill now leaves it there.
                QVERIFY(log.flush(2000));
                if (!ended.isEmpty())
                    QVERIFY(readByPython(todaysLog()).constLast().contains(QLatin1String("|start|")));
            } else if (change == QLatin1String("FadeBegun")) {
                surface.tell(CommandSurface::Change::FadeBegun);
            } else {
                surface.now.slot = 0;
                surface.tell(change == QLatin1String("Ended") ? CommandSurface::Change::Ended
                                                              : CommandSurface::Change::Stopped);
            }
        }
    }
    if (ended.isEmpty()) {
        QVERIFY(!QFile::exists(todaysLog()));
        return;
    }
    const QStringList rows = readByPython(todaysLog());
    QCOMPARE(rows.size(), 1 + 2 * ended.size()); // the header, a start and an end a cart
    QCOMPARE(rows[0], QStringLiteral("time|event|show|page|slot|caption|file|seconds|ended"));
    for (int i = 0; i < ended.size(); ++i) {
        const QStringList start = rows[1 + 2 * i].split(QLatin1Char('|'));
        const QStringList end = rows[2 + 2 * i].split(QLatin1Char('|'));
        QCOMPARE(start.mid(1, 6),
                 (QStringList{"start", "Matinee", "1", "1", "Overture, \"live\"", "/music/overture.flac"}));
        QCOMPARE(end.mid(1, 6), start.mid(1, 6).replaceInStrings(QStringLiteral("start"), QStringLiteral("end")));
        QCOMPARE(end.value(8), ended[i]);
        // The local time with its offset from UTC.
        const QDateTime at = QDateTime::fromString(start[0], Qt::ISODateWithMs);
        QVERIFY2(at.isValid()
                     && (start[0].contains(QLatin1Char('+')) || start[0].contains(QLatin1Char('-'))
                         || start[0].endsWith(QLatin1Char('Z'))),
                 qPrintable(start[0]));
        if (ended[i] == QLatin1String("end"))
            QCOMPARE(end.value(7), QStringLiteral("61.50"));
        else
            QVERIFY(end.value(7).toDouble() < 5);
    }
}

void TestAsRun::cartsPlayingTogether()
{
    // A bed, then a voice over it, the bed stopped, the voice to its end: each cart its own
    // start and end, with its own times.
    keepLog(true);
    RecordingSurface surface;
    surface.now.showName = QStringLiteral("Drive");
    const PlayingCart bed{7, 2, 1, 30, 30, QStringLiteral("Bed"), QStringLiteral("/m/bed.flac"), false, QString()};
    const PlayingCart voice{
        8, 2, 2, 4.25, 4.25, QStringLiteral("Voice"), QStringLiteral("/m/voice.wav"), false, QStringLiteral("go")};
    {
        AsRunLog log(surface, nullptr);
        surface.now.playing = true;
        surface.now.playingCarts = {bed};
        surface.tell(CommandSurface::Change::Started);
        surface.now.playingCarts = {bed, voice};
        surface.tell(CommandSurface::Change::Started);
        surface.now.playingCarts = {voice};
        surface.tell(CommandSurface::Change::Stopped);
        surface.now.playingCarts = {};
        surface.now.playing = false;
        surface.tell(CommandSurface::Change::Ended);
        QVERIFY(log.flush(2000));
    }
    const QStringList rows = readByPython(todaysLog());
    QCOMPARE(rows.size(), 5);
    const auto fields = [&](int row) { return rows[row].split(QLatin1Char('|')).mid(1); };
    QCOMPARE(fields(1).mid(0, 6), (QStringList{"start", "Drive", "2", "1", "Bed", "/m/bed.flac"}));
    QCOMPARE(fields(2).mid(0, 6), (QStringList{"start", "Drive", "2", "2", "Voice", "/m/voice.wav"}));
    QCOMPARE(fields(2).value(7), QStringLiteral("go")); // fired by GO in a running order
    QCOMPARE(fields(1).value(7), QString());
    QCOMPARE(fields(3).mid(0, 5), (QStringList{"end", "Drive", "2", "1", "Bed"}));
    QCOMPARE(fields(3).value(7), QStringLiteral("stop"));
    QCOMPARE(fields(4).mid(0, 5), (QStringList{"end", "Drive", "2", "2", "Voice"}));
    QCOMPARE(fields(4).value(6), QStringLiteral("4.25"));
    QCOMPARE(fields(4).value(7), QStringLiteral("end"));
}

void TestAsRun::aFullDiskHoldsNothingUp()
{
    // The disk fills after the first records (a file size limit stands in for it): what does
    // not fit is dropped whole, and nothing waits for it.
    RecordingSurface surface;
    AsRunLog log(surface, nullptr);
    surface.now.slot = 1;
    surface.tell(CommandSurface::Change::Started);
    QVERIFY(log.flush(2000));
    const qint64 room = QFileInfo(todaysLog()).size() + 40; // less than a record
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit full{rlim_t(room), before.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &full), 0);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 50; ++i) {
        surface.now.slot = 0;
        surface.tell(CommandSurface::Change::Stopped);
        surface.now.slot = 1;
        surface.tell(CommandSurface::Change::Started);
    }
    const qint64 elapsed = clock.elapsed();
    const bool flushed = log.flush(5000);
    setrlimit(RLIMIT_FSIZE, &before);
    QVERIFY2(elapsed < 500, qPrintable(QString::number(elapsed)));
    QVERIFY(flushed);
    // Whole records only: the header and the first start, and nothing torn after them.
    const QStringList rows = readByPython(todaysLog());
    QCOMPARE(rows.size(), 2);
    QVERIFY(readBytes(todaysLog()).endsWith("\r\n"));
}

void TestAsRun::menuItemKeepsTheSetting()
{
    keepLog(false);
    RecordingSurface surface;
    QMenu menu;
    AsRunLog log(surface, &menu);
    QAction *item = menu.findChild<QAction *>(QStringLiteral("AsRunLog"));
    QVERIFY(item && !item->isChecked());
    item->trigger();
    QVERIFY(Settings().file()->value(QStringLiteral("asrun/enabled")).toString() == QLatin1String("true"));
}

QTEST_MAIN(TestAsRun)
#include "tst_asrun.moc"
