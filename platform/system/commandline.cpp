#include "platform/system/commandline.h"

#include "nvmxv451_version.h"
#include "platform/engine/engine.h"
#include "platform/system/arguments.h"
#include "platform/system/telemetryoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int ParseCommandLine(int argc, char **argv, char *port, int size, TelemetryConfig *telemetry,
                     int *telemetryGiven) {
    QStringList arguments;
    for (int i = 0; i < argc; i++)
        arguments << ArgumentText(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The PC panel of the colour sensor.\n\nHeadless commands for scripts and "
                       "services: check, get, send, record (see '<executable_name> COMMAND "
                       "--help')."));
    QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Shows this help and ends."));
    QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Shows the program's version and ends."));
    QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Opens this serial port at start-up: a device path or COMn."),
        QStringLiteral("DEVICE|COMn"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(portOption);
    AddTelemetryOptions(parser);
    QString program = arguments.isEmpty() ? QStringLiteral(NVMX_PROGRAM) : arguments.first();

    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", qUtf8Printable(program),
                     qUtf8Printable(parser.errorText()), qUtf8Printable(program));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "%s: unexpected argument '%s'\nTry '%s --help'.\n",
                     qUtf8Printable(program), qUtf8Printable(parser.positionalArguments().first()),
                     qUtf8Printable(program));
        return 2;
    }
    if (parser.isSet(help)) {
        // The application object, which would name the program, does not exist yet.
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), program);
        std::fputs(qUtf8Printable(text), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", NVMX_PROGRAM, NVMX_VERSION);
        return 0;
    }
    bool given = false;
    QString why;
    const bool portFits =
        EngineCopyWholeText(ArgumentBytes(parser.value(portOption)), port, size) == 0;
    if (!portFits)
        why = QStringLiteral("--port is too long");
    if (!portFits || !ApplyTelemetryOptions(parser, telemetry, &given, &why)) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", qUtf8Printable(program),
                     qUtf8Printable(why), qUtf8Printable(program));
        return 2;
    }
    *telemetryGiven = given ? 1 : 0;
    return COMMAND_LINE_RUN;
}
