#include "platform/system/arguments.h"

#include "textforms/utf8.h"

namespace {

// Byte b (0x80 to 0xFF) stands as U+DC00 + b: a lone low surrogate, which valid UTF-8 never gives.
const char16_t ESCAPED_BYTE = 0xDC00;

} // namespace

QString ArgumentText(const char *argument) {
    QString text;
    const auto *bytes = reinterpret_cast<const unsigned char *>(argument);
    while (*bytes != 0) {
        char32_t codePoint = 0;
        const int length = Utf8SequenceLength(bytes, &codePoint);
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
