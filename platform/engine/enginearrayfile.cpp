// Array files: the engine's services over the number files of files/numberfile.h, with the
// engine's codes and its last error.
#include "platform/engine/engine.h"

#include "files/numberfile.h"
#include "files/save.h"

#include <QByteArray>
#include <QFile>

#include <cstring>
#include <string>

namespace {

char lastError[512] = "";

void SetError(const QString &text) {
    EngineCopyText(text, lastError, sizeof lastError);
}

int Fail(int code, const QString &text) {
    SetError(text);
    return code;
}

// The engine's code for what the number file reports.
int EngineCode(int result) {
    switch (result) {
    case NUMBER_FILE_OK:
        return UIE_OK;
    case NUMBER_FILE_MISSING:
        return UIE_FILE_NOT_FOUND;
    case NUMBER_FILE_UNREADABLE:
        return UIE_FILE_UNREADABLE;
    case NUMBER_FILE_BAD_FORMAT:
        return UIE_BAD_FORMAT;
    default:
        return UIE_IO_ERROR;
    }
}

int Report(int result, const std::string &why) {
    SetError(QString::fromStdString(why));
    return EngineCode(result);
}

bool SupportedLayout(int dataType, int numberOfElements, int numberOfGroups) {
    return dataType == VAL_UNSIGNED_CHAR && numberOfGroups == 1 && numberOfElements >= 1;
}

// What a name that is not UTF-8 looks like in a report; the file itself is opened by its bytes.
std::string Shown(const QByteArray &path) {
    return QFile::decodeName(path).toStdString();
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
    const QByteArray path = EngineFileName(fileName);
    std::string why;
    return Report(SaveNumberFile(path.constData(), Shown(path),
                                 static_cast<const unsigned char *>(array), numberOfElements,
                                 fieldWidth, &why),
                  why);
}

int ArrayToText(const void *array, int dataType, int numberOfElements, int fieldWidth, char *text,
                int size) {
    if (array == nullptr || text == nullptr || !SupportedLayout(dataType, numberOfElements, 1))
        return UIE_BAD_VALUE;
    const std::string formatted =
        FormatNumberLines(static_cast<const unsigned char *>(array), numberOfElements, fieldWidth);
    if (formatted.size() >= static_cast<size_t>(size))
        return UIE_BAD_VALUE;
    std::memcpy(text, formatted.c_str(), formatted.size() + 1);
    return static_cast<int>(formatted.size());
}

int FileToArray(const char *fileName, void *array, int dataType, int numberOfElements,
                int numberOfGroups, int arrayDataOrder, int fileLayout, int fileType) {
    (void)arrayDataOrder;
    (void)fileLayout;
    if (fileName == nullptr || array == nullptr)
        return Fail(UIE_BAD_VALUE, QStringLiteral("no file name or no data"));
    if (!SupportedLayout(dataType, numberOfElements, numberOfGroups) || fileType != VAL_ASCII)
        return Fail(UIE_BAD_VALUE, QStringLiteral("unsupported array layout"));
    const QByteArray path = EngineFileName(fileName);
    std::string why;
    return Report(ReadNumberFile(path.constData(), Shown(path), static_cast<unsigned char *>(array),
                                 numberOfElements, &why),
                  why);
}

int RemoveUnfinishedSaves(const char *directory) {
    if (directory == nullptr)
        return UIE_BAD_VALUE;
    RemoveLeftoverSaves(directory);
    return UIE_OK;
}
