// The longest path the program keeps, its terminator included: the engine's file pop-ups and
// every command-line path are held in buffers of this size, and a longer one is refused whole.
#pragma once

enum { FILE_PATH_LEN = 260 };
