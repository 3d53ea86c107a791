// Text handed to callers' buffers: always terminated, cut at a character boundary when it does
// not fit, and the caller told whether it was cut. Free of Qt.
#pragma once

#include <cstddef>

enum TextCopy {
    TEXT_NOT_COPIED = 0, // no buffer, or a size below 1: nothing was written
    TEXT_WHOLE,          // the whole text is in the buffer
    TEXT_CUT,            // the buffer holds the text's beginning only
};

// Copies length bytes of UTF-8 text into buffer, which holds size bytes. A path or a name that
// comes back TEXT_CUT names something else and must be refused, not used.
TextCopy CopyUtf8Text(const char *text, size_t length, char *buffer, int size);
