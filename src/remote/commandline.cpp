#include "remote/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

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
    const QCommandLineOption page(
        QStringLiteral("page"),
        QCoreApplication::translate("CommandLine", "Shows page P (1-99); with --fire, fires slot N on it."),
        QStringLiteral("P"));
    const QCommandLineOption stop(QStringLiteral("stop"),
                                  QCoreApplication::translate("CommandLine", "Stops what plays."));
    const QCommandLineOption fade(QStringLiteral("fade"),
                                  QCoreApplication::translate("CommandLine", "Fades out what plays."));
    const QCommandLineOption state(
        QStringLiteral("state"),
        QCoreApplication::translate("CommandLine",
                                    "Prints the playing slot (0: none), the remaining and the total seconds, the "
                                    "playing slot's page (0: none) and the page shown."));
    const QCommandLineOption remotePin(
        QStringLiteral("remote-pin"),
        QCoreApplication::translate("CommandLine", "Prints the PIN that pairs a browser with the browser remote."));
    const QCommandLineOption newInstance(
        QStringLiteral("new-instance"),
        QCoreApplication::translate("CommandLine", "Starts a Kelvo of its own even when one runs."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("CommandLine", "Shows this help."));
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                           QCoreApplication::translate("CommandLine", "Shows the version."));
    parser.addOptions({fire, page, stop, fade, state, remotePin, newInstance, help, versionOption});
    parser.addPositionalArgument(QStringLiteral("show"),
                                 QCoreApplication::translate("CommandLine", "A show file (.kelvo) to open."),
                                 QStringLiteral("[SHOW.kelvo]"));

    const QString usage = QStringLiteral(
        "Usage: kelvo [--new-instance] [--page P] [--fire N | --stop | --fade | --state | --remote-pin] [SHOW.kelvo] "
        "(kelvo --help tells more)");
    CommandLine command;
    const auto bad = [&](const QString &why) {
        command.action = Action::Bad;
        command.slot = 0;
        command.text = QStringLiteral("kelvo: %1\n%2\n").arg(why, usage);
        return command;
    };
    if (!parser.parse(arguments))
        return bad(parser.errorText());
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1 || (positional.size() == 1 && !positional.constFirst().endsWith(QLatin1String(".kelvo"))))
        return bad(QStringLiteral("unexpected argument \"%1\"").arg(positional.constLast().left(80)));
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
        + int(parser.isSet(state)) + int(parser.isSet(remotePin));
    if (given > 1 || parser.values(fire).size() > 1 || parser.values(page).size() > 1
        || (parser.isSet(page) && given > int(parser.isSet(fire))))
        return bad(QStringLiteral("one command at a time"));
    if (!positional.isEmpty() && (given > 0 || parser.isSet(page)))
        return bad(QStringLiteral("a show file opens on its own, without a command"));
    if (!positional.isEmpty())
        command.showFile = positional.constFirst();
    if (parser.isSet(page)) {
        bool ok = false;
        command.page = parser.value(page).trimmed().toInt(&ok);
        if (!ok || command.page < 1 || command.page > 99)
            return bad(QStringLiteral("--page takes a page from 1 to 99, not \"%1\"").arg(parser.value(page).left(20)));
        command.action = Action::Page;
    }
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
    } else if (parser.isSet(remotePin)) {
        command.action = Action::RemotePin;
    }
    return command;
}

QByteArray CommandLine::request() const
{
    switch (action) {
    case Action::Fire:
        return page > 0 ? "fire " + QByteArray::number(page) + ' ' + QByteArray::number(slot)
                        : "fire " + QByteArray::number(slot);
    case Action::Page:
        return "page " + QByteArray::number(page);
    case Action::Stop:
        return "stop";
    case Action::Fade:
        return "fade";
    case Action::State:
        return "state";
    case Action::RemotePin:
        return "remote-pin";
    default:
        return showFile.isEmpty() ? QByteArray("raise") : "open " + QFileInfo(showFile).absoluteFilePath().toUtf8();
    }
}
