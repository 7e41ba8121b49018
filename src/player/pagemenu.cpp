#include "player/pagemenu.h"

#include "common/settings.h"
#include "common/usermessage.h"
#include "player/droppedfiles.h"
#include "player/pageview.h"
#include "show/showdocument.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QActionGroup>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QWidget>

PageMenu::PageMenu(QWidget *window, QMenu *menu, ShowDocument &show, std::function<void(int)> showPage,
                   std::function<bool()> playing)
    : QObject(window),
      m_window(window),
      m_show(show),
      m_showPage(std::move(showPage)),
      m_playing(std::move(playing))
{
    m_pages = menu->addMenu(tr("Page"));
    m_pages->setObjectName(QStringLiteral("Page"));
    connect(m_pages, &QMenu::aboutToShow, this, &PageMenu::fill);
    fill(); // so that its items can be found before it first opens

    // The show's own keys work on the window, its menu open or not.
    const auto keyed = [this](QAction *action, const QKeySequence &keys) {
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        m_window->addAction(action);
    };
    QAction *save = menu->addAction(tr("Save show"));
    save->setObjectName(QStringLiteral("SaveShow"));
    keyed(save, QKeySequence::Save);
    connect(save, &QAction::triggered, this, [this] {
        QString error;
        if (m_show.saveNow(&error))
            emit told(tr("Saved %1").arg(QDir::toNativeSeparators(m_show.filePath())));
        else
            warn(tr("The show could not be saved.\n\n%1").arg(error));
    });
    QAction *create = menu->addAction(tr("New show"));
    create->setObjectName(QStringLiteral("NewShow"));
    keyed(create, QKeySequence::New);
    connect(create, &QAction::triggered, this, [this] {
        if (!mayLeaveShow())
            return;
        QString path = QFileDialog::getSaveFileName(m_window, tr("New show"), QString(), tr("Kelvo shows (*.kelvo)"));
        if (path.isEmpty())
            return;
        if (!path.endsWith(QLatin1String(".kelvo")))
            path += QLatin1String(".kelvo");
        QString error;
        if (!ShowDocument::create(path, &error))
            warn(tr("The show could not be made.\n\n%1").arg(error));
        else
            openShow(path);
    });
    QAction *open = menu->addAction(tr("Open show..."));
    open->setObjectName(QStringLiteral("OpenShow"));
    keyed(open, QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] {
        if (!mayLeaveShow())
            return;
        const QString path = QFileDialog::getOpenFileName(m_window, tr("Open show"), QString(),
                                                          tr("Kelvo shows (*.kelvo)"));
        if (!path.isEmpty())
            openShow(path);
    });
    m_recent = menu->addMenu(tr("Recent shows"));
    m_recent->setObjectName(QStringLiteral("RecentShows"));
    connect(m_recent, &QMenu::aboutToShow, this, [this] {
        m_recent->clear();
        const QStringList shows = Settings().recentShows();
        for (const QString &path : shows) {
            QAction *action = m_recent->addAction(QFileInfo(path).completeBaseName() + QStringLiteral("  (") + path
                                                  + QLatin1Char(')'));
            connect(action, &QAction::triggered, this, [this, path] {
                if (mayLeaveShow())
                    openShow(path);
            });
        }
        if (shows.isEmpty())
            m_recent->addAction(tr("None yet"))->setEnabled(false);
    });
    QAction *saveAs = menu->addAction(tr("Save show as..."));
    saveAs->setObjectName(QStringLiteral("SaveShowAs"));
    connect(saveAs, &QAction::triggered, this, [this] {
        QString path = QFileDialog::getSaveFileName(m_window, tr("Save show as"), QString(),
                                                    tr("Kelvo shows (*.kelvo)"));
        if (path.isEmpty())
            return;
        if (!path.endsWith(QLatin1String(".kelvo")))
            path += QLatin1String(".kelvo");
        const auto collect = QMessageBox::question(
            m_window, tr("Save show as"),
            tr("Copy the carts' files into an \"audio\" folder beside the show, so that the folder carries the "
               "whole show to another machine?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
        if (collect == QMessageBox::Cancel)
            return;
        QProgressDialog progress(tr("Copying the carts' files..."), QString(), 0, 0, m_window);
        // At once: the window keeps ticking while the files are copied, but takes no edit then.
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        const auto copied = [&progress](int done, int total) {
            progress.setMaximum(total);
            progress.setValue(done);
        };
        QString error;
        QStringList notCopied;
        if (!m_show.saveAs(path, &error, collect == QMessageBox::Yes, copied, &notCopied)) {
            warn(tr("The show could not be saved.\n\n%1").arg(error));
            return;
        }
        remember();
        progress.reset();
        QString done = tr("Saved as %1.").arg(QDir::toNativeSeparators(m_show.filePath()));
        if (!notCopied.isEmpty()) {
            QStringList names;
            for (const QString &file : std::as_const(notCopied))
                names << QDir::toNativeSeparators(file);
            done += QStringLiteral("\n\n")
                + tr("Not copied (missing or unreadable), so the folder lacks them:\n%1")
                      .arg(names.join(QLatin1Char('\n')));
            QMessageBox::warning(m_window, tr("Save show as"), done);
        } else {
            emit told(done);
        }
    });
    QAction *standard = menu->addAction(tr("Default show"));
    standard->setObjectName(QStringLiteral("DefaultShow"));
    connect(standard, &QAction::triggered, this, [this] {
        if (!mayLeaveShow())
            return;
        QString message;
        m_show.openDefault(&message);
        Settings().setLastShow(QString());
        if (!message.isEmpty())
            warn(message);
    });
    m_show.setOverwriteQuestion([this](const QString &path) {
        return QMessageBox::question(m_window, tr("Kelvo"),
                                     tr("%1 was changed by another program since Kelvo read it. Replace it with "
                                        "Kelvo's pages?")
                                         .arg(path))
            == QMessageBox::Yes;
    });
}

bool PageMenu::openShow(const QString &path)
{
    QString message;
    // Read before the show opens, which shows (and so notes) its first page.
    const int last = PageView::lastPageOf(QFileInfo(path).absoluteFilePath());
    const bool opened = m_show.open(path, &message);
    if (opened) {
        remember();
        m_showPage(std::min(last, m_show.pageCount() - 1));
    }
    if (!message.isEmpty())
        warn(opened ? message : tr("The show could not be opened.\n\n%1").arg(message));
    return opened;
}

void PageMenu::remember() const
{
    Settings settings;
    settings.setLastShow(m_show.filePath());
    settings.noteRecentShow(m_show.filePath());
}

bool PageMenu::mayLeaveShow() const
{
    const auto asked = [this](const QString &question) {
        return QMessageBox::question(m_window, tr("Kelvo"), question, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No)
            == QMessageBox::Yes;
    };
    if (!m_show.isSaved()
        && !asked(tr("%1 was changed by another program, so the show as it is here is in no file. Switch to "
                     "another show without saving it?")
                      .arg(QDir::toNativeSeparators(m_show.filePath()))))
        return false;
    if (!m_playing || !m_playing())
        return true;
    return asked(tr("A cart is playing. Switch to another show? What plays goes on to its end."));
}

void PageMenu::warn(const QString &text) const
{
    warnUser(m_window, text);
}

void PageMenu::fill()
{
    // Submenus outlive the actions clear() deletes: last time's go first.
    qDeleteAll(m_pages->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly));
    m_pages->clear();
    const int shown = m_show.shownPage();
    for (int page = 0; page < m_show.pageCount(); ++page) {
        QAction *action = m_pages->addAction(QStringLiteral("%1  %2").arg(page + 1).arg(m_show.pageName(page)));
        action->setObjectName(QStringLiteral("Page(%1)").arg(page));
        action->setCheckable(true);
        action->setChecked(page == shown);
        connect(action, &QAction::triggered, this, [this, page] { m_showPage(page); });
    }
    m_pages->addSeparator();
    const auto add = [this](const char *name, const QString &text, bool enabled, auto then) {
        QAction *action = m_pages->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(enabled && !m_show.isReadOnly());
        connect(action, &QAction::triggered, this, then);
    };
    add("NewPage", tr("New page"), m_show.pageCount() < ShowFormat::kMaxPages, [this] {
        QString error;
        if (m_show.addPage(&error))
            m_showPage(m_show.pageCount() - 1);
        else
            warn(tr("The page could not be added.\n\n%1").arg(error));
    });
    add("RenamePage", tr("Rename page..."), true, [this, shown] {
        bool ok = false;
        const QString name = QInputDialog::getText(m_window, tr("Rename page"), tr("Name of page %1:").arg(shown + 1),
                                                   QLineEdit::Normal, m_show.pageName(shown), &ok);
        QString error;
        if (ok && !m_show.renamePage(shown, name, &error))
            warn(tr("The page could not be renamed.\n\n%1").arg(error));
    });
    // How the page's carts play with one another: the track list is always one at a time.
    QMenu *modes = m_pages->addMenu(tr("Carts on this page"));
    modes->setObjectName(QStringLiteral("PageMode"));
    modes->setEnabled(m_show.canChangeMode(shown) && !m_show.isReadOnly());
    auto *group = new QActionGroup(modes);
    const std::pair<PageMode, QString> choices[] = {{PageMode::One, tr("One at a time")},
                                                    {PageMode::Together, tr("Together")},
                                                    {PageMode::HandOver, tr("Hand over")}};
    for (const auto &[mode, text] : choices) {
        QAction *action = modes->addAction(text);
        action->setObjectName(QStringLiteral("PageMode(%1)").arg(int(mode)));
        action->setCheckable(true);
        action->setChecked(m_show.pageMode(shown) == mode);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, shown, mode = mode] {
            QString error;
            if (!m_show.setPageMode(shown, mode, &error))
                warn(tr("The page could not be changed.\n\n%1").arg(error));
        });
    }
    QAction *order = m_pages->addAction(tr("Run this page in order"));
    order->setObjectName(QStringLiteral("RunningOrder"));
    order->setCheckable(true);
    order->setChecked(m_show.isRunningOrder(shown));
    order->setEnabled(m_show.canChangeMode(shown) && !m_show.isReadOnly());
    connect(order, &QAction::triggered, this, [this, shown](bool on) {
        QString error;
        if (!m_show.setRunningOrder(shown, on, &error))
            warn(tr("The page could not be changed.\n\n%1").arg(error));
    });
    for (const int by : {-1, 1}) {
        add(by < 0 ? "MovePageLeft" : "MovePageRight", by < 0 ? tr("Move page left") : tr("Move page right"),
            m_show.canMove(shown, by), [this, shown, by] {
                QString error;
                if (!m_show.movePage(shown, by, &error))
                    warn(tr("The page could not be moved.\n\n%1").arg(error));
            });
    }
    add("DeletePage", tr("Delete page..."), m_show.canDelete(shown), [this, shown] {
        if (QMessageBox::question(
                m_window, tr("Kelvo"),
                tr("Delete page %1, \"%2\", and its carts?").arg(shown + 1).arg(m_show.pageName(shown)))
            != QMessageBox::Yes)
            return;
        QString error;
        if (!m_show.deletePage(shown, &error))
            warn(tr("The page could not be deleted.\n\n%1").arg(error));
    });
}

void PageMenu::dropFiles(int index, const QStringList &paths, Form2 *editor)
{
    if (paths.size() == 1 && paths.constFirst().endsWith(QLatin1String(".kelvo"))) {
        openShow(paths.constFirst());
        return;
    }
    QString error;
    if (!assignDroppedFiles(m_show, editor, index, paths, &error))
        warn(tr("The track list could not be saved.\n\n%1").arg(error));
}
