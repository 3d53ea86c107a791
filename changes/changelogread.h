// Reading the change log back: every write with the outcome that followed it, each line checked
// for the kinds of its values, so that a line the program cannot use (torn by a full disk,
// edited by hand, of another program) is reported by its number and skipped, never taken for
// something it is not. Free of Qt.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

// The outcome of a write whose outcome line never came: the writing process was killed.
extern const char outcomeUnknown[]; // "interrupted: outcome unknown"

struct LoggedWrite {
    long line; // the number of the line that logged it, from 1
    std::string time, sensor, port, memory, source, backup;
    bool changesKnown;
    std::vector<std::string> changes; // "MAXCOL-No. 3->4"
    std::string verify;               // the outcome, or outcomeUnknown
    nlohmann::json json;              // the whole write as one object, outcome included
};

struct ChangeLogRead {
    std::vector<LoggedWrite> writes;   // in the order they were logged
    std::vector<std::string> problems; // "line 7: not a change-log entry (...), skipped"
};

// The writes of a log's text.
ChangeLogRead ReadChangeLog(const std::string &text);
// "2026-12-08T09:15:02.125+01:00 infeed COM3 EEPROM from infeed.dat: MAXCOL-No. 3->4; verified"
std::string DescribeLoggedWrite(const LoggedWrite &write);
