// Option tables over QCommandLineParser, which gives the help its layout.
#include "platform/system/optionparser.h"

#include "platform/system/arguments.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>
#include <string>
#include <vector>

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

// Takes each use of an option of several words out of argv[first] .. argv[argc - 1] into parsed,
// which Qt's parser cannot (it takes one value per option); every other word goes on to rest in
// its order. The value of a one-word option given apart ("-o FILE") goes on with its option, so
// that a value is never taken for an option. Returns false with why.
bool TakeSeveralWordOptions(const CommandLineForm &form, int argc, char **argv, int first,
                            ParsedCommandLine *parsed, QStringList *rest, std::string *why) {
    for (int i = first; i < argc; i++) {
        const std::string word = argv[i];
        if (word == "--") { // the rest are positional arguments, whatever they look like
            for (; i < argc; i++)
                *rest << ArgumentText(argv[i]);
            break;
        }
        const size_t equals = word.find('=');
        const OptionForm *option = OptionNamed(form, word.substr(0, equals));
        if (option == nullptr || option->words <= 1) {
            *rest << ArgumentText(argv[i]);
            if (option != nullptr && option->valueName != nullptr && equals == std::string::npos &&
                i + 1 < argc)
                *rest << ArgumentText(argv[++i]);
            continue;
        }
        if (equals != std::string::npos || i + option->words >= argc) {
            *why = "--" + LongName(*option) + " wants " +
                   (option->wanted != nullptr ? option->wanted : option->valueName);
            return false;
        }
        parsed->addWords(LongName(*option),
                         std::vector<std::string>(argv + i + 1, argv + i + 1 + option->words));
        i += option->words;
    }
    return true;
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
    std::string why;
    if (!TakeSeveralWordOptions(form, argc, argv, first, parsed, &arguments, &why))
        return UsageError(form.program, why);
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
        if (option.words > 1) // taken above
            continue;
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
