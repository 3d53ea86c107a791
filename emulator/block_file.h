// Parameter files: the 84 bytes of a parameter block as decimal numbers, one per line, each
// right-aligned in a field of five characters.
#pragma once

#include "sensor/wire.h"

// Reads path into block. Returns 1 after a good read, 0 when the file does not exist, -1 when
// it cannot be read or is not a parameter file: fewer than 84 numbers, a number above 255 or
// other text. The block changes only after a good read.
int LoadBlockFile(const char *path, unsigned char block[BLOCK_LENGTH]);
// Writes block to path through a temporary file beside it that is renamed over path, so a
// failure leaves the old file whole. Returns 0, or -1 with errno set.
int SaveBlockFile(const char *path, const unsigned char block[BLOCK_LENGTH]);
