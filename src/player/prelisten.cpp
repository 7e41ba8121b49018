#include "player/prelisten.h"

#include "platform/prelistencontrol.h"
#include "player/trackbutton.h"

#include <QTimer>

PreListen::PreListen(PreListenControl *player, std::function<TrackButton *(int)> button, QObject *parent)
    : QObject(parent),
      m_player(player),
      m_button(std::move(button)),
      m_watch(new QTimer(this))
{
    // The end is noticed at the window's pace; nothing runs while nothing is pre-listened.
    m_watch->setInterval(250);
    connect(m_watch, &QTimer::timeout, this, &PreListen::watch);
}

void PreListen::start(int index, const QString &path)
{
    stop();
    if (!m_player || !m_player->preListen(path))
        return;
    m_cart = index;
    m_button(index)->setFramed(true);
    m_watch->start();
}

void PreListen::stop()
{
    if (m_player)
        m_player->stopPreListen();
    watch();
}

void PreListen::watch()
{
    if (m_cart && m_player->preListening())
        return;
    if (m_cart)
        m_button(*m_cart)->setFramed(false);
    m_cart.reset();
    m_watch->stop();
}
