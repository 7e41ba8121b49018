#include "player/cartlayers.h"

#include "common/colours.h"
#include "common/module1.h"
#include "common/settings.h"
#include "platform/layercontrol.h"
#include "platform/mediaplayer.h"
#include "player/cartview.h"
#include "player/trackbutton.h"
#include "show/showdocument.h"

#include <QLabel>

CartLayers::CartLayers(ShowDocument &show, MediaPlayer &player, LayerControl *layers, FadeControl *fades,
                       CartView &carts, const std::array<TrackButton *, 12> &buttons, QLabel *total, QLabel *remaining,
                       QObject *parent)
    : QObject(parent),
      m_show(show),
      m_player(player),
      m_layers(layers),
      m_fades(fades),
      m_carts(carts),
      m_buttons(buttons),
      m_total(total),
      m_remaining(remaining),
      m_timer(this)
{
    m_timer.setObjectName(QStringLiteral("LayerTimer"));
    m_timer.setInterval(250);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CartLayers::tick);
}

bool CartLayers::active() const
{
    return m_layers && m_show.pageMode(m_show.shownPage()) != PageMode::One;
}

double CartLayers::remaining(const Playing &cart) const
{
    return std::max(0.0, m_layers->layerDuration(cart.layer) - m_layers->layerPosition(cart.layer));
}

double CartLayers::windowFade() const
{
    return Settings().fadeSeconds();
}

TrackButton *CartLayers::buttonOf(const Playing &cart) const
{
    const std::optional<int> page = m_show.pageOf(cart.pageId);
    return page && *page == m_show.shownPage() ? m_buttons[size_t(cart.slot)] : nullptr;
}

void CartLayers::press(int slot, bool fadeIt)
{
    if (!active() || slot < 0 || slot >= int(m_buttons.size()))
        return;
    const quint64 pageId = m_show.pageId(m_show.shownPage());
    for (qsizetype n = 0; n < m_playing.size(); ++n) {
        Playing &cart = m_playing[n];
        if (cart.pageId == pageId && cart.slot == slot) {
            const int guardMs = Settings().guardMilliseconds();
            if (fadeIt && !cart.fading)
                fade(cart);
            else if (fadeIt || guardMs <= 0 || cart.since.elapsed() >= guardMs)
                stop(n, false);
            return;
        }
    }
    if (fadeIt)
        return; // Shift on a cart at rest plays nothing
    TrackButton *button = m_buttons[size_t(slot)];
    Playing cart;
    cart.pageId = pageId;
    cart.slot = slot;
    cart.file = button->tag();
    cart.caption = button->text();
    cart.settings = m_show.cartSettings(m_show.shownPage(), slot);
    // A radio wall hands over: what plays makes way, each with its own fade.
    if (m_show.pageMode(m_show.shownPage()) == PageMode::HandOver) {
        for (Playing &other : m_playing) {
            if (!other.fading)
                fade(other);
        }
    }
    m_warnSeconds = Settings().warningSeconds(); // read as a cart starts, not at every tick
    m_carts.beforePut(cart.settings);
    m_player.setFileName(cart.file);
    cart.total = m_player.duration();
    cart.layer = m_layers->keepPlaying();
    if (cart.layer == 0) {
        // Nothing to play (no file, or one that cannot be): the button says so as it rests.
        m_player.stop();
        return;
    }
    fadeGroup(cart.settings.group, cart.layer);
    cart.since.start();
    m_playing.append(cart);
    duck();
    m_total->setText(Module1::displayTime(cart.total));
    m_timer.start();
    paint();
    emit started();
}

void CartLayers::fadeGroup(const QString &group, int except)
{
    if (group.isEmpty())
        return;
    for (Playing &other : m_playing) {
        if (other.layer != except && !other.fading && other.settings.group == group)
            fade(other);
    }
}

void CartLayers::fade(Playing &cart)
{
    cart.fading = true;
    m_layers->fadeLayer(cart.layer, cart.settings.fadeOut.value_or(windowFade()));
    if (cart.settings.duckDb < 0)
        duck(); // a voice-over fading out lets the others back up as it goes
    emit fadeBegun();
}

void CartLayers::duck()
{
    for (Playing &cart : m_playing) {
        double deepest = 0;
        for (const Playing &other : std::as_const(m_playing)) {
            if (other.layer != cart.layer && !other.fading)
                deepest = std::min(deepest, other.settings.duckDb);
        }
        if (deepest == cart.duckedDb)
            continue;
        m_layers->duckLayer(cart.layer, deepest, deepest < cart.duckedDb ? 0.15 : 0.5);
        cart.duckedDb = deepest;
    }
}

void CartLayers::fadeMostRecent()
{
    if (!m_playing.isEmpty() && !m_playing.last().fading)
        fade(m_playing.last());
}

void CartLayers::stopMostRecent()
{
    if (!m_playing.isEmpty())
        stop(m_playing.size() - 1, false);
}

void CartLayers::stopSlot(int slot)
{
    const quint64 page = m_show.pageId(m_show.shownPage());
    for (qsizetype n = 0; n < m_playing.size(); ++n) {
        if (m_playing[n].pageId == page && m_playing[n].slot == slot) {
            stop(n, false);
            return;
        }
    }
}

void CartLayers::fadeAll()
{
    for (Playing &cart : m_playing) {
        if (!cart.fading)
            fade(cart);
    }
}

void CartLayers::stopAll()
{
    while (!m_playing.isEmpty())
        stop(m_playing.size() - 1, false);
}

void CartLayers::stop(qsizetype index, bool ended)
{
    const Playing cart = m_playing.takeAt(index);
    m_layers->stopLayer(cart.layer);
    if (cart.settings.duckDb < 0)
        duck(); // the others come back up
    if (TrackButton *button = buttonOf(cart)) {
        button->setBackColor(Colours::ButtonFace);
        button->setProgress(std::nullopt);
        m_lit.removeOne(button);
    }
    if (m_playing.isEmpty()) {
        m_timer.stop();
        // At rest the remaining display shows the last cart's whole length, as a stop leaves it.
        if (!ended)
            m_remaining->setText(Module1::displayTime(cart.total));
        else
            m_remaining->setText(Module1::displayTime(0));
    } else {
        m_total->setText(Module1::displayTime(m_playing.last().total));
    }
    if (ended)
        emit this->ended();
    else
        emit stopped();
}

void CartLayers::tick()
{
    for (qsizetype n = m_playing.size() - 1; n >= 0; --n) {
        Playing &cart = m_playing[n];
        const double duration = m_layers->layerDuration(cart.layer);
        if (duration > 0 && m_layers->layerPosition(cart.layer) == duration) {
            stop(n, true);
            continue;
        }
        if (cart.fading && m_layers->layerFadedOut(cart.layer)) {
            stop(n, false);
            continue;
        }
        if (duration > 0)
            cart.total = duration; // a length counted while it played
    }
    if (m_playing.isEmpty())
        return;
    m_red = !m_red;
    const Playing &last = m_playing.last();
    m_total->setText(Module1::displayTime(last.total));
    m_remaining->setText(Module1::displayTime(remaining(last)));
    paint();
    emit ticked();
}

void CartLayers::paint()
{
    const int warnSeconds = m_warnSeconds; // the end warning applies to each cart
    for (const Playing &cart : std::as_const(m_playing)) {
        TrackButton *button = buttonOf(cart);
        if (!button)
            continue;
        if (!m_lit.contains(button))
            m_lit.append(button);
        const double left = remaining(cart);
        button->setBackColor(m_red ? Colours::Red : Colours::Blue);
        button->setProgress(cart.total > 0 ? std::optional<double>(1.0 - left / cart.total) : std::nullopt,
                            Module1::displayTime(left), warnSeconds > 0 && left <= warnSeconds && !cart.settings.loop);
    }
}

void CartLayers::showPage()
{
    // The page shown may be another: what blinked for a cart of the last one rests.
    for (TrackButton *button : std::as_const(m_lit)) {
        button->setProgress(std::nullopt);
        button->setBackColor(Colours::ButtonFace);
    }
    m_lit.clear();
    paint();
}
