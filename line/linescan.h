// A line file's text looked over before toml++ parses it, for what that parser does not survive:
// nesting deep enough to exhaust the stack (a table header or a dotted key of some hundred
// thousand levels), and characters that its whitespace test mishandles (U+FB26 to U+FEFE reach
// an unreachable point of it) where it applies that test: outside quotes and after a backslash
// in a string. The keys of a line file are plain words, so nothing valid is lost by allowing only
// ASCII there. Free of Qt.
#pragma once

#include <string>

// The deepest a value may sit: table header levels, key levels, arrays and inline tables.
enum { LINE_FILE_MAX_DEPTH = 32 };

// "" when text may go to the parser; else what is wrong, with *line (from 1) set to where.
std::string LineTextFault(const std::string &text, int *line);
