#include "platform/core/textcopy.h"

#include <cstring>

TextCopy CopyUtf8Text(const char *text, size_t length, char *buffer, int size) {
    if (buffer == nullptr || size <= 0)
        return TEXT_NOT_COPIED;
    size_t kept = length < size_t(size - 1) ? length : size_t(size - 1);
    // Never leave half of a multi-byte character at the end.
    if (kept < length)
        while (kept > 0 && (static_cast<unsigned char>(text[kept]) & 0xC0) == 0x80)
            kept--;
    std::memcpy(buffer, text, kept);
    buffer[kept] = '\0';
    return kept == length ? TEXT_WHOLE : TEXT_CUT;
}
