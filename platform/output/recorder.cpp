// Recording of measurement frames to CSV files.
#include "platform/output/recorder.h"

#include "files/regularfile.h"
#include "platform/core/textcopy.h"
#include "platform/engine/engine.h"
#include "platform/system/settings.h"
#include "textforms/timestamp.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum {
    PENDING_SIZE = 64 * 1024, // lines waiting for the file
    WRITE_INTERVAL_MS = 500,  // pending lines reach the file at least this often
};

const char *const FOLDER_KEY = "recording/folder";

QFile file;
QByteArray filePath; // as the system names it: bytes, not always UTF-8
QElapsedTimer sinceStart;
long framesInFile = 0;  // frames whose lines reached the file
long framesPending = 0; // frames whose lines wait in pending
char pending[PENDING_SIZE];
int pendingLength = 0;
qint64 committedSize = 0; // bytes of whole lines in the file
char lastError[RECORD_TEXT_LEN] = "";
RecordingFailedHook failedHook = nullptr;
QTimer *writeTimer = nullptr;

void SetError(const QString &what) {
    EngineCopyText(what, lastError, sizeof lastError);
}

void CloseFile() {
    if (writeTimer != nullptr)
        writeTimer->stop();
    file.close();
    pendingLength = 0;
}

// Hands the pending lines to the file. A write that does not take them all (a full disk) is
// cut back to the last whole line before it, so the file stays readable, and ends the recording.
bool WritePending() {
    if (pendingLength == 0)
        return true;
    errno = 0;
    const qint64 written = file.write(pending, pendingLength);
    const int cause = errno;
    if (written == pendingLength) {
        committedSize += written;
        framesInFile += framesPending;
        framesPending = 0;
        pendingLength = 0;
        return true;
    }
    // The file's own error string says little for a full disk; the system's words do.
    SetError(cause != 0 ? QString::fromLocal8Bit(std::strerror(cause)) : file.errorString());
    file.resize(committedSize);
    framesPending = 0;
    CloseFile();
    return false;
}

void WriteOnTimer() {
    if (!WritePending() && failedHook != nullptr)
        failedHook(lastError);
}

void StartWriteTimer() {
    if (writeTimer == nullptr) {
        writeTimer = new QTimer(QCoreApplication::instance());
        writeTimer->setInterval(WRITE_INTERVAL_MS);
        QObject::connect(writeTimer, &QTimer::timeout, WriteOnTimer);
    }
    writeTimer->start();
}

// Opens path (bytes, as given) as the recording's new file; never replaces what is there nor
// writes through a link. False with the reason, and errno telling an existing file.
bool OpenNewFile(const QByteArray &path) {
    std::string why;
    const int fd = CreateNewFile(path.constData(), &why);
    const int cause = errno;
    if (fd < 0 || !file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                             QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        SetError(cause == EEXIST ? QStringLiteral("The file exists already")
                                 : QString::fromStdString(why));
        errno = cause;
        return false;
    }
    filePath = path;
    return true;
}

// A new file in folder named by the local date and time and the tag; a second recording within
// the same second gets a number behind them. Never overwrites a file.
bool CreateFile(const QByteArray &folder, const QString &tag) {
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + tag;
    for (int attempt = 1; attempt < 100; ++attempt) {
        const QString name = attempt == 1 ? QStringLiteral("%1.csv").arg(stamp)
                                          : QStringLiteral("%1_%2.csv").arg(stamp).arg(attempt);
        if (OpenNewFile(folder + '/' + QFile::encodeName(name)))
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// Resets the counters for a new file.
void ResetRecording() {
    StopRecording();
    lastError[0] = '\0';
    framesInFile = 0;
    framesPending = 0;
    committedSize = 0;
}

// The header line into the freshly created file, then the clock and the periodic write.
bool BeginFile() {
    const qint64 headerLength = (qint64)std::strlen(RECORD_CSV_HEADER);
    if (file.write(RECORD_CSV_HEADER, headerLength) != headerLength) {
        SetError(file.errorString());
        file.close();
        ::unlink(filePath.constData());
        return false;
    }
    committedSize = headerLength;
    sinceStart.start();
    StartWriteTimer();
    return true;
}

} // namespace

int FormatRecordLine(char *line, int size, const char *localTime, double seconds,
                     const unsigned char values[RECORD_VALUES], int port) {
    const int length = std::snprintf(line, (size_t)size, "%s,%.3f,%u,%u,%u,%u,%u,%u,%u,COM%d\n",
                                     localTime, seconds, values[0], values[1], values[2], values[3],
                                     values[4], values[5], values[6], port);
    return length < 0 || length >= size ? -1 : length;
}

int GetRecordFolder(char *folder, int size) {
    if (GetSettingText(FOLDER_KEY, folder, size) == 0 && folder[0] != '\0')
        return 0;
    return EngineCopyText(QDir::toNativeSeparators(EngineDocumentsFolder()), folder, size) == 0
               ? 0
               : RECORD_FAILED;
}

void SetRecordFolder(const char *folder) {
    SetSettingText(FOLDER_KEY, folder);
}

int StartRecording(const char *folder, char *fileName, int size) {
    return StartTaggedRecording(folder, "", fileName, size);
}

int StartTaggedRecording(const char *folder, const char *tag, char *fileName, int size) {
    ResetRecording();
    const QString dir = QDir::fromNativeSeparators(QFile::decodeName(folder));
    // The documents folder is the default even where the desktop has not made it yet.
    if (dir == EngineDocumentsFolder())
        QDir().mkpath(dir);
    struct stat facts {};
    if (::stat(folder, &facts) != 0 || !S_ISDIR(facts.st_mode)) {
        SetError(QStringLiteral("The folder does not exist"));
        return RECORD_FAILED;
    }
    if (!CreateFile(QByteArray(folder), QString::fromUtf8(tag)) || !BeginFile())
        return RECORD_FAILED;
    const QByteArray name = filePath.mid(filePath.lastIndexOf('/') + 1);
    CopyUtf8Text(name.constData(), size_t(name.size()), fileName, size);
    return 0;
}

int StartRecordingFile(const char *path) {
    ResetRecording();
    return OpenNewFile(QByteArray(path)) && BeginFile() ? 0 : RECORD_FAILED;
}

int RecordFrame(const unsigned char values[RECORD_VALUES], int port) {
    if (!file.isOpen())
        return RECORD_NOT_RUNNING;
    char localTime[TIME_STAMP_LEN];
    FormatTimeStampNow(localTime, sizeof localTime);
    if (PENDING_SIZE - pendingLength < RECORD_LINE_MAX && !WritePending())
        return RECORD_FAILED;
    const int length = FormatRecordLine(pending + pendingLength, RECORD_LINE_MAX, localTime,
                                        (double)sinceStart.nsecsElapsed() / 1e9, values, port);
    if (length > 0) {
        pendingLength += length;
        ++framesPending;
    }
    return 0;
}

int StopRecording(void) {
    if (!file.isOpen())
        return RECORD_NOT_RUNNING;
    if (!WritePending())
        return RECORD_FAILED;
    CloseFile();
    return 0;
}

int RecordingOn(void) {
    return file.isOpen() ? 1 : 0;
}

long RecordedFrames(void) {
    return framesInFile + framesPending;
}

const char *LastRecordingError(void) {
    return lastError;
}

void SetRecordingFailedHook(RecordingFailedHook hook) {
    failedHook = hook;
}
