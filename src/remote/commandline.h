#pragma once

#include <QString>
#include <QStringList>

// What the program was asked to do on its command line.
struct CommandLine
{
    enum class Action { Run, Fire, Page, Stop, Fade, State, RemotePin, Help, Version, Bad };
    Action action = Action::Run;
    int slot = 0;             // with Fire: 1 to 12
    int page = 0;             // with Page, and with Fire when given: 1 to 99; 0: the page shown
    QString showFile;         // with Run: a show file to open (a .kelvo argument)
    bool newInstance = false; // run beside a running instance rather than hand over to it
    QString text;             // with Help, Version and Bad: what to print

    // Parses arguments (the program's name first). Exactly one of --fire N, --stop, --fade,
    // --state and --remote-pin at most; --page P alone or with --fire; one show file (*.kelvo) with neither;
    // anything else unknown, a slot that is not 1 to 12 or a page not 1 to 99, is Bad.
    static CommandLine parse(const QStringList &arguments, const QString &version);

    // The request line for a running instance ("raise" for a plain start).
    QByteArray request() const;
};
