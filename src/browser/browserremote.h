#pragma once

#include "browser/remotepairing.h"
#include "browser/remoteserver.h"

#include <QObject>
#include <QPointer>

class CommandSurface;
class QAction;
class QDialog;
class QMenu;
class QWidget;

// The browser remote as the user turns it on: "Browser remote" in the window's menu (on or
// off, the address it listens on, pairing a phone or tablet with a PIN and a QR code, the
// paired devices and revoking them), kept as [remote] enabled, port, listen and hosts in
// kelvo.conf. Off by default; on, it listens on 127.0.0.1 unless the user picks one of the
// machine's addresses or every interface. The menu's first item says where it listens, or why
// it could not.
class BrowserRemote : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 8470;

    BrowserRemote(CommandSurface &commands, QWidget *window, QMenu *menu);

    // Listens, or not, as the settings say.
    void apply();
    // The PIN that pairs a browser; empty while the remote is off.
    QString pin() const;
    // The page's address ("http://127.0.0.1:8470/"); empty while it does not listen.
    QString address() const;
    const RemoteServer &server() const { return m_server; }
    RemotePairing &pairing() { return m_pairing; }
    // The pairing window, shown (for the menu item, and tests).
    QDialog *showPairing();

private:
    void fill();

    QWidget *m_window;
    RemotePairing m_pairing;
    RemoteServer m_server;
    QMenu *m_menu;
    QString m_problem; // why it could not listen
    QPointer<QDialog> m_dialog;
};
