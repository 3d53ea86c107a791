// The change log: one JSON line for every write of parameters to a sensor, by the panel's Send
// and by the commands, appended to the user's log (changes.jsonl in the user's data folder) and
// to a line's own log when its line file names one:
//   {"time":"2026-12-08T09:15:02.125+01:00","host":"hall1-pc","user":"ops","version":"4.51",
//    "sensor":"infeed","port":"COM3","device":"/dev/ttyUSB0","memory":"EEPROM",
//    "source":"/srv/line7/infeed.dat","changes":[{"name":"MAXCOL-No.","offset":7,"old":3,
//    "new":4}],"verify":"verified"}
// "changes" is "unknown" when no read of the sensor preceded the write. Free of Qt; POSIX.
#pragma once

#include "sensor/wire.h"

#include <string>

struct ChangeEntry {
    std::string sensor;                    // the sensor's name
    std::string port;                      // "COM3"
    std::string device;                    // "/dev/ttyUSB0"
    int memory;                            // MEMORY_RAM, MEMORY_EEPROM
    std::string source;                    // the file the block came from; "" when none
    const unsigned char *before = nullptr; // what the sensor held, null when unknown
    const unsigned char *after = nullptr;  // what was written
    std::string verify;                    // "verified", "not verified", "failed: ...", ...
};

// The program's folder in the user's data: $XDG_DATA_HOME/nvmxv451, else
// ~/.local/share/nvmxv451.
std::string UserDataFolder(void);
// The user's log: changes.jsonl in that folder.
std::string UserChangeLogPath(void);
// The entry as one JSON line, line end included, stamped with the time, host, user and version.
std::string ChangeLine(const ChangeEntry &entry);
// Appends the entry to the user's log and, when linePath is not empty, to that log too, each
// with one append of the whole line (its folders made when missing). Returns true, or false
// with every log that could not be written and why.
bool AppendChange(const ChangeEntry &entry, const std::string &linePath, std::string *why);
// The panel's Send of block to memory on COM port comPort, from the file source ("" when the
// set was not loaded from one), as one entry: the sensor named by its device, the changes
// "unknown" (the panel keeps no read to compare with), "not verified" when written. A log that
// cannot be written is told on standard error.
void LogPanelSend(int comPort, int memory, const unsigned char *block, const char *source,
                  bool written);
