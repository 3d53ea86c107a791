// The longest path the program keeps, its terminator included: the engine's file pop-ups and
// every command-line path are held in buffers of this size, and a longer one is refused whole.
#pragma once

enum { FILE_PATH_LEN = 260 };

// A path as the user meant it: relative to the working directory; false when it does not fit in
// size bytes (or the working directory is unknown). "" stays "".
bool AbsolutePath(const char *path, char *absolute, int size);
