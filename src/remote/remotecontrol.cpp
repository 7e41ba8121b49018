#include "remote/remotecontrol.h"

#include "common/diagnostics.h"
#include "common/settings.h"
#include "platform/monotonicclock.h"
#include "player/commandsurface.h"
#include "tracklist/trackliststore.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QMenu>
#include <QTimer>

#include <cstdio>

Launch::Launch(const QStringList &arguments, const QString &programFolder, const QString &version)
    : m_command(CommandLine::parse(arguments, version)),
      m_madeAtMs(monotonicMs())
{
    switch (m_command.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
        std::fputs(qPrintable(m_command.text), stdout);
        m_finished = true;
        return;
    case CommandLine::Action::Bad:
        std::fputs(qPrintable(m_command.text), stderr);
        m_finished = true;
        m_exitCode = 2;
        return;
    default:
        break;
    }
    if (m_command.newInstance)
        return;
    QString error;
    m_socketPath = InstanceLink::socketPath(TrackListStore(programFolder).location().savePath, &error);
    if (m_socketPath.isEmpty()) {
        std::fprintf(stderr, "kelvo: no private folder for the instance socket: %s\n", qPrintable(error));
        return; // it runs on its own, as with --new-instance
    }
    if (handOver())
        return;
    // Nothing answers: a command for it fails; a start, with or without --fire, goes on.
    if (m_command.action == CommandLine::Action::Stop || m_command.action == CommandLine::Action::Fade
        || m_command.action == CommandLine::Action::State || m_command.action == CommandLine::Action::RemotePin) {
        std::fputs("kelvo: no Kelvo is running\n", stderr);
        m_finished = true;
        m_exitCode = 1;
        return;
    }
    // The lock tells whether one runs all the same (still starting, or its socket taken away):
    // then this start waits for it to answer, and never plays beside it.
    m_lock = std::make_unique<QLockFile>(InstanceLink::lockPath(m_socketPath));
    m_lock->setStaleLockTime(0); // stale only when its process is gone
    QElapsedTimer waited;
    waited.start();
    while (!m_lock->tryLock(0)) {
        if (m_lock->error() != QLockFile::LockFailedError) {
            std::fprintf(stderr, "kelvo: the instance lock %s cannot be made\n",
                         qPrintable(InstanceLink::lockPath(m_socketPath)));
            m_lock.reset();
            return;
        }
        if (handOver())
            return;
        if (waited.elapsed() > kLockWaitMs) {
            std::fputs("kelvo: another Kelvo holds this track list but does not answer; not starting a second one\n",
                       stderr);
            m_finished = true;
            m_exitCode = 1;
            return;
        }
        QThread::msleep(100);
    }
}

bool Launch::handOver()
{
    const std::optional<QByteArray> answer = InstanceLink::ask(
        m_socketPath, InstanceLink::stamped(m_command.request(), m_madeAtMs), 1000);
    if (!answer)
        return false;
    m_finished = true;
    if (answer->startsWith("late")) {
        std::fprintf(stderr, "kelvo: Kelvo answered too late (%s)\n", answer->mid(5).constData());
        m_exitCode = 1;
    } else if (answer->startsWith("off")) {
        std::fprintf(stderr, "kelvo: %s\n", answer->mid(4).constData()); // the browser remote is off
        m_exitCode = 1;
    } else if (answer->startsWith("error")) {
        std::fprintf(stderr, "kelvo: %s\n", answer->mid(6).constData());
        m_exitCode = 2;
    } else if (m_command.action == CommandLine::Action::State || m_command.action == CommandLine::Action::RemotePin) {
        std::printf("%s\n", answer->constData());
    }
    return true;
}

RemoteControl::RemoteControl(CommandSurface &commands, const Launch &launch, QMenu *menu, QObject *parent)
    : QObject(parent),
      m_commands(commands),
      m_link(this),
      m_osc(commands, this)
{
    m_link.setTarget(&commands);
    if (!launch.command().newInstance && !launch.socketPath().isEmpty()) {
        QString error;
        if (!m_link.listen(launch.socketPath(), &error))
            Diagnostics::report(QStringLiteral("instance-socket"), QString(),
                                QStringLiteral("commands from other starts will not reach this one: %1").arg(error));
    }
    m_oscAction = new QAction(this);
    m_oscAction->setObjectName(QStringLiteral("RemoteControl"));
    m_oscAction->setCheckable(true);
    menu->addAction(m_oscAction);
    connect(m_oscAction, &QAction::triggered, this, [this](bool on) {
        Settings().setOscEnabled(on);
        applyOscSettings();
    });
    applyOscSettings();
    const CommandLine &command = launch.command();
    if (command.action == CommandLine::Action::Fire && command.page > 0)
        QTimer::singleShot(0, this, [this, command] { m_commands.fireOnPage(command.page, command.slot); });
    else if (command.action == CommandLine::Action::Fire)
        QTimer::singleShot(0, this, [this, slot = command.slot] { m_commands.fire(slot); });
    else if (!command.showFile.isEmpty())
        QTimer::singleShot(
            0, this, [this, path = QFileInfo(command.showFile).absoluteFilePath()] { m_commands.openShow(path); });
    else if (command.action == CommandLine::Action::Page)
        QTimer::singleShot(0, this, [this, page = command.page] { m_commands.showPage(page); });
}

void RemoteControl::applyOscSettings()
{
    const Settings settings;
    m_osc.close();
    m_oscAction->setChecked(settings.oscEnabled());
    if (!settings.oscEnabled()) {
        m_oscAction->setText(tr("Remote control (OSC)"));
        return;
    }
    QHostAddress address(settings.oscListen());
    if (address.isNull())
        address = QHostAddress(QHostAddress::LocalHost);
    const quint16 port = settings.oscPort();
    QString error;
    if (!m_osc.listen(address, port, &error)) {
        m_oscAction->setText(tr("Remote control (OSC): port %1 in use").arg(port));
        Diagnostics::report(
            QStringLiteral("osc-listen"), QString(),
            QStringLiteral("OSC cannot listen on %1 port %2: %3").arg(address.toString()).arg(port).arg(error));
        return;
    }
    m_oscAction->setText(address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress(QHostAddress::Any)
                             ? tr("Remote control (OSC): port %1, listening on every interface").arg(port)
                             : tr("Remote control (OSC): %1 port %2").arg(address.toString()).arg(port));
}
