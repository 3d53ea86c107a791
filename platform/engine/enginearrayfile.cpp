// Array files: byte arrays kept as text, one right-aligned number per line. A write replaces the
// target only once the new file is complete and on disk; a read takes only as much of the file
// as the array needs and changes the array only when that much is sound.
#include "platform/engine/engine.h"

#include "files/regularfile.h"
#include "files/save.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

enum { READ_CHUNK = 4096, OUT_OF_RANGE = 256 };
// Far more text than any array the program keeps; a file that holds no whole array within it
// is refused without reading the rest.
enum { TEXT_LIMIT = 1024 * 1024 };

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

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A byte as the user can recognise it in a report: 'x' when printable, else 0xNN.
QString ByteName(char c) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F)
        return QStringLiteral("'") + QLatin1Char(c) + QStringLiteral("'");
    return QStringLiteral("0x") + QString::number(byte, 16).rightJustified(2, QLatin1Char('0'));
}

// Reads unsigned numbers 0..255 separated by blanks, fed in pieces of any size, until count of
// them are whole. A number is whole at the blank or the end of the file behind it; what follows
// the last one is never looked at.
class ByteTextReader {
  public:
    ByteTextReader(unsigned char *out, int count) : out_(out), count_(count) {}

    // Takes the next piece of the file. Returns false once the values are complete or a
    // problem was found; the caller then stops reading.
    bool Feed(const char *bytes, qint64 size) {
        for (qint64 i = 0; i < size && !Finished(); i++)
            Take(bytes[i]);
        return !Finished();
    }
    // The end of the file: a number running up to it is whole.
    void End() {
        if (!Finished() && value_ >= 0)
            FinishNumber();
        if (!Finished())
            problem_ = QString::number(parsed_) + QStringLiteral(" numbers instead of ") +
                       QString::number(count_);
    }
    bool Complete() const { return parsed_ == count_; }
    const QString &Problem() const { return problem_; }

  private:
    bool Finished() const { return Complete() || !problem_.isEmpty(); }

    void Take(char c) {
        if (IsDigit(c)) {
            // Saturates, so that a long run of digits stays out of range instead of wrapping.
            value_ = qMin((value_ < 0 ? 0 : value_ * 10) + (c - '0'), int(OUT_OF_RANGE));
            return;
        }
        if (!IsBlank(c)) {
            problem_ = QStringLiteral("byte ") + ByteName(c) +
                       QStringLiteral(" is not part of a number (line ") + QString::number(line_) +
                       QLatin1Char(')');
            return;
        }
        if (value_ >= 0)
            FinishNumber();
        if (c == '\n')
            line_++;
    }

    void FinishNumber() {
        if (value_ >= OUT_OF_RANGE) {
            problem_ =
                QStringLiteral("number out of range 0..255 on line ") + QString::number(line_);
            return;
        }
        out_[parsed_++] = static_cast<unsigned char>(value_);
        value_ = -1;
    }

    unsigned char *out_;
    int count_;
    int parsed_ = 0;
    int line_ = 1;
    int value_ = -1; // the number being read, -1 between numbers
    QString problem_;
};

// What a name that is not UTF-8 looks like in a report; the file itself is opened by its bytes.
QString Shown(const QByteArray &path) {
    return QFile::decodeName(path);
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
    const QByteArray text =
        FormatBytes(static_cast<const unsigned char *>(array), numberOfElements, fieldWidth);
    std::string why;
    if (!SaveFileWhole(path.constData(), text.constData(), size_t(text.size()), &why))
        return Fail(UIE_IO_ERROR, QStringLiteral("cannot write ") + Shown(path) +
                                      QStringLiteral(": ") + QString::fromStdString(why));
    SetError(QString());
    return UIE_OK;
}

int ArrayToText(const void *array, int dataType, int numberOfElements, int fieldWidth, char *text,
                int size) {
    if (array == nullptr || text == nullptr || !SupportedLayout(dataType, numberOfElements, 1))
        return UIE_BAD_VALUE;
    const QByteArray formatted =
        FormatBytes(static_cast<const unsigned char *>(array), numberOfElements, fieldWidth);
    if (formatted.size() >= size)
        return UIE_BAD_VALUE;
    std::memcpy(text, formatted.constData(), static_cast<size_t>(formatted.size()) + 1);
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
    bool missing = false;
    const int fd = OpenRegularFile(path.constData(), &why, &missing);
    if (fd < 0)
        return Fail(missing ? UIE_FILE_NOT_FOUND : UIE_FILE_UNREADABLE,
                    QStringLiteral("cannot read ") + Shown(path) + QStringLiteral(": ") +
                        QString::fromStdString(why));
    QByteArray values(numberOfElements, '\0');
    ByteTextReader reader(reinterpret_cast<unsigned char *>(values.data()), numberOfElements);
    char chunk[READ_CHUNK];
    ssize_t size = 0;
    qint64 taken = 0;
    bool wantsMore = true;
    while (wantsMore && taken < TEXT_LIMIT && (size = ::read(fd, chunk, sizeof chunk)) != 0) {
        if (size < 0 && errno == EINTR)
            continue;
        if (size < 0)
            break;
        wantsMore = reader.Feed(chunk, size);
        taken += size;
    }
    const int readError = size < 0 ? errno : 0;
    ::close(fd);
    if (readError != 0)
        return Fail(UIE_FILE_UNREADABLE, QStringLiteral("cannot read ") + Shown(path) +
                                             QStringLiteral(": ") +
                                             QString::fromStdString(FileErrorText(readError)));
    if (wantsMore && size == 0)
        reader.End();
    if (!reader.Complete())
        return Fail(UIE_BAD_FORMAT, QStringLiteral("cannot load ") + Shown(path) +
                                        QStringLiteral(": ") +
                                        (reader.Problem().isEmpty()
                                             ? QStringLiteral("no whole array in its first MiB")
                                             : reader.Problem()));
    std::copy(values.cbegin(), values.cend(), static_cast<char *>(array));
    SetError(QString());
    return UIE_OK;
}

int RemoveUnfinishedSaves(const char *directory) {
    if (directory == nullptr)
        return UIE_BAD_VALUE;
    RemoveLeftoverSaves(directory);
    return UIE_OK;
}
