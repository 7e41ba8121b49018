#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

class QKeyEvent;
class QLabel;
class QWidget;
class LookAheadControl;
class Settings;
class ShowDocument;
class SoundNotice;
class TrackButton;

// The page on the player window: its number and name in the frame's lower edge (and the
// window's accessible description) once the show has more than one, the keys that step through
// the pages, and the red corner of a show's carts whose file is missing or cannot play. A
// one-page default show leaves the window exactly as it always looked. The player looks at the
// other pages' carts in the background, so a broken cart is seen before its page is played.
class PageView : public QObject
{
    Q_OBJECT

public:
    // showPage shows a page (0-based), as the window allows it; buttons are the window's track
    // buttons; player may be null (a player that does not look ahead).
    PageView(QWidget *window, ShowDocument &show, SoundNotice &notice, const QList<TrackButton *> &buttons,
             LookAheadControl *player, std::function<void(int)> showPage);

    // Opens the show the program last ended with, or else the default show; what to tell the
    // user of it (empty: nothing).
    static QString openStartingShow(ShowDocument &show, const Settings &settings);
    // The show's name as the wall shows it ("Evening", "Evening (read-only)", "Evening*" while
    // its file does not hold it); empty for the default show. And the window's title: "Evening -
    // Kelvo Version 2", or the classic one.
    static QString showName(const ShowDocument &show);
    static QString windowTitle(const ShowDocument &show);
    // The page (0-based) last shown of the show at showPath, kept in kelvo.conf's show/pages
    // for the last kRememberedShows shows; 0 when not known.
    static int lastPageOf(const QString &showPath);
    static void notePage(const QString &showPath, int page);
    static constexpr int kRememberedShows = 32;

    // The caption and description as the show stands now.
    void refresh();
    // Names the cart on air while its page is not shown ("On air: ..."); empty: nothing.
    void setOnAir(const QString &text);
    // Marks the buttons whose file is not there or cannot play (a show's pages only).
    void markMissingFiles() const;
    // Hands every page's files to the player to look at, when they changed since last time.
    void lookAhead();
    // Page Down and Page Up (no wrapping), Ctrl+1 to Ctrl+9; false for any other key.
    bool handleKey(QKeyEvent *event);

    QLabel *caption() const { return m_caption; }

signals:
    // A look at a file of the page shown ended: its length may be known now.
    void lookedAt(const QString &path);

public:
    QLabel *onAir() const { return m_onAir; }

private:
    ShowDocument &m_show;
    SoundNotice &m_notice;
    QList<TrackButton *> m_buttons;
    LookAheadControl *m_player;
    std::function<void(int)> m_showPage;
    QLabel *m_caption;
    QLabel *m_onAir;
    QStringList m_lookedAhead; // what lookAhead() last handed over
};
