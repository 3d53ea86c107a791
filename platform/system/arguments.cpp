#include "platform/system/arguments.h"

namespace {

// Byte b (0x80 to 0xFF) stands as U+DC00 + b: a lone low surrogate, which valid UTF-8 never gives.
const char16_t ESCAPED_BYTE = 0xDC00;

// The length of the valid UTF-8 sequence at text (1 to 4), or 0 when the byte there does not
// begin one: overlong forms, surrogates and code points above U+10FFFF are not valid.
int SequenceLength(const unsigned char *text, char32_t *codePoint) {
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

} // namespace

QString ArgumentText(const char *argument) {
    QString text;
    const auto *bytes = reinterpret_cast<const unsigned char *>(argument);
    while (*bytes != 0) {
        char32_t codePoint = 0;
        const int length = SequenceLength(bytes, &codePoint);
        if (length == 0) {
            text.append(QChar(char16_t(ESCAPED_BYTE + *bytes)));
            bytes++;
            continue;
        }
        text.append(QString::fromUcs4(&codePoint, 1));
        bytes += length;
    }
    return text;
}

QByteArray ArgumentBytes(const QString &text) {
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); i++) {
        const char16_t unit = text.at(i).unicode();
        const bool pair =
            QChar::isHighSurrogate(unit) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (pair) {
            bytes += text.mid(i, 2).toUtf8();
            i++;
        } else if (unit >= ESCAPED_BYTE + 0x80 && unit <= ESCAPED_BYTE + 0xFF) {
            bytes += char(unit - ESCAPED_BYTE);
        } else {
            bytes += QString(QChar(unit)).toUtf8();
        }
    }
    return bytes;
}
