#include "textforms/json.h"

#include <cstdio>

size_t FormatJsonString(const char *value, char *text, size_t size) {
    if (size < 3) {
        if (size > 0)
            text[0] = '\0';
        return 0;
    }
    size_t length = 0;
    text[length++] = '"';
    for (const unsigned char *c = (const unsigned char *)value; *c != '\0'; ++c) {
        // The longest escape (\u001f) and the closing quote must still fit.
        if (length + 8 > size)
            break;
        if (*c == '"' || *c == '\\') {
            text[length++] = '\\';
            text[length++] = (char)*c;
        } else if (*c < 0x20) {
            length += (size_t)std::snprintf(text + length, size - length, "\\u%04x", *c);
        } else {
            text[length++] = (char)*c;
        }
    }
    text[length++] = '"';
    text[length] = '\0';
    return length;
}
