#include "player/pageview.h"

#include "common/colours.h"
#include "tracklist/trackslot.h"
#include "common/settings.h"
#include "platform/lookaheadcontrol.h"
#include "common/twips.h"
#include "player/soundnotice.h"
#include "player/trackbutton.h"
#include "show/showdocument.h"
#include "show/showformat.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QSettings>

#include <algorithm>

PageView::PageView(QWidget *window, ShowDocument &show, SoundNotice &notice, const QList<TrackButton *> &buttons,
                   LookAheadControl *player, std::function<void(int)> showPage)
    : QObject(window),
      m_show(show),
      m_notice(notice),
      m_buttons(buttons),
      m_player(player),
      m_showPage(std::move(showPage)),
      m_caption(new QLabel(window)),
      m_onAir(new QLabel(window))
{
    // The frame's lower edge, below the commands, where no control of the window stands.
    m_caption->setObjectName(QStringLiteral("PageCaption"));
    m_caption->setGeometry(Twips::rect(4440, 5160, 3600, 240));
    m_caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette look = m_caption->palette();
    look.setColor(QPalette::WindowText, Colours::colour(Colours::Yellow));
    m_caption->setPalette(look);
    QFont font = window->font();
    font.setPixelSize(11);
    m_caption->setFont(font);
    m_caption->hide();
    // The same edge, below the displays.
    m_onAir->setObjectName(QStringLiteral("OnAir"));
    m_onAir->setGeometry(Twips::rect(240, 5160, 4140, 240));
    m_onAir->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_onAir->setPalette(look);
    QFont bold = font;
    bold.setBold(true);
    m_onAir->setFont(bold);
    m_onAir->hide();
    connect(&m_show, &ShowDocument::pagesChanged, this, [this] {
        refresh();
        markMissingFiles();
    });
    connect(&m_show, &ShowDocument::savedChanged, this, [this](bool saved) {
        m_caption->setToolTip(saved ? QString()
                                    : tr("The show file was changed by another program. Save show (Ctrl+S) "
                                         "writes the show as it is here over it."));
        refresh();
    });
    connect(&m_show, &ShowDocument::shownPageChanged, this, [this](int page) {
        if (!m_show.isDefault())
            notePage(QFileInfo(m_show.filePath()).absoluteFilePath(), page);
    });
    if (m_player) {
        m_player->setLookedAtHandler([this](const QString &path) {
            for (TrackButton *button : std::as_const(m_buttons)) {
                if (button->tag() == path) {
                    markMissingFiles();
                    emit lookedAt(path);
                    return;
                }
            }
        });
    }
}

QString PageView::showName(const ShowDocument &show)
{
    if (show.isDefault())
        return QString();
    const QString name = QFileInfo(show.filePath()).completeBaseName();
    if (show.isReadOnly())
        return tr("%1 (read-only)").arg(name);
    return show.isSaved() ? name : name + QLatin1Char('*');
}

QString PageView::windowTitle(const ShowDocument &show)
{
    const QString name = showName(show);
    return name.isEmpty() ? QStringLiteral("Kelvo Version 2") : name + QStringLiteral(" - Kelvo Version 2");
}

int PageView::lastPageOf(const QString &showPath)
{
    Settings settings;
    const QSettings *file = settings.file();
    if (!file || showPath.isEmpty())
        return 0;
    const QStringList pages = file->value(QStringLiteral("show/pages")).toStringList();
    for (const QString &entry : pages) {
        const qsizetype tab = entry.indexOf(QLatin1Char('\t'));
        bool ok = false;
        const int page = entry.left(tab).toInt(&ok);
        if (tab > 0 && ok && entry.mid(tab + 1) == showPath)
            return std::clamp(page - 1, 0, ShowFormat::kMaxPages - 1);
    }
    return 0;
}

void PageView::notePage(const QString &showPath, int page)
{
    Settings settings;
    QSettings *file = settings.file();
    if (!file || showPath.isEmpty())
        return;
    QStringList pages = file->value(QStringLiteral("show/pages")).toStringList();
    pages.removeIf([&showPath](const QString &entry) { return entry.section(QLatin1Char('\t'), 1) == showPath; });
    pages.prepend(QStringLiteral("%1\t%2").arg(page + 1).arg(showPath));
    file->setValue(QStringLiteral("show/pages"), pages.mid(0, kRememberedShows));
}

QString PageView::openStartingShow(ShowDocument &show, const Settings &settings)
{
    QString note;
    const QString last = settings.lastShow();
    if (!last.isEmpty()) {
        QString why;
        const int page = lastPageOf(QFileInfo(last).absoluteFilePath()); // before the open notes page 1
        if (show.open(last, &why)) {
            show.showPage(std::min(page, show.pageCount() - 1)); // where it was left
            return why;                                          // what the reader left out, if anything
        }
        show.openDefault(&note);
        return tr("The show %1 could not be opened; the track list is shown.\n\n%2").arg(last, why)
            + (note.isEmpty() ? QString() : QStringLiteral("\n\n") + note);
    }
    show.openDefault(&note);
    return note;
}

void PageView::refresh()
{
    const int pages = m_show.pageCount();
    const int shown = m_show.shownPage();
    // A show file is named on the wall; the default show with one page looks as it always did.
    const QString name = showName(m_show);
    const QString page = tr("Page %1 of %2: %3").arg(shown + 1).arg(pages).arg(m_show.pageName(shown));
    const QString text = name.isEmpty() ? (pages > 1 ? page : QString())
        : pages > 1                     ? name + QStringLiteral(" - ") + page
                                        : name;
    m_caption->setText(text);
    m_caption->setVisible(!text.isEmpty());
    m_caption->parentWidget()->setWindowTitle(windowTitle(m_show));
    const QString onAir = m_onAir->isVisibleTo(m_onAir->parentWidget()) ? m_onAir->text() : QString();
    m_notice.setPlainDescription(onAir.isEmpty() || text.isEmpty() ? text + onAir
                                                                   : text + QStringLiteral("; ") + onAir);
}

void PageView::setOnAir(const QString &text)
{
    const bool shown = !text.isEmpty();
    if (text == m_onAir->text() && shown == m_onAir->isVisibleTo(m_onAir->parentWidget()))
        return;
    m_onAir->setText(text);
    m_onAir->setVisible(shown);
    refresh();
}

void PageView::markMissingFiles() const
{
    // Only a show of pages marks them: the classic list looks as it always has.
    const bool marking = m_show.pageCount() > 1 || !m_show.isDefault();
    for (TrackButton *button : m_buttons) {
        const QString path = trimSpaces(button->tag());
        const bool broken = !path.isEmpty()
            && (!QFileInfo(path).isFile() || (m_player && m_player->knownUnplayable(button->tag())));
        const bool missing = !path.isEmpty() && !QFileInfo(path).isFile();
        button->setMarked(marking && broken,
                          missing ? tr("File missing: %1").arg(button->tag())
                                  : tr("Cannot play: %1").arg(button->tag()));
    }
}

void PageView::lookAhead()
{
    if (!m_player)
        return;
    QStringList files;
    for (int page = 0; page < m_show.pageCount(); ++page) {
        for (const TrackSlot &slot : m_show.tracks(page)) {
            if (!trimSpaces(slot.fullPath).isEmpty())
                files << slot.fullPath;
        }
    }
    files.removeDuplicates();
    files.sort();
    // The page shown was handed over to be armed first; a page switch changes nothing here, only
    // an edit, a save or another show does.
    if (files == m_lookedAhead)
        return;
    m_lookedAhead = files;
    m_player->lookAhead(files);
}

bool PageView::handleKey(QKeyEvent *event)
{
    const int key = event->key();
    if (event->modifiers() == Qt::NoModifier && (key == Qt::Key_PageDown || key == Qt::Key_PageUp)) {
        m_showPage(m_show.shownPage() + (key == Qt::Key_PageDown ? 1 : -1));
        return true;
    }
    if (event->modifiers() == Qt::ControlModifier && key >= Qt::Key_1 && key <= Qt::Key_9) {
        m_showPage(key - Qt::Key_1);
        return true;
    }
    return false;
}
