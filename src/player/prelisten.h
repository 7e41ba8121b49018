#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class PreListenControl;
class QTimer;
class TrackButton;

// Pre-listen on the player window: one cart at a time plays on the pre-listen output, its
// button framed in green until it stops or ends, beside the air and without touching it.
class PreListen : public QObject
{
    Q_OBJECT

public:
    // player may be null (a player that cannot pre-listen): then nothing is ever pre-listened.
    // button gives track button index, to frame.
    PreListen(PreListenControl *player, std::function<TrackButton *(int)> button, QObject *parent = nullptr);

    bool available() const { return m_player != nullptr; }
    // Pre-listens path as cart index, after stopping any other; nothing when the player refuses.
    void start(int index, const QString &path);
    void stop();
    // The cart being pre-listened.
    std::optional<int> cart() const { return m_cart; }

private:
    void watch();

    PreListenControl *m_player;
    std::function<TrackButton *(int)> m_button;
    std::optional<int> m_cart;
    QTimer *m_watch; // runs only while a cart is pre-listened
};
