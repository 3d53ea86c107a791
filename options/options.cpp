// Option tables and parsed command lines.
#include "options/options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void ParsedCommandLine::add(const std::string &longName, const std::string &value) {
    for (auto &[name, values] : given_) {
        if (name == longName) {
            values.push_back(value);
            return;
        }
    }
    given_.push_back({longName, {value}});
}

bool ParsedCommandLine::isSet(const char *longName) const {
    return !values(longName).empty();
}

std::string ParsedCommandLine::value(const char *longName) const {
    const std::vector<std::string> all = values(longName);
    return all.empty() ? std::string() : all.back();
}

std::vector<std::string> ParsedCommandLine::values(const char *longName) const {
    for (const auto &[name, values] : given_)
        if (name == longName)
            return values;
    return {};
}

std::string LongName(const OptionForm &option) {
    const char *comma = std::strchr(option.names, ',');
    return comma ? std::string(comma + 1) : std::string(option.names);
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
