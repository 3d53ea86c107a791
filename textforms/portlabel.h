// The label of a COM port as reports, records, file names, topics, the change log and the port
// list show it: "COM3". On Windows it is the port's device name as well.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

enum { PORT_LABEL_LEN = 16 }; // "COM" and any int, terminator included

// Writes the label of port into label (size bytes) and returns label.
inline const char *FormatPortLabel(char *label, std::size_t size, int port) {
    std::snprintf(label, size, "COM%d", port);
    return label;
}

inline std::string PortLabel(int port) {
    char label[PORT_LABEL_LEN];
    return FormatPortLabel(label, sizeof label, port);
}
