// JSON strings as the program's reports and payloads write them. Free of Qt.
#pragma once

#include <cstddef>
#include <string>

// The room a JSON string of a text of length bytes needs at most, quotes and terminator included.
constexpr size_t JsonStringRoom(size_t length) {
    return 6 * length + 3;
}
// value as a JSON string, quotes included, into text of size bytes: quotes, backslashes and
// control characters escaped. A value that does not fit is cut at a character's escape, so the
// string stays valid. Returns its length.
size_t FormatJsonString(const char *value, char *text, size_t size);
// value as a JSON string, quotes included, whatever its length.
std::string JsonString(const std::string &value);
