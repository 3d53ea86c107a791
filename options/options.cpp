// Option tables and parsed command lines.
#include "options/options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void ParsedCommandLine::add(const std::string &longName, const std::string &value) {
    given_.push_back(Use{longName, {value}});
}

void ParsedCommandLine::addWords(const std::string &longName,
                                 const std::vector<std::string> &words) {
    given_.push_back(Use{longName, words});
}

bool ParsedCommandLine::isSet(const char *longName) const {
    return !uses(longName).empty();
}

std::string ParsedCommandLine::value(const char *longName) const {
    const std::vector<std::vector<std::string>> all = uses(longName);
    return all.empty() || all.back().empty() ? std::string() : all.back().front();
}

std::vector<std::string> ParsedCommandLine::values(const char *longName) const {
    std::vector<std::string> words;
    for (const std::vector<std::string> &use : uses(longName))
        words.insert(words.end(), use.begin(), use.end());
    return words;
}

std::vector<std::vector<std::string>> ParsedCommandLine::uses(const char *longName) const {
    std::vector<std::vector<std::string>> found;
    for (const Use &use : given_)
        if (use.name == longName)
            found.push_back(use.words);
    return found;
}

std::string LongName(const OptionForm &option) {
    const char *comma = std::strchr(option.names, ',');
    return comma ? std::string(comma + 1) : std::string(option.names);
}

const OptionForm *OptionNamed(const CommandLineForm &form, const std::string &word) {
    for (const OptionForm &option : form.options) {
        const std::string names = option.names;
        for (size_t start = 0; start <= names.size();) {
            const size_t comma = std::min(names.find(',', start), names.size());
            const std::string name = names.substr(start, comma - start);
            // A one-letter name is typed with one dash too; a longer one after one dash would be
            // letters of one-letter options.
            if (word == "--" + name || (name.size() == 1 && word == "-" + name))
                return &option;
            start = comma + 1;
        }
    }
    return nullptr;
}

bool ParseNumber(const std::string &text, double low, double high, double *value) {
    // Decimal notation only: strtod would also take hexadecimal numbers and "nan".
    if (text.empty() || text.find_first_not_of(" +-.0123456789eE") != std::string::npos)
        return false;
    char *end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    while (end && *end == ' ')
        end++;
    if (end == text.c_str() || *end != '\0' || !std::isfinite(number) || number < low ||
        number > high)
        return false;
    *value = number;
    return true;
}

bool CopyWhole(const std::string &text, char *target, size_t size) {
    if (size == 0 || text.size() >= size || text.find('\0') != std::string::npos)
        return false;
    std::memcpy(target, text.c_str(), text.size() + 1);
    return true;
}

int UsageError(const std::string &program, const std::string &why) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program.c_str(), why.c_str(),
                 program.c_str());
    return 2;
}
