#include "asrun/asrunlog.h"

#include "asrun/csvline.h"
#include "common/diagnostics.h"
#include "common/settings.h"
#include "player/commandsurface.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStandardPaths>

namespace {

const QStringList kHeader = {QStringLiteral("time"), QStringLiteral("event"),   QStringLiteral("show"),
                             QStringLiteral("page"), QStringLiteral("slot"),    QStringLiteral("caption"),
                             QStringLiteral("file"), QStringLiteral("seconds"), QStringLiteral("ended")};

bool enabled()
{
    const Settings settings;
    return settings.file()
        && settings.file()->value(QStringLiteral("asrun/enabled")).toString().toLower() == QLatin1String("true");
}

} // namespace

AsRunLog::AsRunLog(CommandSurface &commands, QMenu *menu, QObject *parent)
    : QObject(parent),
      m_commands(commands)
{
    if (menu) {
        m_action = menu->addAction(tr("Keep an as-run log"));
        m_action->setObjectName(QStringLiteral("AsRunLog"));
        m_action->setCheckable(true);
        m_action->setChecked(enabled());
        m_action->setToolTip(folder());
        connect(m_action, &QAction::triggered, this, [](bool on) {
            Settings settings;
            if (QSettings *file = settings.file())
                file->setValue(QStringLiteral("asrun/enabled"), on ? QStringLiteral("true") : QStringLiteral("false"));
        });
        connect(menu, &QMenu::aboutToShow, this, [this] { m_action->setChecked(enabled()); });
    }
    connect(&m_commands, &CommandSurface::changed, this, [this](CommandSurface::Change what) { changed(int(what)); });
    m_writer = std::thread([this] { run(); });
}

AsRunLog::~AsRunLog()
{
    for (const quint64 id : m_onAir.keys())
        endRecord(id, QStringLiteral("exit"));
    flush(2000);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    m_writer.join();
}

QString AsRunLog::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/kelvo/as-run");
}

void AsRunLog::changed(int what)
{
    using Change = CommandSurface::Change;
    const Change change = Change(what);
    if (change != Change::Started && change != Change::Stopped && change != Change::Ended
        && change != Change::FadeBegun)
        return;
    const SurfaceState state = m_commands.state();
    // What is on air now, each cart by its id; a surface that lists none tells of one cart at most.
    QList<PlayingCart> now = state.playingCarts;
    const bool listed = !now.isEmpty();
    if (!listed && (state.playing || state.slot > 0) && change == Change::Started) {
        // The playing cart's own caption: the page shown may be another.
        const QString caption = !state.playingCaption.isEmpty() || state.slot < 1
            ? state.playingCaption
            : state.carts[size_t(state.slot - 1)].caption;
        now.append({0, state.playingPage, state.slot, state.remaining, state.total, caption, state.playingFile,
                    state.fading, QString()});
    }
    if (change == Change::FadeBegun) {
        for (auto it = m_onAir.begin(); it != m_onAir.end(); ++it) {
            const bool fading = !listed || std::any_of(now.cbegin(), now.cend(), [&it](const PlayingCart &cart) {
                return cart.id == it.key() && cart.fading;
            });
            it->fading = it->fading || fading;
        }
        return;
    }
    // Gone since the last change: ended, faded or stopped. A start with none listed replaces the
    // one before (one cart at a time); otherwise every cart not listed now is gone.
    const QList<quint64> logged = m_onAir.keys();
    for (const quint64 id : logged) {
        const bool there = listed
            && std::any_of(now.cbegin(), now.cend(), [id](const PlayingCart &cart) { return cart.id == id; });
        if (there)
            continue;
        if (!listed && change == Change::Started)
            endRecord(id, QStringLiteral("stop"));
        else if (change != Change::Started)
            endRecord(id,
                      m_onAir.value(id).fading      ? QStringLiteral("fade")
                          : change == Change::Ended ? QStringLiteral("end")
                                                    : QStringLiteral("stop"));
        else
            endRecord(id, QStringLiteral("stop"));
    }
    if (change != Change::Started || !enabled())
        return;
    for (const PlayingCart &playing : std::as_const(now)) {
        if (m_onAir.contains(playing.id))
            continue;
        OnAir cart;
        cart.show = state.showName;
        cart.page = playing.page;
        cart.slot = playing.slot;
        // As the wall shows it: a caption cut at its classic length may end in a space.
        cart.caption = playing.caption.trimmed();
        cart.file = playing.file;
        cart.firedBy = playing.firedBy;
        cart.total = playing.total;
        cart.clock.start();
        m_onAir.insert(playing.id, cart);
        startRecord(cart);
    }
}

void AsRunLog::startRecord(const OnAir &cart)
{
    // A start's last field says what fired it in a running order: "go" or "follow".
    queue(QDateTime::currentDateTime(),
          {QStringLiteral("start"), cart.show, QString::number(cart.page), QString::number(cart.slot), cart.caption,
           cart.file, QString(), cart.firedBy});
}

void AsRunLog::endRecord(quint64 id, const QString &how)
{
    const OnAir cart = m_onAir.take(id);
    // Played to its end: its whole length, exactly; otherwise as long as it was on air.
    const double seconds = how == QLatin1String("end")
        ? cart.total
        : std::min(double(cart.clock.elapsed()) / 1000.0, cart.total > 0 ? cart.total : 1e9);
    queue(QDateTime::currentDateTime(),
          {QStringLiteral("end"), cart.show, QString::number(cart.page), QString::number(cart.slot), cart.caption,
           cart.file, QString::number(seconds, 'f', 2), how});
}

void AsRunLog::queue(const QDateTime &at, const QStringList &fields)
{
    const QString time = at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODateWithMs);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (int(m_queue.size()) >= kMostQueued) {
            Diagnostics::report(QStringLiteral("asrun-queue"), QString(),
                                QStringLiteral("the as-run log cannot keep up; a record was dropped"));
            return;
        }
        m_queue.push_back({at, csvLine(QStringList{time} + fields)});
    }
    m_wake.notify_all();
}

bool AsRunLog::flush(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return m_queue.empty() && m_writing == 0; });
}

void AsRunLog::run()
{
    for (;;) {
        Record record;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            record = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_writing;
        }
        const QString dir = folder();
        QDir().mkpath(dir);
        QFile file(QDir(dir).filePath(record.at.date().toString(Qt::ISODate) + QStringLiteral(".csv")));
        bool written = false;
        // Only a regular file: a FIFO there would hold the writer for good.
        const QFileInfo info(file.fileName());
        // Unbuffered: each record goes to the file in one append; one cut short (a full disk) is
        // taken back, so a record is there whole or not at all.
        if ((!info.exists() || info.isFile())
            && file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            const qint64 before = file.size();
            const QByteArray bytes = (before == 0 ? csvLine(kHeader) : QByteArray()) + record.line;
            written = file.write(bytes) == bytes.size();
            if (!written)
                file.resize(before);
        }
        if (!written)
            Diagnostics::report(
                QStringLiteral("asrun-write"), QString(),
                QStringLiteral("the as-run log %1 cannot be written: %2").arg(file.fileName(), file.errorString()));
        {
            std::lock_guard<std::mutex> lock(m_lock);
            --m_writing;
        }
        m_wake.notify_all();
    }
}
