#include "textforms/json.h"

#include "textforms/utf8.h"

#include <cstdio>

namespace {

// A whole UTF-8 character is copied as it is; a byte that begins none (a file name that is not
// UTF-8) becomes the escape of the lone surrogate U+DC00 + byte, the form in which such names
// travel as text, so the string stays valid JSON and the byte can be recovered. Returns the
// bytes written; c is left on the last byte taken.
size_t CopyCharacterOrEscape(const unsigned char *&c, char *out, size_t room) {
    char32_t codePoint = 0;
    const int length = Utf8SequenceLength(c, &codePoint);
    if (length == 0)
        return (size_t)std::snprintf(out, room, "\\udc%02x", *c);
    for (int i = 0; i < length; i++)
        out[i] = (char)c[i];
    c += length - 1;
    return (size_t)length;
}

} // namespace

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
        } else if (*c < 0x80) {
            text[length++] = (char)*c;
        } else {
            length += CopyCharacterOrEscape(c, text + length, size - length);
        }
    }
    text[length++] = '"';
    text[length] = '\0';
    return length;
}

std::string JsonString(const std::string &value) {
    std::string json(JsonStringRoom(value.size()), '\0');
    json.resize(FormatJsonString(value.c_str(), json.data(), json.size()));
    return json;
}
