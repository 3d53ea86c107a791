// Command lines as the program's commands describe them: a table of options, and what a parsed
// command line gave for each. Free of Qt; the parsing itself is the platform's
// (platform/system/optionparser.h), so that a command states its options without Qt.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One option: its names ("o,output": a one-letter name and a long one, or the long one alone),
// the name of its value ("FILE"; null for a switch) and its help line. An option may take
// several words ("--row N FILE": valueName "N FILE", words 2); what it wants, for a person told
// that words are missing, is then said in wanted ("a row number and a recording").
struct OptionForm {
    const char *names;
    const char *valueName;
    const char *help;
    int words = 1;
    const char *wanted = nullptr;
};

// A command line: who it is, its options in the order the help lists them, its positional
// argument and what the help says after the options.
struct CommandLineForm {
    std::string program;     // "nvmxv451 get": names it in the help and in the errors
    std::string description; // the help's first paragraph
    std::vector<OptionForm> options;
    const char *positionalName = nullptr; // null: the command takes no positional argument
    const char *positionalHelp = "";
    const char *epilogue = "";
};

// What a command line gave, as bytes (a file name need not be UTF-8).
class ParsedCommandLine {
  public:
    // Records value for the option with this long name (a switch: "").
    void add(const std::string &longName, const std::string &value);
    // Records one use of an option of several words.
    void addWords(const std::string &longName, const std::vector<std::string> &words);
    bool isSet(const char *longName) const;
    // The last value given (of an option of several words, its first word), or "".
    std::string value(const char *longName) const;
    // Every value given, in order (of an option of several words, each use's words in turn).
    std::vector<std::string> values(const char *longName) const;
    // Every use of the option, in order, with its words.
    std::vector<std::vector<std::string>> uses(const char *longName) const;

    std::vector<std::string> positional;

  private:
    struct Use {
        std::string name;
        std::vector<std::string> words;
    };
    std::vector<Use> given_;
};

// The long name of an option ("output" of "o,output").
std::string LongName(const OptionForm &option);
// The option of form that word names as typed ("-o", "--o", "--output"), or null.
const OptionForm *OptionNamed(const CommandLineForm &form, const std::string &word);
// A decimal number in low..high; nan, the infinities and trailing text are none.
bool ParseNumber(const std::string &text, double low, double high, double *value);
// Copies text into target (size bytes) only when it fits whole: cut, a name would name another
// file.
bool CopyWhole(const std::string &text, char *target, size_t size);
// "PROGRAM: why" and "Try 'PROGRAM --help'." on standard error; returns the usage exit code 2.
int UsageError(const std::string &program, const std::string &why);
