// Byte arrays kept as text, one right-aligned decimal number per line: the form of the
// parameter files. A read takes only as much of the file as the array needs and hands the array
// over only when that much is sound; a write replaces the file whole (save.h). Free of Qt.
#pragma once

#include <string>

enum NumberFileResult {
    NUMBER_FILE_OK = 0,
    NUMBER_FILE_MISSING = -1,    // nothing at the path
    NUMBER_FILE_UNREADABLE = -2, // not a regular file, no permission, a read error
    NUMBER_FILE_BAD_FORMAT = -3, // too few numbers, one above 255, other text
    NUMBER_FILE_NOT_WRITTEN = -4,
};

// The text of count bytes, each in a field fieldWidth (1..16) wide and on a line of its own.
std::string FormatNumberLines(const unsigned char *bytes, int count, int fieldWidth);
// Reads the first count numbers of the file at path into out. On failure out is untouched and
// why says what happened, naming the file as shownName: "cannot read NAME: no such file",
// "cannot load NAME: 83 numbers instead of 84", ...
int ReadNumberFile(const char *path, const std::string &shownName, unsigned char *out, int count,
                   std::string *why);
// Replaces the file at path with the text of count bytes; on failure why names it as shownName.
int SaveNumberFile(const char *path, const std::string &shownName, const unsigned char *bytes,
                   int count, int fieldWidth, std::string *why);
