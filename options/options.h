// Command lines as the program's commands describe them: a table of options, and what a parsed
// command line gave for each. Free of Qt; the parsing itself is the platform's
// (platform/system/optionparser.h), so that a command states its options without Qt.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// One option: its names ("o,output": a one-letter name and a long one, or the long one alone),
// the name of its value ("FILE"; null for a switch) and its help line.
struct OptionForm {
    const char *names;
    const char *valueName;
    const char *help;
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
    bool isSet(const char *longName) const;
    // The last value given, or "".
    std::string value(const char *longName) const;
    // Every value given, in order.
    std::vector<std::string> values(const char *longName) const;

    std::vector<std::string> positional;

  private:
    std::vector<std::pair<std::string, std::vector<std::string>>> given_;
};

// The long name of an option ("output" of "o,output").
std::string LongName(const OptionForm &option);
// A decimal number in low..high; nan, the infinities and trailing text are none.
bool ParseNumber(const std::string &text, double low, double high, double *value);
// Copies text into target (size bytes) only when it fits whole: cut, a name would name another
// file.
bool CopyWhole(const std::string &text, char *target, size_t size);
// "PROGRAM: why" and "Try 'PROGRAM --help'." on standard error; returns the usage exit code 2.
int UsageError(const std::string &program, const std::string &why);
