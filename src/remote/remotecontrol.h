#pragma once

#include "remote/commandline.h"
#include "remote/instancelink.h"
#include "remote/oscserver.h"

#include <QLockFile>
#include <QObject>

#include <functional>
#include <memory>

class CommandSurface;
class QAction;
class QMenu;

// Hands a command line to the Kelvo already running with the same track list, before this one
// builds any window; tells whether this one is to start, and with which command. One that is
// to start holds the track list's instance lock for as long as it lives.
class Launch
{
public:
    // Needs a QCoreApplication (for the program's folder) but no display: a command for a
    // running instance is done here.
    Launch(const QStringList &arguments, const QString &programFolder, const QString &version);

    bool finished() const { return m_finished; }
    int exitCode() const { return m_exitCode; }
    const CommandLine &command() const { return m_command; }
    QString socketPath() const { return m_socketPath; }

private:
    static constexpr int kLockWaitMs = 3000;
    // Hands the command to the instance that answers at the socket; false when none does.
    bool handOver();

    CommandLine m_command;
    qint64 m_madeAtMs; // when the command was given: a retry is no newer than the first try
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock; // held while this one runs: no second one starts beside it
    bool m_finished = false;
    int m_exitCode = 0;
};

// The running program's remote controls over the player window's command surface: the instance
// socket that later starts hand their commands to, and OSC when turned on (osc/enabled,
// osc/port, osc/listen in kelvo.conf, or "Remote control (OSC)" in the window's menu).
class RemoteControl : public QObject
{
    Q_OBJECT

public:
    // Acts on commands; listens on launch's socket unless it asked for a new instance; carries
    // out launch's command (a --fire that started the program) once the list is loaded. The OSC
    // item goes at the end of menu (the window's own).
    RemoteControl(CommandSurface &commands, const Launch &launch, QMenu *menu, QObject *parent = nullptr);

    // Turns OSC on or off as the settings say; the menu item tells how it went.
    void applyOscSettings();
    // What "remote-pin" asks of the instance socket: the browser remote's PIN, or empty while it
    // is off.
    void setRemotePin(std::function<QString()> pin) { m_link.setRemotePin(std::move(pin)); }
    QAction *oscAction() const { return m_oscAction; }

private:
    CommandSurface &m_commands;
    InstanceLink m_link;
    OscServer m_osc;
    QAction *m_oscAction = nullptr;
};
