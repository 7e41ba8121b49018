// Start-up to the first paint of the player window (with a full twelve-slot track list), beside
// a minimal Qt widgets window (Qt's hello-world button), each started as a fresh process many
// times in turn. A bare window without text is shown too: it skips the font set-up every
// window with a caption pays; and the player with a default show of 50 full pages, which must
// start about as quickly as with the one-page list.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

double runOnce(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    while (process.state() != QProcess::NotRunning || process.bytesAvailable() > 0) {
        if (process.canReadLine() && process.readLine().startsWith("painted"))
            break;
        process.waitForReadyRead(1000);
        if (clock.elapsed() > 20000)
            return -1;
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    process.waitForFinished(5000);
    return ms;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 21;
    const QString dir = QCoreApplication::applicationDirPath();

    QTemporaryDir folder;
    QFile list(QDir(folder.path()).filePath("Quorbel"));
    if (!list.open(QIODevice::WriteOnly))
        return 1;
    for (int n = 0; n < 12; ++n)
        list.write(QStringLiteral("\"/music/cart %1.mp3\",\"Cart %1\"\r\n").arg(n + 1).toUtf8());
    list.close();
    // The same list as page 1 of a 50-page show, every page full.
    QTemporaryDir showFolder;
    if (!QFile::copy(list.fileName(), QDir(showFolder.path()).filePath("Quorbel")))
        return 1;
    QFile show(QDir(showFolder.path()).filePath("Quorbel.kelvo"));
    if (!show.open(QIODevice::WriteOnly))
        return 1;
    show.write("{\"kelvo-show\": 1, \"pages\": [{\"name\": \"Page 1\"}");
    for (int page = 2; page <= 50; ++page) {
        show.write(QStringLiteral(", {\"name\": \"Page %1\", \"carts\": [").arg(page).toUtf8());
        for (int n = 0; n < 12; ++n)
            show.write(QStringLiteral("%1{\"file\": \"/music/page %2 cart %3.mp3\", \"caption\": \"P%2 C%3\"}")
                           .arg(n ? ", " : "")
                           .arg(page)
                           .arg(n + 1)
                           .toUtf8());
        show.write("]}");
    }
    show.write("]}\n");
    show.close();

    QList<double> kelvo;
    QList<double> minimal;
    QList<double> empty;
    QList<double> paged;
    runOnce(dir + "/bench_startup_minimal", {}); // warm the caches for all
    runOnce(dir + "/bench_startup_kelvo", {folder.path()});
    for (int i = 0; i < runs; ++i) {
        empty << runOnce(dir + "/bench_startup_minimal", {"--empty"});
        minimal << runOnce(dir + "/bench_startup_minimal", {});
        kelvo << runOnce(dir + "/bench_startup_kelvo", {folder.path()});
        paged << runOnce(dir + "/bench_startup_kelvo", {showFolder.path()});
    }
    const double k = median(kelvo);
    const double m = median(minimal);
    std::printf("\nStart-up to first paint (%d runs each, median, platform %s)\n", runs,
                qEnvironmentVariable("QT_QPA_PLATFORM", "default").toUtf8().constData());
    std::printf("| %-34s | %10s |\n", "window", "ms");
    std::printf("|%s|%s|\n", QByteArray(36, '-').constData(), QByteArray(12, '-').constData());
    std::printf("| %-34s | %10.1f |\n", "bare window, no text, no font", median(empty));
    std::printf("| %-34s | %10.1f |\n", "minimal window: Qt hello-world", m);
    std::printf("| %-34s | %10.1f |\n", "Kelvo player, 12-slot track list", k);
    std::printf("| %-34s | %9.2fx |\n", "ratio (target <= 1.30x)", m > 0 ? k / m : 0);
    std::printf("| %-34s | %10.1f |\n", "Kelvo player, 50-page show", median(paged));
    std::printf("| %-34s | %9.2fx |\n", "50 pages : 1 page (target <=1.2x)", k > 0 ? median(paged) / k : 0);
    std::printf("(first runs: 1 page %.1f ms, 50 pages %.1f ms; last: %.1f, %.1f)\n", kelvo.value(0), paged.value(0),
                kelvo.value(kelvo.size() - 1), paged.value(paged.size() - 1));
    return 0;
}
