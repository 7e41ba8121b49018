#include "player/cuelist.h"

#include "common/twips.h"
#include "player/soundnotice.h"
#include "player/trackbutton.h"
#include "show/showdocument.h"
#include "tracklist/trackslot.h"

#include <QLabel>

namespace {
constexpr qint64 kLatenessKeptMs = 50;
}

CueList::CueList(QWidget *window, ShowDocument &show, SoundNotice &notice, const std::array<TrackButton *, 12> &buttons)
    : QObject(window),
      m_show(show),
      m_notice(notice),
      m_buttons(buttons),
      m_follow(this),
      m_label(new QLabel(window))
{
    // The frame's top edge, where the notice shows when there is one (it then stands above).
    m_label->setObjectName(QStringLiteral("NextCue"));
    m_label->setGeometry(Twips::rect(150, 0, 8235 - 300, 225));
    m_label->setAlignment(Qt::AlignCenter);
    QPalette look = m_label->palette();
    look.setColor(QPalette::WindowText, QColor(0xFF, 0xB0, 0x00));
    m_label->setPalette(look);
    QFont small = m_label->font();
    small.setPixelSize(11);
    small.setBold(true);
    m_label->setFont(small);
    m_label->hide();
    m_follow.setSingleShot(true);
    m_follow.setTimerType(Qt::PreciseTimer);
    m_clock.start();
    connect(&m_follow, &QTimer::timeout, this, [this] {
        const std::optional<int> cue = next();
        if (!cue)
            return;
        // A follow the event loop served late is timed from when it was due, so the lateness does
        // not add up along a chain of follows; one held up for long is timed from its start.
        const qint64 now = m_clock.elapsed();
        m_firedAtMs = now - m_followDueMs <= kLatenessKeptMs ? m_followDueMs : now;
        emit goRequested(*cue, true);
        m_firedAtMs.reset();
    });
}

quint64 CueList::pageId() const
{
    return m_show.pageId(m_show.shownPage());
}

bool CueList::active() const
{
    return m_show.isRunningOrder(m_show.shownPage());
}

bool CueList::go()
{
    if (!active())
        return false;
    const std::optional<int> cue = m_order.next();
    if (!cue) {
        m_notice.flash(tr("End of the running order: GO does nothing (Shift+Space steps back)"), 3000);
        return true;
    }
    m_firedAtMs = m_clock.elapsed();
    emit goRequested(*cue, false);
    m_firedAtMs.reset();
    return true;
}

bool CueList::step(int by)
{
    if (!active())
        return false;
    if (by < 0)
        m_order.stepBack();
    else
        m_order.stepForward();
    show();
    return true;
}

void CueList::started(int slot, double duration)
{
    if (!active())
        return;
    m_order.fired(slot);
    m_follow.stop();
    const CartSettings settings = m_show.cartSettings(m_show.shownPage(), slot);
    const qint64 now = m_clock.elapsed();
    if (const std::optional<qint64> at = RunningOrder::followAtMs(settings, m_firedAtMs.value_or(now), duration)) {
        m_followDueMs = std::max(*at, now);
        m_follow.start(int(m_followDueMs - now));
    }
    show();
}

void CueList::refresh()
{
    // Another page: where its next stood is kept, and the new page's is taken up.
    if (pageId() != m_page) {
        if (m_page != 0)
            m_positions.insert(m_page, m_order.position());
        m_page = pageId();
        m_order.setPosition(m_positions.value(m_page, 0));
        m_follow.stop();
    }
    std::array<bool, 12> cues{};
    for (size_t n = 0; n < cues.size(); ++n)
        cues[n] = !trimSpaces(m_buttons[n]->tag()).isEmpty();
    m_order.setCues(cues);
    show();
}

void CueList::show()
{
    const std::optional<int> cue = next();
    for (size_t n = 0; n < m_buttons.size(); ++n)
        m_buttons[n]->setCued(cue && *cue == int(n));
    if (!active()) {
        m_label->hide();
        return;
    }
    QString text = tr("Next: end of the running order");
    if (cue) {
        text = tr("Next: %1").arg(m_buttons[size_t(*cue)]->text());
        const QString note = m_show.cartSettings(m_show.shownPage(), *cue).note.simplified();
        if (!note.isEmpty())
            text += QStringLiteral("  \u2014  ") + note;
    }
    m_label->setText(text);
    m_label->setToolTip(text);
    m_label->show();
}
