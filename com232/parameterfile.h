// The ".dat" parameter file: the 84 bytes of a ParameterBlock, one decimal number per line in a
// field five characters wide. The panel and the headless commands keep sets in the same form.
// Free of Qt; each thread has its own last error.
#pragma once

extern const char parameterFileNotSaved[];  // "PARAMETER FILE NOT SAVED"
extern const char parameterFileNotLoaded[]; // "PARAMETER FILE NOT LOADED"

// Replaces the file at path with block whole (files/save.h), so a failure leaves an old file
// whole. Returns 0, or a negative code with LastParameterFileError naming the file and cause.
int WriteParameterFile(const char *path, const unsigned char *block);
// The file's text of block into text (size bytes); returns its length or -1 when it does not fit.
int FormatParameterText(const unsigned char *block, char *text, int size);
// Reads the 84 numbers of path into block. A missing, unreadable or malformed file (fewer than
// 84 numbers, a number above 255, other text) returns a negative code, LastParameterFileError
// saying why, and block untouched.
int ReadParameterFile(const char *path, unsigned char *block);
// Why this thread's last read or write of a parameter file failed ("" after a good one).
const char *LastParameterFileError(void);
