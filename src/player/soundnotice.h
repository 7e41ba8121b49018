#pragma once

#include <QLabel>
#include <QList>

class QTimer;

class OutputControl;

// "No sound output" and why, shown across the top edge of the player window's frame (where no
// control of the window stands), in the window's accessible description and in the track
// buttons' tooltips, for as long as the player says nothing can be heard: an operator learns it
// from the window, not from the silence. Hidden, and the window as it always is, otherwise.
class SoundNotice : public QLabel
{
    Q_OBJECT

public:
    // outputs may be null (a player that cannot tell): then the notice never shows.
    SoundNotice(QWidget *window, OutputControl *outputs, const QList<QWidget *> &buttons);
    // What the window's accessible description says while there is no notice.
    void setPlainDescription(const QString &description);

    // Shows or clears the notice as the player says now.
    void refresh();
    // Shows text in the notice's place for ms, unless nothing can be heard (which says more).
    void flash(const QString &text, int ms);

private:
    OutputControl *m_outputs;
    QList<QWidget *> m_buttons;
    QString m_description; // the window's own accessible description
    QString m_flash;       // shown for a while when there is no notice
    QTimer *m_flashTimer;
    bool m_problemShown = false; // the notice says nothing can be heard
};
