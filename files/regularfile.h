// Files as the program opens them: a name is bytes and is taken as given (it need not be UTF-8);
// a read never blocks on a FIFO nor reads a device; a new file never replaces anything. Free of
// Qt; POSIX.
#pragma once

#include <cstddef>
#include <string>

// Opens path for reading when it is a regular file (a link to one is followed). Returns the
// descriptor, or -1 with why in words ("no such file", "permission denied", "a FIFO, not a
// file", ...) and *missing set when nothing is there.
int OpenRegularFile(const char *path, std::string *why, bool *missing = nullptr);
// Reads a regular file of at most limit bytes whole into text; false with why, also for a
// larger file (one that is so already when opened is refused before any of it is read), and
// *missing set when nothing is there.
bool ReadSmallFile(const char *path, size_t limit, std::string *text, std::string *why,
                   bool *missing = nullptr);
// Creates path for writing. Never replaces what is there and never follows a link: -1 with why
// ("exists already", ...).
int CreateNewFile(const char *path, std::string *why);
// Makes every missing folder above path, for its owner alone; what fails shows when path is
// opened.
void MakeFoldersAbove(const std::string &path);
// What a node that is not a regular file is, as the reason that refuses it ("a FIFO, not a
// file"); mode is a stat's st_mode.
const char *KindOf(unsigned mode);
// What the system's error code means, in the words the program's reports use.
std::string FileErrorText(int error);
