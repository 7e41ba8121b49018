#include "remote/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

CommandLine CommandLine::parse(const QStringList &arguments, const QString &version)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "CommandLine",
        "Kelvo, a cart wall of twelve buttons. With a command, acts on the Kelvo already running "
        "with the same track list, as a click or a key would (for desktop shortcuts and scripts)."));
    const QCommandLineOption fire(
        QStringLiteral("fire"),
        QCoreApplication::translate(
            "CommandLine", "Plays slot N (1-12), or stops it when it plays; starts Kelvo first when none runs."),
        QStringLiteral("N"));
    const QCommandLineOption stop(QStringLiteral("stop"),
                                  QCoreApplication::translate("CommandLine", "Stops what plays."));
    const QCommandLineOption fade(QStringLiteral("fade"),
                                  QCoreApplication::translate("CommandLine", "Fades out what plays."));
    const QCommandLineOption state(
        QStringLiteral("state"),
        QCoreApplication::translate("CommandLine",
                                    "Prints the playing slot (0: none), the remaining and the total seconds."));
    const QCommandLineOption newInstance(
        QStringLiteral("new-instance"),
        QCoreApplication::translate("CommandLine", "Starts a Kelvo of its own even when one runs."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("CommandLine", "Shows this help."));
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                           QCoreApplication::translate("CommandLine", "Shows the version."));
    parser.addOptions({fire, stop, fade, state, newInstance, help, versionOption});

    const QString usage = QStringLiteral(
        "Usage: kelvo [--new-instance] [--fire N | --stop | --fade | --state] (kelvo --help tells more)");
    CommandLine command;
    const auto bad = [&](const QString &why) {
        command.action = Action::Bad;
        command.slot = 0;
        command.text = QStringLiteral("kelvo: %1\n%2\n").arg(why, usage);
        return command;
    };
    if (!parser.parse(arguments))
        return bad(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return bad(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst().left(80)));
    if (parser.isSet(help)) {
        command.action = Action::Help;
        command.text = parser.helpText();
        return command;
    }
    if (parser.isSet(versionOption)) {
        command.action = Action::Version;
        command.text = QStringLiteral("kelvo %1\n").arg(version);
        return command;
    }
    command.newInstance = parser.isSet(newInstance);
    const int given = int(parser.isSet(fire)) + int(parser.isSet(stop)) + int(parser.isSet(fade))
        + int(parser.isSet(state));
    if (given > 1 || parser.values(fire).size() > 1)
        return bad(QStringLiteral("one command at a time"));
    if (parser.isSet(fire)) {
        bool ok = false;
        command.slot = parser.value(fire).trimmed().toInt(&ok);
        if (!ok || command.slot < 1 || command.slot > 12)
            return bad(QStringLiteral("--fire takes a slot from 1 to 12, not \"%1\"").arg(parser.value(fire).left(20)));
        command.action = Action::Fire;
    } else if (parser.isSet(stop)) {
        command.action = Action::Stop;
    } else if (parser.isSet(fade)) {
        command.action = Action::Fade;
    } else if (parser.isSet(state)) {
        command.action = Action::State;
    }
    return command;
}

QByteArray CommandLine::request() const
{
    switch (action) {
    case Action::Fire:
        return "fire " + QByteArray::number(slot);
    case Action::Stop:
        return "stop";
    case Action::Fade:
        return "fade";
    case Action::State:
        return "state";
    default:
        return "raise";
    }
}
