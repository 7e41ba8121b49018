#include "player/cartview.h"

#include "carts/cartsettingsdialog.h"
#include "common/usermessage.h"
#include "platform/cartplayback.h"
#include "player/trackbutton.h"
#include "show/showdocument.h"

#include <QColor>

CartView::CartView(ShowDocument &show, CartPlaybackControl *player, const QList<TrackButton *> &buttons,
                   QObject *parent)
    : QObject(parent),
      m_show(show),
      m_player(player),
      m_buttons(buttons)
{ }

void CartView::beforePut(int page, int slot)
{
    beforePut(m_show.cartSettings(page, slot));
}

void CartView::beforePut(const CartSettings &settings)
{
    if (m_player)
        m_player->setNextPlayback(settings.playback());
}

void CartView::prepare(QList<MediaCue> &cues)
{
    const int page = m_show.shownPage();
    for (int slot = 0; slot < cues.size(); ++slot) {
        const CartSettings settings = m_show.cartSettings(page, slot);
        cues[slot].playback = settings.playback();
        if (slot < m_buttons.size()) {
            m_buttons[slot]->setRestColour(settings.colour.isEmpty() ? QColor() : QColor(settings.colour));
            m_buttons[slot]->setLoopMarked(settings.loop);
        }
    }
}

double CartView::fadeSeconds(int page, int slot, double windowSeconds) const
{
    return m_show.cartSettings(page, slot).fadeOut.value_or(windowSeconds);
}

void CartView::edit(QWidget *window, int slot)
{
    if (slot < 0 || slot >= m_buttons.size())
        return;
    const int page = m_show.shownPage();
    const QString showFile = m_show.filePath();
    const QString file = m_buttons[slot]->tag();
    CartSettingsDialog dialog(window, m_buttons[slot]->tag(), m_buttons[slot]->text(), m_show.cartSettings(page, slot),
                              m_player, !m_settings.preListenOutput().isEmpty(), m_settings.fadeSeconds());
    // Modal to the window alone, not to the program: the wall's keys reach the window meanwhile.
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // A remote command may have opened another show, or a save changed the cart, meanwhile.
    if (m_show.filePath() != showFile || page >= m_show.pageCount()
        || m_show.tracks(page)[size_t(slot)].fullPath != file) {
        warnUser(window, tr("The cart changed while its settings were open; they were not saved."));
        return;
    }
    QString error;
    if (!m_show.setCartSettings(page, slot, dialog.settings(), &error))
        warnUser(window, tr("The cart's settings could not be saved.\n\n%1").arg(error));
}
