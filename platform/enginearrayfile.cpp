// Array files: byte arrays kept as text, one right-aligned number per line. A write replaces the
// target only once the new file is complete; a read changes the array only for a sound file.
#include "platform/engine.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

char lastError[512] = "";

void SetError(const QString &text) {
    EngineCopyText(text, lastError, sizeof lastError);
}

int Fail(int code, const QString &text) {
    SetError(text);
    return code;
}

bool SupportedLayout(int dataType, int numberOfElements, int numberOfGroups) {
    return dataType == VAL_UNSIGNED_CHAR && numberOfGroups == 1 && numberOfElements >= 1;
}

QByteArray FormatBytes(const unsigned char *bytes, int count, int fieldWidth) {
    QByteArray text;
    char field[32];
    int width = qBound(1, fieldWidth, 16);
    for (int i = 0; i < count; i++) {
        std::snprintf(field, sizeof field, "%*d\n", width, bytes[i]);
        text.append(field);
    }
    return text;
}

// Parses whitespace-separated numbers 0..255 and keeps the first count of them; numbers beyond
// are checked but not kept. Returns the number of numbers in the text, or -1 with *problem set.
int ParseBytes(const QByteArray &text, unsigned char *out, int count, QString *problem) {
    int parsed = 0;
    int line = 1;
    int at = 0;
    const int size = static_cast<int>(text.size());
    while (at < size) {
        char c = text[at];
        if (c == '\n') {
            line++;
            at++;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            at++;
            continue;
        }
        int start = at;
        while (at < size && !QByteArrayView(" \t\r\n\f\v").contains(text[at]))
            at++;
        QByteArray word = text.mid(start, at - start);
        bool ok = false;
        int value = word.toInt(&ok, 10);
        if (!ok || word.startsWith('+') || value < 0 || value > 255) {
            *problem = ok ? QStringLiteral("number %1 out of range 0..255 on line %2")
                                .arg(QString::fromLatin1(word))
                                .arg(line)
                          : QStringLiteral("\"%1\" is not a number (line %2)")
                                .arg(QString::fromUtf8(word.left(40)))
                                .arg(line);
            return -1;
        }
        if (parsed < count)
            out[parsed] = static_cast<unsigned char>(value);
        parsed++;
    }
    return parsed;
}

} // namespace

const char *LastArrayFileError(void) {
    return lastError;
}

int ArrayToFile(const char *fileName, const void *array, int dataType, int numberOfElements,
                int numberOfGroups, int arrayDataOrder, int fileLayout, int columnSeparation,
                int fieldWidth, int fileType, int fileAction) {
    (void)arrayDataOrder; // one group: every order and layout is the same single column
    (void)fileLayout;
    (void)columnSeparation;
    (void)fileAction; // the file is always replaced whole
    if (fileName == nullptr || array == nullptr)
        return Fail(UIE_BAD_VALUE, QStringLiteral("no file name or no data"));
    if (!SupportedLayout(dataType, numberOfElements, numberOfGroups) || fileType != VAL_ASCII)
        return Fail(UIE_BAD_VALUE, QStringLiteral("unsupported array layout"));
    QString path = EngineFilePath(fileName);
    QSaveFile file(path);
    QByteArray text =
        FormatBytes(static_cast<const unsigned char *>(array), numberOfElements, fieldWidth);
    // Unbuffered, so that a short write (a full disk) shows here and the old file is kept:
    // a buffered write that fails only while committing could still replace it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(text) != text.size() || !file.commit())
        return Fail(UIE_IO_ERROR,
                    QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    SetError(QString());
    return UIE_OK;
}

int FileToArray(const char *fileName, void *array, int dataType, int numberOfElements,
                int numberOfGroups, int arrayDataOrder, int fileLayout, int fileType) {
    (void)arrayDataOrder;
    (void)fileLayout;
    if (fileName == nullptr || array == nullptr)
        return Fail(UIE_BAD_VALUE, QStringLiteral("no file name or no data"));
    if (!SupportedLayout(dataType, numberOfElements, numberOfGroups) || fileType != VAL_ASCII)
        return Fail(UIE_BAD_VALUE, QStringLiteral("unsupported array layout"));
    QString path = EngineFilePath(fileName);
    QFile file(path);
    if (!file.exists())
        return Fail(UIE_FILE_NOT_FOUND, QStringLiteral("cannot read %1: no such file").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return Fail(UIE_FILE_UNREADABLE,
                    QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    QByteArray text = file.readAll();
    QByteArray values(numberOfElements, '\0');
    QString problem;
    int parsed = ParseBytes(text, reinterpret_cast<unsigned char *>(values.data()),
                            numberOfElements, &problem);
    if (parsed < 0)
        return Fail(UIE_BAD_FORMAT, QStringLiteral("cannot load %1: %2").arg(path, problem));
    if (parsed < numberOfElements)
        return Fail(UIE_BAD_FORMAT, QStringLiteral("cannot load %1: %2 numbers instead of %3")
                                        .arg(path)
                                        .arg(parsed)
                                        .arg(numberOfElements));
    std::copy(values.cbegin(), values.cend(), static_cast<char *>(array));
    SetError(QString());
    return UIE_OK;
}
