#include "recording/recordingfile.h"

#include "files/regularfile.h"
#include "textforms/timestamp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

enum { NAME_ATTEMPTS = 100, STAMP_LEN = 32 };

void SetError(RecordingFile *file, const char *format, ...) __attribute__((format(printf, 2, 3)));
void SetError(RecordingFile *file, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(file->error, sizeof file->error, format, arguments);
    va_end(arguments);
}

// The system's words for a failed write; a write that stopped without a reason gets ours.
void SetWriteError(RecordingFile *file, int cause) {
    SetError(file, "%s", cause != 0 ? std::strerror(cause) : "The file took no more bytes");
}

// Writes all of length bytes unless the system refuses; returns how many it took, errno telling
// why it stopped short.
long long WriteAll(int fd, const char *bytes, long long length) {
    long long written = 0;
    errno = 0;
    while (written < length) {
        const ssize_t step = ::write(fd, bytes + written, (size_t)(length - written));
        if (step < 0 && errno == EINTR)
            continue;
        if (step <= 0)
            break;
        written += step;
    }
    return written;
}

void CloseFile(RecordingFile *file) {
    ::close(file->fd);
    file->fd = -1;
    file->pendingLength = 0;
}

// Resets the object for a new file, ending a recording still open.
void StartAfresh(RecordingFile *file) {
    CloseRecordingFile(file);
    file->path[0] = '\0';
    file->error[0] = '\0';
    file->framesInFile = 0;
    file->framesPending = 0;
    file->committedSize = 0;
}

// Opens path as the recording's new file; never replaces what is there nor writes through a
// link. False with the reason, and errno telling an existing file.
bool OpenNewFile(RecordingFile *file, const char *path) {
    if (std::strlen(path) >= sizeof file->path) {
        SetError(file, "%s", FileErrorText(ENAMETOOLONG).c_str());
        errno = ENAMETOOLONG;
        return false;
    }
    std::snprintf(file->path, sizeof file->path, "%s", path);
    std::string why;
    file->fd = CreateNewFile(path, &why);
    const int cause = errno;
    if (file->fd < 0) {
        SetError(file, "%s", cause == EEXIST ? "The file exists already" : why.c_str());
        errno = cause;
        return false;
    }
    return true;
}

// "2026-12-07_22-41-18", the local date and time of now.
void NameStamp(char *stamp, size_t size) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, size, "%Y-%m-%d_%H-%M-%S", &local);
}

// A new file in folder named by the local date and time and the tag; a second recording within
// the same second gets a number behind them. Never overwrites a file.
bool CreateNamedFile(RecordingFile *file, const char *folder, const char *tag) {
    char stamp[STAMP_LEN];
    NameStamp(stamp, sizeof stamp);
    for (int attempt = 1; attempt < NAME_ATTEMPTS; ++attempt) {
        // One byte more than a path may have: a name cut here is refused as too long.
        char path[RECFILE_PATH_LEN + 1];
        if (attempt == 1)
            std::snprintf(path, sizeof path, "%s/%s%s.csv", folder, stamp, tag);
        else
            std::snprintf(path, sizeof path, "%s/%s%s_%d.csv", folder, stamp, tag, attempt);
        if (OpenNewFile(file, path))
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// The header line into the freshly created file, then the clock. A file that does not take
// even its header is removed.
bool BeginFile(RecordingFile *file) {
    const long long headerLength = (long long)std::strlen(RECORD_CSV_HEADER);
    if (WriteAll(file->fd, RECORD_CSV_HEADER, headerLength) != headerLength) {
        SetWriteError(file, errno);
        CloseFile(file);
        ::unlink(file->path);
        return false;
    }
    file->committedSize = headerLength;
    file->started = RecordingClock::now();
    file->lastWrite = file->started;
    return true;
}

// A label stands in its CSV field as it is: no separator, quote or line break in it.
bool LabelFitsField(const char *label) {
    if (label == nullptr || std::strlen(label) > RECFILE_LABEL_MAX)
        return false;
    for (const char *c = label; *c != '\0'; c++)
        if (*c == ',' || *c == '"' || static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F)
            return false;
    return true;
}

} // namespace

int FormatRecordLine(char *line, int size, const char *localTime, double seconds,
                     const unsigned char values[RECFILE_VALUES], const char *label) {
    const int length = std::snprintf(line, (size_t)size, "%s,%.3f,%u,%u,%u,%u,%u,%u,%u,%s\n",
                                     localTime, seconds, values[0], values[1], values[2], values[3],
                                     values[4], values[5], values[6], label);
    return length < 0 || length >= size ? -1 : length;
}

int CreateRecordingFileIn(RecordingFile *file, const char *folder, const char *tag) {
    StartAfresh(file);
    struct stat facts {};
    if (::stat(folder, &facts) != 0 || !S_ISDIR(facts.st_mode)) {
        SetError(file, "The folder does not exist");
        return RECFILE_FAILED;
    }
    return CreateNamedFile(file, folder, tag) && BeginFile(file) ? RECFILE_OK : RECFILE_FAILED;
}

int CreateRecordingFileAt(RecordingFile *file, const char *path) {
    StartAfresh(file);
    return OpenNewFile(file, path) && BeginFile(file) ? RECFILE_OK : RECFILE_FAILED;
}

int AppendRecordingFrame(RecordingFile *file, const unsigned char values[RECFILE_VALUES],
                         const char *label, long long stampMs) {
    if (file->fd < 0)
        return RECFILE_NOT_OPEN;
    if (!LabelFitsField(label)) {
        SetError(file, "The port label cannot stand in a record line");
        return RECFILE_BAD_LABEL;
    }
    char localTime[TIME_STAMP_LEN];
    if (stampMs >= 0)
        FormatTimeStamp(stampMs, localTime, sizeof localTime);
    else
        FormatTimeStampNow(localTime, sizeof localTime);
    if (RECFILE_PENDING_SIZE - file->pendingLength < RECFILE_LINE_MAX &&
        WriteRecordingPending(file) != RECFILE_OK)
        return RECFILE_FAILED;
    const double seconds =
        std::chrono::duration<double>(RecordingClock::now() - file->started).count();
    const int length = FormatRecordLine(file->pending + file->pendingLength, RECFILE_LINE_MAX,
                                        localTime, seconds, values, label);
    if (length > 0) {
        file->pendingLength += length;
        ++file->framesPending;
    }
    return RECFILE_OK;
}

// A write that does not take all the pending lines (a full disk) is cut back to the last whole
// line before it, so the file stays readable, and ends the recording.
int WriteRecordingPending(RecordingFile *file) {
    if (file->fd < 0)
        return RECFILE_NOT_OPEN;
    file->lastWrite = RecordingClock::now();
    if (file->pendingLength == 0)
        return RECFILE_OK;
    const long long written = WriteAll(file->fd, file->pending, file->pendingLength);
    const int cause = errno;
    if (written == file->pendingLength) {
        file->committedSize += written;
        file->framesInFile += file->framesPending;
        file->framesPending = 0;
        file->pendingLength = 0;
        return RECFILE_OK;
    }
    SetWriteError(file, cause);
    // A file that cannot be cut keeps a part line at its end; the first reason is the one told.
    (void)!::ftruncate(file->fd, (off_t)file->committedSize);
    file->framesPending = 0;
    CloseFile(file);
    return RECFILE_FAILED;
}

int WriteRecordingDue(RecordingFile *file, RecordingClock::time_point now) {
    if (file->fd < 0)
        return RECFILE_NOT_OPEN;
    if (now - file->lastWrite < std::chrono::milliseconds(RECFILE_WRITE_INTERVAL_MS))
        return RECFILE_OK;
    return WriteRecordingPending(file);
}

int CloseRecordingFile(RecordingFile *file) {
    if (file->fd < 0)
        return RECFILE_NOT_OPEN;
    const int result = WriteRecordingPending(file);
    if (result == RECFILE_OK)
        CloseFile(file);
    return result;
}

bool RecordingFileIsOpen(const RecordingFile *file) {
    return file->fd >= 0;
}

long RecordingFileFrames(const RecordingFile *file) {
    return file->framesInFile + file->framesPending;
}

const char *RecordingFilePath(const RecordingFile *file) {
    return file->path;
}

const char *RecordingFileName(const RecordingFile *file) {
    const char *slash = std::strrchr(file->path, '/');
    return slash != nullptr ? slash + 1 : file->path;
}

const char *RecordingFileError(const RecordingFile *file) {
    return file->error;
}
