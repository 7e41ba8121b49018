#pragma once

#include "show/showformat.h"
#include "tracklist/trackstore.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QFileSystemWatcher;
class TrackListStore;

// The show the window plays: pages of twelve carts, one of them shown. As a TrackStore it is the
// page shown, so the editor and a drop of files edit that page.
//
// The default show is the track-list file as page 1, and its further pages in the show file
// "Quorbel.kelvo" beside the track list. With one page nothing but the track-list file is read
// or written: the show file appears once there is a second page. Any other show is one .kelvo
// file holding every page.
class ShowDocument : public TrackStore
{
    Q_OBJECT

public:
    // The default show of trackList, one blank page until openDefault() or open() reads a show.
    explicit ShowDocument(TrackListStore &trackList, QObject *parent = nullptr);

    // The default show's file name, beside the track list.
    static QString defaultShowFileName() { return QStringLiteral("Quorbel.kelvo"); }

    // Switches to the default show, or to the show file at path, and shows page 1; message says
    // what the reader left out, or that the file is a newer version's (empty when all is well).
    // A show file that cannot be read leaves the show as it was and open() returns false, with
    // why in message; for the default show the track list then plays alone, read-only.
    void openDefault(QString *message);
    bool open(const QString &path, QString *message);

    bool isDefault() const { return m_path.isEmpty(); }
    // The show file: the default show's (which may not exist yet) or the one opened.
    QString filePath() const;
    // Written by a newer version: nothing is saved over it.
    bool isReadOnly() const { return m_readOnly; }

    int pageCount() const { return int(m_show.pages.size()); }
    QString pageName(int page) const;
    TrackList tracks(int page) const;

    // A page's identity while the program runs: it follows the page through moves and deletes of
    // others, and no page of another show (nor one added later) ever has it. 0: no such page.
    quint64 pageId(int page) const { return page >= 0 && page < m_pageIds.size() ? m_pageIds[page] : 0; }
    // Where the page of id stands now; nothing when it was deleted or another show was opened.
    std::optional<int> pageOf(quint64 id) const
    {
        const qsizetype at = id == 0 ? -1 : m_pageIds.indexOf(id);
        return at < 0 ? std::nullopt : std::optional<int>(int(at));
    }

    int shownPage() const { return m_shown; }
    // Shows page (0-based; out of range: nothing). Emits shownPageChanged.
    void showPage(int page);

    // The page shown (see TrackStore).
    QList<TrackSlot> load() const override;
    bool save(const TrackList &tracks, QString *errorMessage) override;

    // Page edits, saved at once; on failure nothing changes and errorMessage says why. Page 1 of
    // the default show cannot be moved or deleted, the last page cannot be deleted, and there
    // are at most ShowFormat::kMaxPages.
    bool addPage(QString *errorMessage);
    bool renamePage(int page, const QString &name, QString *errorMessage);
    bool movePage(int page, int by, QString *errorMessage);
    bool deletePage(int page, QString *errorMessage);
    // How a page's carts play with one another; the default show's first page (the track list)
    // is always one at a time.
    PageMode pageMode(int page) const;
    bool canChangeMode(int page) const { return page >= 0 && page < pageCount() && !(page == 0 && isDefault()); }
    bool setPageMode(int page, PageMode mode, QString *errorMessage);
    // Whether a page is a running order (its carts cues fired in order by GO); the track list's
    // page never is.
    bool isRunningOrder(int page) const { return canChangeMode(page) && m_show.pages[page].runningOrder; }
    bool setRunningOrder(int page, bool on, QString *errorMessage);
    bool canMove(int page, int by) const;
    bool canDelete(int page) const;

    // The settings of a cart (page and slot 0-based); the defaults when there is no such cart.
    CartSettings cartSettings(int page, int slot) const;
    // Keeps settings (clamped to what a cart may have) for the cart and saves the show at once;
    // on failure nothing changes and errorMessage says why. Emits cartSettingsChanged.
    bool setCartSettings(int page, int slot, const CartSettings &settings, QString *errorMessage);

    // Writes a new show of one blank page at path.
    static bool create(const QString &path, QString *errorMessage);

    // Saves the whole show as a new file at path, which then becomes the show. With collect, the
    // carts' files outside the show's folder are first copied into its "audio" folder (a name
    // taken gets a number) and the carts play the copies, so the folder carries the show;
    // copied(done, total) is called after each file. A file that is missing or cannot be copied
    // keeps its place, and is listed in notCopied (each once); the save goes on.
    // The copying runs on a thread of its own while the caller's event loop goes on; a show
    // cannot be opened meanwhile.
    bool saveAs(const QString &path, QString *errorMessage, bool collect = false,
                const std::function<void(int done, int total)> &copied = {}, QStringList *notCopied = nullptr);
    // Writes the show as it stands to its file again (Save); false, with why, when it cannot.
    bool saveNow(QString *errorMessage) { return write(m_show, errorMessage); }
    // Whether the show file holds the show as it is played. Every change is written at once, so
    // this is false only once another program has changed, replaced or removed a show file
    // since it was read or written; a Save then writes it again (asking first). The default show
    // and a read-only one are always saved. Emits savedChanged when it changes.
    bool isSaved() const { return m_saved; }

    // Asked before a save would replace a show file another program changed since it was read;
    // false keeps that file (the save then fails). Without one such a file is never replaced.
    void setOverwriteQuestion(std::function<bool(const QString &path)> ask) { m_askOverwrite = std::move(ask); }

signals:
    // The pages changed (added, renamed, moved, deleted), or another show was opened.
    void pagesChanged();
    void shownPageChanged(int page);
    void cartSettingsChanged(int page, int slot);
    void savedChanged(bool saved);

private:
    bool write(const Show &show, QString *errorMessage);
    // Changes a page that may change (see canChangeMode) and saves the show at once.
    bool changePage(int page, const std::function<void(ShowPage &)> &change, QString *errorMessage);
    // Reads the show file at path; nothing when it is none, with why in notes.
    static std::optional<Show> read(const QString &path, bool *readOnly, QStringList *notes);
    // Makes show (from path; empty: the default show) the one played, page 1 shown.
    void become(const QString &path, const Show &show, bool readOnly);
    // collectFiles() on a thread of its own, the event loop running meanwhile.
    bool collectInBackground(Show &show, const QString &folder, QString *errorMessage,
                             const std::function<void(int, int)> &copied, QStringList *notCopied);
    static bool collectFiles(Show &show, const QString &folder, QString *errorMessage,
                             const std::function<void(int, int)> &copied, QStringList *notCopied);
    bool storesFirstPageInTrackList() const { return isDefault(); }
    void remember(const QString &path);
    // Whether the file at path is not the one last read or written.
    bool changedSinceRead(const QString &path) const;
    // Watches the show file (and its folder, where a replacing write or a removal is seen) and
    // sets isSaved() from what is there now.
    void watch();
    void checkSaved();

    quint64 newPageId() { return ++m_lastPageId; }

    TrackListStore &m_trackList;
    QString m_path;           // empty: the default show
    QList<quint64> m_pageIds; // one a page, in the pages' order
    quint64 m_lastPageId = 0;
    Show m_show;
    int m_shown = 0;
    bool m_readOnly = false;
    bool m_collecting = false; // saveAs() is copying the carts' files
    QDateTime m_readModified;  // the show file's time when last read or written; invalid: none
    qint64 m_readSize = -1;
    std::function<bool(const QString &)> m_askOverwrite;
    QFileSystemWatcher *m_watcher = nullptr;
    bool m_saved = true;
};
