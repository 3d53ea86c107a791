#include "textforms/utf8.h"

int Utf8SequenceLength(const unsigned char *text, char32_t *codePoint) {
    const unsigned char lead = text[0];
    int length = 0;
    char32_t value = 0, least = 0;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    for (int i = 1; i < length; i++) {
        if ((text[i] & 0xC0) != 0x80) // also stops at the terminating NUL
            return 0;
        value = (value << 6) | (text[i] & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}
