// Array files: byte arrays kept as text, one right-aligned number per line. A write replaces the
// target only once the new file is complete and on disk; a read takes only as much of the file
// as the array needs and changes the array only when that much is sound.
#include "platform/engine/engine.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Beside the target while a save is written; renamed over the target once complete.
const char UNFINISHED_SUFFIX[] = ".saving";
enum { READ_CHUNK = 4096, OUT_OF_RANGE = 256 };

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

// Makes a completed rename durable: the directory entry reaches the disk too.
void SyncDirectoryOf(const QString &path) {
#ifdef Q_OS_UNIX
    QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
    int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    (void)path;
#endif
}

// Writes text to path and forces it to the disk. Returns "" or why it failed.
QString WriteDurably(const QString &path, const QByteArray &text) {
    QFile file(path);
    // Unbuffered, so that a short write (a full disk) shows at the write.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return file.errorString();
    if (file.write(text) != text.size())
        return file.errorString();
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
#endif
    file.close();
    return QString();
}

QString RenameOver(const QString &from, const QString &to) {
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(from).toStdString(),
                            QFile::encodeName(to).toStdString(), error);
    return error ? QString::fromLocal8Bit(error.message().c_str()) : QString();
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
    QString unfinished = path + QLatin1String(UNFINISHED_SUFFIX);
    QByteArray text =
        FormatBytes(static_cast<const unsigned char *>(array), numberOfElements, fieldWidth);
    QString problem = WriteDurably(unfinished, text);
    if (problem.isEmpty())
        problem = RenameOver(unfinished, path);
    if (!problem.isEmpty()) {
        QFile::remove(unfinished);
        return Fail(UIE_IO_ERROR,
                    QStringLiteral("cannot write ") + path + QStringLiteral(": ") + problem);
    }
    SyncDirectoryOf(path);
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
    QString path = EngineFilePath(fileName);
    QFile file(path);
    if (!file.exists())
        return Fail(UIE_FILE_NOT_FOUND,
                    QStringLiteral("cannot read ") + path + QStringLiteral(": no such file"));
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return Fail(UIE_FILE_UNREADABLE,
                    QStringLiteral("cannot read ") + path + QStringLiteral(": ") +
                        (file.isOpen() ? file.errorString() : QStringLiteral("not a file")));
    QByteArray values(numberOfElements, '\0');
    ByteTextReader reader(reinterpret_cast<unsigned char *>(values.data()), numberOfElements);
    char chunk[READ_CHUNK];
    qint64 size = 0;
    bool wantsMore = true;
    while (wantsMore && (size = file.read(chunk, sizeof chunk)) > 0)
        wantsMore = reader.Feed(chunk, size);
    if (size < 0)
        return Fail(UIE_FILE_UNREADABLE, QStringLiteral("cannot read ") + path +
                                             QStringLiteral(": ") + file.errorString());
    if (wantsMore)
        reader.End();
    if (!reader.Complete())
        return Fail(UIE_BAD_FORMAT, QStringLiteral("cannot load ") + path + QStringLiteral(": ") +
                                        reader.Problem());
    std::copy(values.cbegin(), values.cend(), static_cast<char *>(array));
    SetError(QString());
    return UIE_OK;
}

int RemoveUnfinishedSaves(const char *directory) {
    if (directory == nullptr)
        return UIE_BAD_VALUE;
    QDir dir(QString::fromUtf8(directory));
    const QStringList leftovers =
        dir.entryList({QStringLiteral("*") + QLatin1String(UNFINISHED_SUFFIX)}, QDir::Files);
    for (const QString &name : leftovers)
        dir.remove(name);
    return UIE_OK;
}
