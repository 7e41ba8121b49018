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
// "Delete page..." for the page shown; and the show's own items, "New show", "Open show...",
// "Recent shows" (the last eight), "Save show as..." and "Default show" (the track list). The
// show open is remembered for the next start. Built afresh each time it opens. What fails is
// told in a message box.
class PageMenu : public QObject
{
    Q_OBJECT

public:
    // Adds the items to menu; choosing a page calls showPage with it (0-based).
    PageMenu(QWidget *window, QMenu *menu, ShowDocument &show, std::function<void(int)> showPage);

    // Opens the show file at path (a start with a .kelvo, a drop), telling what was skipped.
    bool openShow(const QString &path);
    // Files dropped on track button index: a show opens; audio files fill the page shown from
    // that slot on (see assignDroppedFiles), and a failed save is told.
    void dropFiles(int index, const QStringList &paths, Form2 *editor);

private:
    void fill();
    void warn(const QString &text) const;
    // The show open now is the last and the latest of the recent ones.
    void remember() const;

    QWidget *m_window;
    ShowDocument &m_show;
    std::function<void(int)> m_showPage;
    QMenu *m_pages = nullptr;
    QMenu *m_recent = nullptr;
};
