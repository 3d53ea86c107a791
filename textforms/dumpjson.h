// JSON text of the program's reports and payloads, written by nlohmann. Free of Qt.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// The bytes a text's JSON takes at most for each of its bytes ("\u001f", "\udcff").
enum { JSON_TEXT_GROWTH = 6 };

// value as JSON on one line, keys in the order given. nlohmann writes every part of it; only a
// byte of a text that begins no UTF-8 character (a file name that is not UTF-8), which its writer
// cannot carry, becomes the escape of the lone surrogate U+DC00 + byte: the line stays valid
// UTF-8 and the byte can be recovered (Python's os.fsencode does).
std::string DumpJson(const nlohmann::ordered_json &value);
