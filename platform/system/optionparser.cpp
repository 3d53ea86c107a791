// Option tables over QCommandLineParser, which gives the help its layout.
#include "platform/system/optionparser.h"

#include "platform/system/arguments.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

namespace {

// Qt lays the options out within 79 columns; the description it prints as given.
constexpr int HELP_WIDTH = 79;

CommandLineFormObserver formObserver = nullptr;
void *formObserverContext = nullptr;

// Every line of text longer than the help's width broken at its last blank within it.
QString Wrapped(const QString &text) {
    QStringList lines;
    for (QString rest : text.split(QLatin1Char('\n'))) {
        int cut = 0;
        while (rest.size() > HELP_WIDTH &&
               (cut = rest.lastIndexOf(QLatin1Char(' '), HELP_WIDTH)) > 0) {
            lines << rest.left(cut);
            rest = rest.mid(cut + 1);
        }
        lines << rest;
    }
    return lines.join(QLatin1Char('\n'));
}

QCommandLineOption QtOption(const OptionForm &option) {
    const QStringList names =
        QString::fromUtf8(option.names).split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (option.valueName == nullptr)
        return QCommandLineOption(names, QString::fromUtf8(option.help));
    return QCommandLineOption(names, QString::fromUtf8(option.help),
                              QString::fromUtf8(option.valueName));
}

void PrintHelp(const QCommandLineParser &parser, const CommandLineForm &form) {
    QString text = parser.helpText();
    text.replace(QStringLiteral("<executable_name>"), QString::fromStdString(form.program));
    std::fputs(qUtf8Printable(text), stdout);
    std::fputs(form.epilogue, stdout);
}

} // namespace

int ParseOptions(const CommandLineForm &form, int argc, char **argv, int first,
                 ParsedCommandLine *parsed) {
    if (formObserver != nullptr) {
        formObserver(form, formObserverContext);
        return 0;
    }
    QStringList arguments{QString::fromStdString(form.program)};
    for (int i = first; i < argc; i++)
        arguments << ArgumentText(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(Wrapped(QString::fromStdString(form.description)));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    parser.addOption(help);
    for (const OptionForm &option : form.options)
        parser.addOption(QtOption(option));
    if (form.positionalName != nullptr)
        parser.addPositionalArgument(QString::fromUtf8(form.positionalName),
                                     QString::fromUtf8(form.positionalHelp));
    if (!parser.parse(arguments))
        return UsageError(form.program, parser.errorText().toStdString());
    if (parser.isSet(help)) {
        PrintHelp(parser, form);
        return 0;
    }
    for (const OptionForm &option : form.options) {
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

void ObserveCommandLineForms(CommandLineFormObserver observer, void *context) {
    formObserver = observer;
    formObserverContext = context;
}
