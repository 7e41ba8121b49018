#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class Form2;
class QMenu;
class QWidget;
class ShowDocument;

// The "Page" submenu of the player window's menu: the show's pages by name (the one shown
// checked), then "New page", "Rename page...", "Move page left", "Move page right" and
// "Delete page..." for the page shown; and the show's own items, "Save show" (Ctrl+S), "New show"
// (Ctrl+N), "Open show..." (Ctrl+O), "Recent shows" (the last eight), "Save show as..." and
// "Default show" (the track list). Leaving the show while a cart plays asks first. The show open
// is remembered for the next start, and each show's page last shown. What fails is told in a
// message box.
class PageMenu : public QObject
{
    Q_OBJECT

public:
    // Adds the items to menu; choosing a page calls showPage with it (0-based).
    // playing says whether a cart plays now: leaving the show then asks first.
    PageMenu(QWidget *window, QMenu *menu, ShowDocument &show, std::function<void(int)> showPage,
             std::function<bool()> playing = {});

    // Opens the show file at path (a start with a .kelvo, a drop), telling what was skipped.
    bool openShow(const QString &path);
    // Files dropped on track button index: a show opens; audio files fill the page shown from
    // that slot on (see assignDroppedFiles), and a failed save is told.
    void dropFiles(int index, const QStringList &paths, Form2 *editor);

signals:
    // A short confirmation for the window's notice line ("Saved ...").
    void told(const QString &text);

private:
    // True when no cart plays and the show's file holds it, or the operator agrees to switch
    // show all the same.
    bool mayLeaveShow() const;
    void fill();
    void warn(const QString &text) const;
    // The show open now is the last and the latest of the recent ones.
    void remember() const;

    QWidget *m_window;
    ShowDocument &m_show;
    std::function<void(int)> m_showPage;
    std::function<bool()> m_playing;
    QMenu *m_pages = nullptr;
    QMenu *m_recent = nullptr;
};
