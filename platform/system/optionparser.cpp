// Option tables over QCommandLineParser, which gives the help its layout.
#include "platform/system/optionparser.h"

#include "platform/system/arguments.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

namespace {

QCommandLineOption QtOption(const OptionSpec &option) {
    const QStringList names =
        QString::fromUtf8(option.names).split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (option.valueName == nullptr)
        return QCommandLineOption(names, QString::fromUtf8(option.help));
    return QCommandLineOption(names, QString::fromUtf8(option.help),
                              QString::fromUtf8(option.valueName));
}

void PrintHelp(const QCommandLineParser &parser, const CommandLineSpec &spec) {
    QString text = parser.helpText();
    text.replace(QStringLiteral("<executable_name>"), QString::fromStdString(spec.program));
    std::fputs(qUtf8Printable(text), stdout);
    std::fputs(spec.epilogue, stdout);
}

} // namespace

int ParseOptions(const CommandLineSpec &spec, int argc, char **argv, int first,
                 ParsedCommandLine *parsed) {
    QStringList arguments{QString::fromStdString(spec.program)};
    for (int i = first; i < argc; i++)
        arguments << ArgumentText(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromStdString(spec.description));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    parser.addOption(help);
    for (const OptionSpec &option : spec.options)
        parser.addOption(QtOption(option));
    if (spec.positionalName != nullptr)
        parser.addPositionalArgument(QString::fromUtf8(spec.positionalName),
                                     QString::fromUtf8(spec.positionalHelp));
    if (!parser.parse(arguments))
        return UsageError(spec.program, parser.errorText().toStdString());
    if (parser.isSet(help)) {
        PrintHelp(parser, spec);
        return 0;
    }
    for (const OptionSpec &option : spec.options) {
        const QString name = QString::fromStdString(LongName(option));
        if (option.valueName == nullptr && parser.isSet(name))
            parsed->add(LongName(option), std::string());
        for (const QString &value : parser.values(name))
            parsed->add(LongName(option), ArgumentBytes(value).toStdString());
    }
    for (const QString &argument : parser.positionalArguments())
        parsed->positional.push_back(ArgumentBytes(argument).toStdString());
    return COMMAND_LINE_RUN;
}
