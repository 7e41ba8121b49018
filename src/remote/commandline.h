#pragma once

#include <QString>
#include <QStringList>

// What the program was asked to do on its command line.
struct CommandLine
{
    enum class Action { Run, Fire, Stop, Fade, State, Help, Version, Bad };
    Action action = Action::Run;
    int slot = 0;             // with Fire: 1 to 12
    bool newInstance = false; // run beside a running instance rather than hand over to it
    QString text;             // with Help, Version and Bad: what to print

    // Parses arguments (the program's name first). Exactly one of --fire N, --stop, --fade and
    // --state at most; anything else unknown, or a slot that is not 1 to 12, is Bad.
    static CommandLine parse(const QStringList &arguments, const QString &version);

    // The request line for a running instance ("raise" for a plain start).
    QByteArray request() const;
};
