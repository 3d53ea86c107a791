// The headless commands' command lines over QCommandLineParser.
#include "platform/system/plantcommandline.h"

#include "nvmxv451_version.h"

#include "platform/engine/engine.h"
#include "platform/system/arguments.h"
#include "platform/system/telemetryoptions.h"
#include "platform/system/telemetrysettings.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>
#include <cstring>

namespace {

struct CommandText {
    const char *name;
    int command;
    const char *summary;
};
const CommandText commands[] = {
    {"check", PLANT_CHECK, "Checks the line to the sensor: prints LINE OK or why not."},
    {"get", PLANT_GET,
     "Reads the sensor's 84-byte parameter block from RAM or EEPROM into a .dat parameter file "
     "(written whole or not at all), or prints it."},
    {"send", PLANT_SEND,
     "Sends a .dat parameter file to the sensor's RAM or EEPROM. A bad file is refused before "
     "anything reaches the line."},
    {"record", PLANT_RECORD,
     "Records the measurement transfer to a CSV file until --seconds have passed or it is "
     "interrupted (Ctrl+C, SIGTERM); the file stays whole."},
};

const char exitCodes[] =
    "\nSeveral --port options run the command on every port at once and report per port.\n"
    "Results go to standard output, one line per port (--json: one JSON object per line);\n"
    "progress and errors go to standard error.\n"
    "\nExit codes (several ports: 0 when all succeeded, else the code of the first port that\n"
    "failed, in the order given):\n"
    "  0  success\n"
    "  1  the sensor did not answer, or answered short, long or wrong (TIMEOUT)\n"
    "  2  usage: unknown command or option, a missing or bad value\n"
    "  3  a parameter file refused, or an output file not written\n"
    "  4  the serial port did not open\n"
    "  5  the line was lost: the device went away during the command\n"
    "  6  send --verify read back a block other than the one sent\n"
    "  7  the broker settings cannot work (a CA file that cannot be read, a bad prefix)\n";

const CommandText *FindCommand(const char *word) {
    for (const CommandText &command : commands)
        if (word != nullptr && std::strcmp(word, command.name) == 0)
            return &command;
    return nullptr;
}

int Usage(const QString &program, const QString &why) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", qUtf8Printable(program), qUtf8Printable(why),
                 qUtf8Printable(program));
    return PLANT_EXIT_USAGE;
}

// A path or a port as the user gave it, in bytes; one that does not fit is refused, since cut
// it would name another file.
bool CopyOption(const QString &value, char *target, const char *option, QString *why) {
    if (EngineCopyWholeText(ArgumentBytes(value), target, MAX_PATHNAME_LEN) == 0)
        return true;
    *why = QStringLiteral("%1 is too long (at most %2 bytes)")
               .arg(QString::fromLatin1(option))
               .arg(MAX_PATHNAME_LEN - 1);
    return false;
}

bool ParseMemory(const QString &value, int *memory) {
    if (value.compare(QStringLiteral("ram"), Qt::CaseInsensitive) == 0)
        *memory = PLANT_RAM;
    else if (value.compare(QStringLiteral("eeprom"), Qt::CaseInsensitive) == 0)
        *memory = PLANT_EEPROM;
    else
        return false;
    return true;
}

void AddCommandOptions(QCommandLineParser &parser, int command) {
    parser.addOption({{QStringLiteral("p"), QStringLiteral("port")},
                      QStringLiteral("The sensor's serial port: a device path, COMn or n. Give it "
                                     "again for more sensors."),
                      QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("json"), QStringLiteral("One JSON line per port.")});
    if (command == PLANT_GET) {
        parser.addOption(
            {QStringLiteral("from"), QStringLiteral("ram or eeprom."), QStringLiteral("MEMORY")});
        parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                          QStringLiteral("Writes the block to FILE.dat (several ports: the port "
                                         "is added to the name, FILE-COM3.dat)."),
                          QStringLiteral("FILE")});
    } else if (command == PLANT_SEND) {
        parser.addPositionalArgument(QStringLiteral("FILE.dat"),
                                     QStringLiteral("The parameter file to send."));
        parser.addOption(
            {QStringLiteral("to"), QStringLiteral("ram or eeprom."), QStringLiteral("MEMORY")});
        parser.addOption({QStringLiteral("verify"),
                          QStringLiteral("Reads the block back and compares it byte for byte.")});
        parser.addOption({QStringLiteral("backup"),
                          QStringLiteral("Reads the sensor's block from the same memory into "
                                         "FILE.dat first; nothing is sent when that fails."),
                          QStringLiteral("FILE")});
    } else if (command == PLANT_RECORD) {
        parser.addOption({QStringLiteral("seconds"),
                          QStringLiteral("Ends after N seconds (default: until interrupted)."),
                          QStringLiteral("N")});
        parser.addOption({QStringLiteral("out"),
                          QStringLiteral("Records to FILE.csv, which must not exist (several "
                                         "ports: FILE-COM3.csv)."),
                          QStringLiteral("FILE")});
        parser.addOption({QStringLiteral("folder"),
                          QStringLiteral("Records to a new file named by the date and time (and "
                                         "the port, with several) in DIR; default: the panel's "
                                         "recording folder."),
                          QStringLiteral("DIR")});
    }
    AddTelemetryOptions(parser);
}

void PrintHelp(QCommandLineParser &parser, const QString &program) {
    QString text = parser.helpText();
    text.replace(QStringLiteral("<executable_name>"), program);
    std::fputs(qUtf8Printable(text), stdout);
    std::fputs(exitCodes, stdout);
}

// The options of the command into options; false with the reason in why.
bool TakeCommandOptions(const QCommandLineParser &parser, int command, PlantOptions *options,
                        QString *why) {
    const QStringList ports = parser.values(QStringLiteral("port"));
    if (ports.isEmpty()) {
        *why = QStringLiteral("--port is missing");
        return false;
    }
    if (ports.size() > PLANT_MAX_PORTS) {
        *why = QStringLiteral("at most %1 ports at once").arg(PLANT_MAX_PORTS);
        return false;
    }
    for (const QString &port : ports)
        if (!CopyOption(port, options->port[options->portCount++], "--port", why))
            return false;
    options->json = parser.isSet(QStringLiteral("json"));
    const QStringList positional = parser.positionalArguments();
    if (command == PLANT_SEND ? positional.size() != 1 : !positional.isEmpty()) {
        *why = command == PLANT_SEND
                   ? QStringLiteral("send wants one parameter file")
                   : QStringLiteral("unexpected argument '%1'").arg(positional.first());
        return false;
    }
    if (command == PLANT_GET || command == PLANT_SEND) {
        const QString option = command == PLANT_GET ? QStringLiteral("from") : QStringLiteral("to");
        if (!ParseMemory(parser.value(option), &options->memory)) {
            *why = QStringLiteral("--%1 wants ram or eeprom").arg(option);
            return false;
        }
    }
    if (command == PLANT_GET &&
        !CopyOption(parser.value(QStringLiteral("output")), options->output, "-o", why))
        return false;
    if (command == PLANT_GET && ports.size() > 1 && options->output[0] == '\0' && !options->json) {
        *why = QStringLiteral("several ports want -o FILE.dat (or --json)");
        return false;
    }
    if (command == PLANT_SEND) {
        options->verify = parser.isSet(QStringLiteral("verify"));
        if (!CopyOption(positional.first(), options->file, "the file", why) ||
            !CopyOption(parser.value(QStringLiteral("backup")), options->backup, "--backup", why))
            return false;
    }
    if (command == PLANT_RECORD) {
        if (!CopyOption(parser.value(QStringLiteral("out")), options->output, "--out", why) ||
            !CopyOption(parser.value(QStringLiteral("folder")), options->folder, "--folder", why))
            return false;
        if (options->output[0] && options->folder[0]) {
            *why = QStringLiteral("--out and --folder exclude each other");
            return false;
        }
        if (parser.isSet(QStringLiteral("seconds"))) {
            bool ok = false;
            options->seconds = parser.value(QStringLiteral("seconds")).toDouble(&ok);
            if (!ok || !(options->seconds > 0)) { // also refuses nan
                *why = QStringLiteral("--seconds wants a number of seconds above 0");
                return false;
            }
        }
    }
    bool given = false;
    return ApplyTelemetryOptions(parser, &options->telemetry, &given, why);
}

} // namespace

int IsPlantCommand(const char *word) {
    return FindCommand(word) != nullptr;
}

int ParsePlantCommandLine(int argc, char **argv, PlantOptions *options) {
    std::memset(options, 0, sizeof *options);
    const CommandText *command = argc > 1 ? FindCommand(argv[1]) : nullptr;
    const QString program =
        QStringLiteral("%1 %2").arg(QString::fromLocal8Bit(argc > 0 ? argv[0] : NVMX_PROGRAM),
                                    QString::fromLatin1(command ? command->name : ""));
    if (command == nullptr)
        return Usage(program, QStringLiteral("no such command"));
    options->command = command->command;
    LoadTelemetrySettings(&options->telemetry);

    QStringList arguments{program};
    for (int i = 2; i < argc; i++)
        arguments << ArgumentText(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(command->summary));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    parser.addOption(help);
    AddCommandOptions(parser, command->command);
    if (!parser.parse(arguments))
        return Usage(program, parser.errorText());
    if (parser.isSet(help)) {
        PrintHelp(parser, program);
        return 0;
    }
    QString why;
    if (!TakeCommandOptions(parser, command->command, options, &why))
        return Usage(program, why);
    return PLANT_RUN;
}
