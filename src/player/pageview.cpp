#include "player/pageview.h"

#include "common/colours.h"
#include "tracklist/trackslot.h"
#include "common/settings.h"
#include "platform/lookaheadcontrol.h"
#include "common/twips.h"
#include "player/soundnotice.h"
#include "player/trackbutton.h"
#include "show/showdocument.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>

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
    if (m_player) {
        m_player->setLookedAtHandler([this](const QString &path) {
            for (TrackButton *button : std::as_const(m_buttons)) {
                if (button->tag() == path) {
                    markMissingFiles();
                    return;
                }
            }
        });
    }
}

QString PageView::openStartingShow(ShowDocument &show, const Settings &settings)
{
    QString note;
    const QString last = settings.lastShow();
    if (!last.isEmpty()) {
        QString why;
        if (show.open(last, &why))
            return why; // what the reader left out, if anything
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
    const QString text = pages > 1 ? tr("Page %1 of %2: %3").arg(shown + 1).arg(pages).arg(m_show.pageName(shown))
                                   : QString();
    m_caption->setText(text);
    m_caption->setVisible(pages > 1);
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
