#pragma once

#include "tracklist/trackslot.h"

#include <QWidget>

#include <array>
#include <functional>

class OpenDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class Shape;
class TrackStore;

// The track-list editor: one row per slot with the full path, a "..." button for the Open
// dialog, the short name and an "X" that clears the row; "Save and E&xit" saves the twelve
// rows through the store (whose listeners update the player's buttons), "&Cancel" discards.
// Closing it destroys it.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    // A hidden editor over the player window, loaded (centred, rows labelled) as it is built.
    Form2(QWidget *player, TrackStore &store, OpenDialog &openDialog);

    // Writes a slot into row n: the full path first, then the short name.
    void setRow(int n, const TrackSlot &slot);
    TrackSlot row(int n) const;

    // Shows the editor; the player window takes no input until it closes.
    void showModal();

    // A note on a file (its loudness), shown as the tooltip of the row that names it.
    void setFileNotes(std::function<QString(const QString &path)> notes) { m_fileNotes = std::move(notes); }

signals:
    // The editor has closed and is about to be destroyed.
    void unloaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    // How many characters the short name of row n may still take, shown as it is typed.
    void showCharactersLeft(int n);
    void CmdFindTrack_Click(int n);
    void CmdDelete_Click(int n);
    void CmdCancel_Click();
    void CmdExit_Click();
    void unload();

    TrackStore &m_store;
    std::function<QString(const QString &path)> m_fileNotes;
    OpenDialog &CDiag; // the Open dialog

    Shape *Shape1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    std::array<QLabel *, SlotCount> LblTrackNo{};
    std::array<QLineEdit *, SlotCount> TxtTrack{};
    std::array<QPushButton *, SlotCount> CmdFindTrack{};
    std::array<QLineEdit *, SlotCount> TxtShortName{};
    std::array<QPushButton *, SlotCount> CmdDelete{};
    QPushButton *CmdCancel = nullptr;
    QPushButton *CmdExit = nullptr;
};
