// The change log: every write of parameters to a sensor, by the panel's Send and by the
// commands, appended to the user's log (changes.jsonl in the user's data folder) and to a line's
// own log when its line file names one. A write is logged ahead: one JSON line before the block
// goes out, saying what is about to be written, from which file, the backup kept,
//   {"time":"2026-12-08T09:15:02.125+01:00","entry":"3f09c2d4e1a7b655","phase":"write",
//    "host":"hall1-pc","user":"ops","version":"4.51","sensor":"infeed","port":"COM3",
//    "device":"/dev/ttyUSB0","memory":"EEPROM","source":"/srv/line7/infeed.dat",
//    "backup":"","changes":[{"name":"MAXCOL-No.","offset":7,"old":3,"new":4}]}
// and one after it with its outcome:
//   {"time":"2026-12-08T09:15:02.901+01:00","entry":"3f09c2d4e1a7b655","phase":"outcome",
//    "sensor":"infeed","verify":"verified"}
// What the line service finds a sensor to hold that nothing of the program wrote (another unit
// in its place, a change made elsewhere) is one line of its own, with what it did about it:
//   {"time":...,"entry":...,"phase":"found","sensor":"infeed",...,"memory":"EEPROM",
//    "source":"found by the line service: changed elsewhere","changes":[...],
//    "verify":"left as it is"}
// A write whose outcome line never came was interrupted (the process was killed). "changes" is
// "unknown" when no read of the sensor preceded the write. Lines of older versions hold the
// whole write in one line with its "verify" and no "entry". Free of Qt; POSIX.
#pragma once

#include "sensor/wire.h"

#include <string>

struct ChangeEntry {
    std::string sensor;                    // the sensor's name
    std::string port;                      // "COM3"
    std::string device;                    // "/dev/ttyUSB0"
    int memory;                            // MEMORY_RAM, MEMORY_EEPROM
    std::string source;                    // the file the block came from; "" when none
    std::string backup;                    // the file the old block was kept in; "" when none
    const unsigned char *before = nullptr; // what the sensor held, null when unknown
    const unsigned char *after = nullptr;  // what is written
    std::string id;                        // set by LogWriteAhead: ties the outcome to it
};

// The program's folder in the user's data: $XDG_DATA_HOME/nvmxv451, else
// ~/.local/share/nvmxv451.
std::string UserDataFolder(void);
// The user's log: changes.jsonl in that folder.
std::string UserChangeLogPath(void);
// The line before the write, as one JSON line, line end included, stamped with the time, host,
// user and version; entry.id must be set.
std::string WriteAheadLine(const ChangeEntry &entry);
// The line after the write: verify is "verified", "not verified", "failed: ...", ...
std::string OutcomeLine(const ChangeEntry &entry, const std::string &verify);
// Gives the entry its id and appends its write-ahead line to the user's log and, when linePath
// is not empty, to that log too (folders made when missing). True, or false with every log
// that could not be written and why.
bool LogWriteAhead(ChangeEntry *entry, const std::string &linePath, std::string *why);
// Appends the entry's outcome to the same logs.
bool LogOutcome(const ChangeEntry &entry, const std::string &verify, const std::string &linePath,
                std::string *why);
// Logs what the line service found (entry.before what it last saw, entry.after what the sensor
// holds now) with what it did about it, in one line.
bool LogFinding(ChangeEntry *entry, const std::string &outcome, const std::string &linePath,
                std::string *why);
// Appends line (one whole JSON line) to the log at path with one write, so that lines of
// several threads or processes never interleave; a log that ends in a torn line (a full disk)
// gets the new line on a line of its own.
bool AppendLogLine(const std::string &path, const std::string &line, std::string *why);
