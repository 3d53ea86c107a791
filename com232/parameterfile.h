// The ".dat" parameter file: the 84 bytes of a ParameterBlock, one decimal number per line in a
// field five characters wide. The panel and the headless commands keep sets in the same form.
#pragma once

extern const char parameterFileNotSaved[];  // "PARAMETER FILE NOT SAVED"
extern const char parameterFileNotLoaded[]; // "PARAMETER FILE NOT LOADED"

// Writes block to path beside the target and renames it, so a failure leaves an old file
// whole. Returns 0, or a negative code with LastArrayFileError naming the file and the cause.
int WriteParameterFile(const char *path, const unsigned char *block);
// The file's text of block into text (size bytes); returns its length or a negative code.
int FormatParameterText(const unsigned char *block, char *text, int size);
// Reads the 84 numbers of path into block. A missing, unreadable or malformed file (fewer than
// 84 numbers, a number above 255, other text) returns a negative code, LastArrayFileError
// saying why, and block untouched.
int ReadParameterFile(const char *path, unsigned char *block);
