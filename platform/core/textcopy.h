// Text handed to callers' buffers, the way every service of the engine hands it: always
// terminated, and cut at a character boundary when it does not fit. Free of Qt.
#pragma once

#include <cstddef>

// Copies length bytes of UTF-8 text into buffer, which holds size bytes. Returns false, copying
// nothing, for a missing buffer or a size below 1.
bool CopyUtf8Text(const char *text, size_t length, char *buffer, int size);
