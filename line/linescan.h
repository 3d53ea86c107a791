// A line file's text looked over before toml++ parses it, for what that parser does not survive:
// nesting deep enough to exhaust the stack (a table header or a dotted key of some hundred
// thousand levels), and characters on which its whitespace test reaches an unreachable point
// (some of U+00A1 to U+0499, U+2FEE to U+33E7 and U+FB26 to U+FEFE). It applies that test
// outside quotes, to every character of a value it cannot read up to the value's end, and after a
// backslash in a multi-line string; characters other than ASCII are refused there, where they
// are never valid TOML anyway. Free of Qt.
#pragma once

#include <string>

// The deepest a value may sit: table header levels, key levels, arrays and inline tables.
enum { LINE_FILE_MAX_DEPTH = 32 };

// "" when text may go to the parser; else what is wrong, with *line (from 1) set to where.
std::string LineTextFault(const std::string &text, int *line);
