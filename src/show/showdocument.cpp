#include "show/showdocument.h"

#include "common/atomicwrite.h"
#include "tracklist/trackliststore.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QThread>

#include <memory>

namespace {

struct FileRead
{
    bool ok = false;
    QByteArray bytes;
    QString why;
};

// A show file's bytes: a regular file only (a FIFO would block), and no more than a show can be.
FileRead readShowFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {false, {}, QObject::tr("%1 does not exist").arg(QDir::toNativeSeparators(path))};
    if (!info.isFile())
        return {false, {}, QObject::tr("%1 is not a file").arg(QDir::toNativeSeparators(path))};
    if (info.size() > ShowFormat::kMaxBytes)
        return {false, {}, QObject::tr("%1 is larger than a show can be").arg(QDir::toNativeSeparators(path))};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.isSequential())
        return {false, {}, QObject::tr("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString())};
    FileRead read{true, file.read(ShowFormat::kMaxBytes + 1), {}};
    if (read.bytes.size() > ShowFormat::kMaxBytes)
        return {false, {}, QObject::tr("%1 is larger than a show can be").arg(QDir::toNativeSeparators(path))};
    return read;
}

TrackList tracksOf(const ShowPage &page)
{
    TrackList tracks;
    for (int n = 0; n < SlotCount; ++n)
        tracks[size_t(n)] = {page.carts[size_t(n)].file, page.carts[size_t(n)].caption};
    return tracks;
}

QString skippedText(const QStringList &skipped)
{
    if (skipped.isEmpty())
        return {};
    constexpr qsizetype kShown = 8; // a message box, not a log
    QStringList lines = skipped.mid(0, kShown);
    if (skipped.size() > kShown)
        lines << QObject::tr("and %1 more").arg(skipped.size() - kShown);
    return QObject::tr("Left out:\n%1").arg(lines.join(QLatin1Char('\n')));
}

} // namespace

ShowDocument::ShowDocument(TrackListStore &trackList, QObject *parent)
    : TrackStore(parent),
      m_trackList(trackList),
      m_watcher(new QFileSystemWatcher(this))
{
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &ShowDocument::checkSaved);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &ShowDocument::checkSaved);
    // An edit of page 1 reaches whoever shows it as any page's save does.
    connect(&m_trackList, &TrackListStore::saved, this, [this](const TrackList &tracks) {
        if (isDefault() && m_shown == 0)
            emit saved(tracks);
    });
    m_show.pages.append(ShowPage{ShowFormat::defaultPageName(0), {}, {}});
    m_pageIds.append(newPageId());
}

QString ShowDocument::filePath() const
{
    if (!isDefault())
        return m_path;
    return QFileInfo(m_trackList.location().savePath).dir().filePath(defaultShowFileName());
}

void ShowDocument::remember(const QString &path)
{
    const QFileInfo info(path);
    m_readModified = info.exists() ? info.lastModified() : QDateTime();
    m_readSize = info.exists() ? info.size() : -1;
    watch();
}

bool ShowDocument::changedSinceRead(const QString &path) const
{
    const QFileInfo now(path);
    return now.exists() != m_readModified.isValid()
        || (now.exists() && (now.lastModified() != m_readModified || now.size() != m_readSize));
}

void ShowDocument::watch()
{
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.isEmpty())
        m_watcher->removePaths(watched);
    // The default show is the track list and its pages, written at once and shown as they
    // always were; a read-only show says so already.
    if (!isDefault() && !m_readOnly) {
        const QFileInfo file(m_path);
        m_watcher->addPath(file.absolutePath());
        if (file.exists())
            m_watcher->addPath(file.absoluteFilePath());
    }
    checkSaved();
}

void ShowDocument::checkSaved()
{
    if (!isDefault() && !m_readOnly && QFileInfo::exists(m_path) && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path); // an atomic replace drops the watch on the file it replaced
    const bool saved = isDefault() || m_readOnly || !changedSinceRead(m_path);
    if (saved == m_saved)
        return;
    m_saved = saved;
    emit savedChanged(saved);
}

std::optional<Show> ShowDocument::read(const QString &path, bool *readOnly, QStringList *notes)
{
    const FileRead file = readShowFile(path);
    if (!file.ok) {
        *notes << file.why;
        return std::nullopt;
    }
    const ShowReading reading = ShowFormat::parse(file.bytes, QFileInfo(path).absolutePath());
    if (!reading.isShow) {
        *notes << tr("%1 is not a show file.").arg(QDir::toNativeSeparators(path));
        return std::nullopt;
    }
    *readOnly = reading.isNewer;
    if (reading.isNewer)
        *notes << tr("%1 was written by a newer version of Kelvo: it is shown, but nothing is saved over it.")
                      .arg(QDir::toNativeSeparators(path));
    if (!reading.skipped.isEmpty())
        *notes << skippedText(reading.skipped);
    return reading.show;
}

void ShowDocument::become(const QString &path, const Show &show, bool readOnly)
{
    m_path = path;
    m_show = show;
    m_readOnly = readOnly;
    m_pageIds.clear();
    for (qsizetype n = 0; n < m_show.pages.size(); ++n)
        m_pageIds.append(newPageId());
    remember(filePath());
    m_shown = 0;
    emit pagesChanged();
    emit shownPageChanged(0);
}

void ShowDocument::openDefault(QString *message)
{
    m_path.clear();
    const QString path = filePath();
    Show show;
    show.pages.append(ShowPage{ShowFormat::defaultPageName(0), {}, {}});
    bool readOnly = false;
    QStringList notes;
    if (QFileInfo::exists(path)) {
        if (std::optional<Show> read = ShowDocument::read(path, &readOnly, &notes))
            show = *read;
        else
            readOnly = true; // the track list still plays as page 1; what is no show is never saved over
    }
    become(QString(), show, readOnly);
    *message = notes.join(QStringLiteral("\n\n"));
}

bool ShowDocument::open(const QString &path, QString *message)
{
    if (m_collecting) {
        *message = tr("The show's files are being copied; open the show once that is done.");
        return false;
    }
    bool readOnly = false;
    QStringList notes;
    const std::optional<Show> show = read(path, &readOnly, &notes);
    *message = notes.join(QStringLiteral("\n\n"));
    if (!show)
        return false;
    become(QFileInfo(path).absoluteFilePath(), *show, readOnly);
    return true;
}

QString ShowDocument::pageName(int page) const
{
    return page >= 0 && page < pageCount() ? m_show.pages[page].name : QString();
}

TrackList ShowDocument::tracks(int page) const
{
    if (page < 0 || page >= pageCount())
        return {};
    if (page == 0 && storesFirstPageInTrackList()) {
        TrackList tracks{};
        const QList<TrackSlot> records = m_trackList.load();
        for (int n = 0; n < records.size() && n < SlotCount; ++n)
            tracks[size_t(n)] = records[n];
        return tracks;
    }
    return tracksOf(m_show.pages[page]);
}

void ShowDocument::showPage(int page)
{
    if (page < 0 || page >= pageCount() || page == m_shown)
        return;
    m_shown = page;
    emit shownPageChanged(page);
}

QList<TrackSlot> ShowDocument::load() const
{
    if (m_shown == 0 && storesFirstPageInTrackList())
        return m_trackList.load(); // read afresh: another program may have edited it
    const TrackList page = tracks(m_shown);
    return QList<TrackSlot>(page.begin(), page.end());
}

bool ShowDocument::save(const TrackList &tracks, QString *errorMessage)
{
    if (m_shown == 0 && storesFirstPageInTrackList())
        return m_trackList.save(tracks, errorMessage); // its saved() is passed on
    Show show = m_show;
    for (int n = 0; n < SlotCount; ++n) {
        ShowCart &cart = show.pages[m_shown].carts[size_t(n)];
        cart.file = tracks[size_t(n)].fullPath;
        cart.caption = tracks[size_t(n)].shortName;
    }
    if (!write(show, errorMessage))
        return false;
    emit saved(tracks);
    return true;
}

bool ShowDocument::write(const Show &show, QString *errorMessage)
{
    const QString path = filePath();
    if (m_readOnly) {
        *errorMessage = tr("%1 was written by a newer version of Kelvo, or is not a show file this version can "
                           "read; it is not saved over.")
                            .arg(QDir::toNativeSeparators(path));
        return false;
    }
    const QFileInfo now(path);
    if (changedSinceRead(path) && !(m_askOverwrite && m_askOverwrite(path))) {
        *errorMessage = tr("%1 was changed by another program since Kelvo read it; it was not saved over.")
                            .arg(QDir::toNativeSeparators(path));
        return false;
    }
    const QString folder = now.absolutePath();
    if (!QDir().mkpath(folder)) {
        *errorMessage = tr("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    if (!writeFileWhole(path, ShowFormat::serialize(show, folder, storesFirstPageInTrackList()), errorMessage))
        return false;
    m_show = show;
    remember(path);
    return true;
}

CartSettings ShowDocument::cartSettings(int page, int slot) const
{
    if (page < 0 || page >= pageCount() || slot < 0 || slot >= SlotCount)
        return {};
    return m_show.pages[page].carts[size_t(slot)].settings;
}

bool ShowDocument::setCartSettings(int page, int slot, const CartSettings &settings, QString *errorMessage)
{
    if (page < 0 || page >= pageCount() || slot < 0 || slot >= SlotCount) {
        *errorMessage = tr("There is no such cart.");
        return false;
    }
    Show show = m_show;
    show.pages[page].carts[size_t(slot)].settings = CartSettingsFormat::clamped(settings);
    if (!write(show, errorMessage))
        return false;
    emit cartSettingsChanged(page, slot);
    return true;
}

bool ShowDocument::addPage(QString *errorMessage)
{
    if (pageCount() >= ShowFormat::kMaxPages) {
        *errorMessage = tr("A show has at most %1 pages.").arg(ShowFormat::kMaxPages);
        return false;
    }
    Show show = m_show;
    show.pages.append(ShowPage{ShowFormat::defaultPageName(pageCount()), {}, {}});
    if (!write(show, errorMessage))
        return false;
    m_pageIds.append(newPageId());
    emit pagesChanged();
    return true;
}

bool ShowDocument::renamePage(int page, const QString &name, QString *errorMessage)
{
    if (page < 0 || page >= pageCount())
        return false;
    Show show = m_show;
    QString cleaned = name.simplified().left(ShowFormat::kMaxNameChars);
    show.pages[page].name = cleaned.isEmpty() ? ShowFormat::defaultPageName(page) : cleaned;
    if (!write(show, errorMessage))
        return false;
    emit pagesChanged();
    return true;
}

PageMode ShowDocument::pageMode(int page) const
{
    return canChangeMode(page) ? m_show.pages[page].mode : PageMode::One;
}

bool ShowDocument::setPageMode(int page, PageMode mode, QString *errorMessage)
{
    return changePage(
        page, [mode](ShowPage &changed) { changed.mode = mode; }, errorMessage);
}

bool ShowDocument::changePage(int page, const std::function<void(ShowPage &)> &change, QString *errorMessage)
{
    if (!canChangeMode(page))
        return false;
    Show show = m_show;
    change(show.pages[page]);
    if (!write(show, errorMessage))
        return false;
    emit pagesChanged();
    return true;
}

bool ShowDocument::setRunningOrder(int page, bool on, QString *errorMessage)
{
    return changePage(
        page, [on](ShowPage &changed) { changed.runningOrder = on; }, errorMessage);
}

bool ShowDocument::canMove(int page, int by) const
{
    const int to = page + by;
    const int first = storesFirstPageInTrackList() ? 1 : 0;
    return page >= first && to >= first && to < pageCount() && by != 0;
}

bool ShowDocument::canDelete(int page) const
{
    return pageCount() > 1 && page >= 0 && page < pageCount() && !(page == 0 && storesFirstPageInTrackList());
}

bool ShowDocument::movePage(int page, int by, QString *errorMessage)
{
    if (!canMove(page, by))
        return false;
    Show show = m_show;
    show.pages.move(page, page + by);
    if (!write(show, errorMessage))
        return false;
    m_pageIds.move(page, page + by);
    // The page shown stays the same page wherever it moved.
    if (m_shown == page)
        m_shown = page + by;
    else if (m_shown == page + by)
        m_shown = page;
    emit pagesChanged();
    emit shownPageChanged(m_shown);
    return true;
}

bool ShowDocument::deletePage(int page, QString *errorMessage)
{
    if (!canDelete(page))
        return false;
    Show show = m_show;
    show.pages.removeAt(page);
    if (!write(show, errorMessage))
        return false;
    m_pageIds.removeAt(page);
    const bool shownGone = m_shown == page;
    if (m_shown >= page && m_shown > 0)
        --m_shown;
    emit pagesChanged();
    if (shownGone || m_shown != page)
        emit shownPageChanged(m_shown);
    return true;
}

bool ShowDocument::collectFiles(Show &show, const QString &folder, QString *errorMessage,
                                const std::function<void(int, int)> &copied, QStringList *notCopied)
{
    const QString inside = QDir::cleanPath(folder) + QLatin1Char('/');
    QList<ShowCart *> outside;
    for (ShowPage &page : show.pages) {
        for (ShowCart &cart : page.carts) {
            if (cart.file.isEmpty() || QDir::cleanPath(cart.file).startsWith(inside))
                continue;
            if (QFileInfo(cart.file).isFile())
                outside << &cart;
            else if (!notCopied->contains(cart.file))
                notCopied->append(cart.file); // missing here: the show names it, the folder lacks it
        }
    }
    const QDir audio(QDir(folder).filePath(QStringLiteral("audio")));
    if (!outside.isEmpty() && !QDir().mkpath(audio.path())) {
        *errorMessage = tr("Cannot create the folder %1").arg(QDir::toNativeSeparators(audio.path()));
        return false;
    }
    // One copy of a file however many carts play it.
    QHash<QString, QString> copies;
    for (qsizetype i = 0; i < outside.size(); ++i) {
        ShowCart &cart = *outside[i];
        const QString source = QFileInfo(cart.file).canonicalFilePath();
        if (!copies.contains(source)) {
            const QFileInfo info(source);
            QString target = audio.filePath(info.fileName());
            for (int n = 2; QFileInfo::exists(target); ++n)
                target = audio.filePath(
                    QStringLiteral("%1 (%2).%3").arg(info.completeBaseName()).arg(n).arg(info.suffix()));
            // One that cannot be copied (unreadable, a full disk) keeps its place and is named
            // when the save is done; the others still travel.
            if (!QFile::copy(source, target)) {
                QFile::remove(target);
                if (!notCopied->contains(cart.file))
                    notCopied->append(cart.file);
                target = cart.file;
            }
            copies.insert(source, target);
        }
        cart.file = copies.value(source);
        if (copied)
            copied(int(i + 1), int(outside.size()));
    }
    return true;
}

bool ShowDocument::collectInBackground(Show &show, const QString &folder, QString *errorMessage,
                                       const std::function<void(int, int)> &copied, QStringList *notCopied)
{
    // Copying gigabytes takes as long as the disk needs: a thread of its own does it, while the
    // window goes on ticking, blinking and taking commands. The progress comes back queued.
    bool done = false;
    QString why;
    const auto report = [this, copied](int count, int total) {
        if (copied)
            QMetaObject::invokeMethod(
                this, [copied, count, total] { copied(count, total); }, Qt::QueuedConnection);
    };
    std::unique_ptr<QThread> worker(
        QThread::create([&] { done = collectFiles(show, folder, &why, report, notCopied); }));
    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    m_collecting = true;
    worker->start();
    loop.exec();
    worker->wait();
    m_collecting = false;
    // The last reports, before the caller's progress goes away.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (!done)
        *errorMessage = why;
    return done;
}

bool ShowDocument::create(const QString &path, QString *errorMessage)
{
    Show show;
    show.pages.append(ShowPage{ShowFormat::defaultPageName(0), {}, {}});
    return writeFileWhole(path, ShowFormat::serialize(show, QFileInfo(path).absolutePath()), errorMessage);
}

bool ShowDocument::saveAs(const QString &path, QString *errorMessage, bool collect,
                          const std::function<void(int, int)> &copied, QStringList *notCopied)
{
    QStringList uncopied;
    if (!notCopied)
        notCopied = &uncopied;
    notCopied->clear();
    Show show = m_show;
    if (storesFirstPageInTrackList()) {
        const TrackList first = tracks(0);
        for (int n = 0; n < SlotCount; ++n) {
            show.pages[0].carts[size_t(n)].file = first[size_t(n)].fullPath;
            show.pages[0].carts[size_t(n)].caption = first[size_t(n)].shortName;
        }
    }
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (collect && !collectInBackground(show, QFileInfo(absolute).absolutePath(), errorMessage, copied, notCopied))
        return false;
    if (!writeFileWhole(absolute, ShowFormat::serialize(show, QFileInfo(absolute).absolutePath()), errorMessage))
        return false;
    m_path = absolute;
    m_show = show;
    m_readOnly = false;
    remember(m_path);
    emit pagesChanged();
    return true;
}
