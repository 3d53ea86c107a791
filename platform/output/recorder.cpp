// Recording of measurement frames to CSV files: the panel's one recording (recording/), its
// periodic write on the engine's timer, and its folder in the settings.
#include "platform/output/recorder.h"

#include "platform/core/textcopy.h"
#include "platform/engine/engine.h"
#include "platform/system/settings.h"
#include "recording/recordingfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

const char *const FOLDER_KEY = "recording/folder";

RecordingFile recording; // the panel's one recording
RecordingFailedHook failedHook = nullptr;
QTimer *writeTimer = nullptr;

int RecorderResult(int result) {
    return result == RECFILE_OK         ? 0
           : result == RECFILE_NOT_OPEN ? RECORD_NOT_RUNNING
                                        : RECORD_FAILED;
}

// The periodic write stops with the recording, also when a failed write ended it.
void StopTimerUnlessOn() {
    if (writeTimer != nullptr && !RecordingFileIsOpen(&recording))
        writeTimer->stop();
}

void WriteOnTimer() {
    const int result = WriteRecordingPending(&recording);
    StopTimerUnlessOn();
    if (result == RECFILE_FAILED && failedHook != nullptr)
        failedHook(RecordingFileError(&recording));
}

// The periodic write of a recording that has just begun.
int StartWriteTimer(int result) {
    if (result != RECFILE_OK)
        return RECORD_FAILED;
    if (writeTimer == nullptr) {
        writeTimer = new QTimer(QCoreApplication::instance());
        writeTimer->setInterval(RECFILE_WRITE_INTERVAL_MS);
        QObject::connect(writeTimer, &QTimer::timeout, WriteOnTimer);
    }
    writeTimer->start();
    return 0;
}

} // namespace

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

// The documents folder is the default even where the desktop has not made it yet.
static void MakeDocumentsFolder(const char *folder) {
    const QString dir = QDir::fromNativeSeparators(QFile::decodeName(folder));
    if (dir == EngineDocumentsFolder())
        QDir().mkpath(dir);
}

int PrepareRecordFolder(char *folder, int size) {
    if (GetRecordFolder(folder, size) != 0)
        return RECORD_FAILED;
    MakeDocumentsFolder(folder);
    return 0;
}

int StartTaggedRecording(const char *folder, const char *tag, char *fileName, int size) {
    StopRecording();
    MakeDocumentsFolder(folder);
    if (StartWriteTimer(CreateRecordingFileIn(&recording, folder, tag)) != 0)
        return RECORD_FAILED;
    const char *name = RecordingFileName(&recording);
    CopyUtf8Text(name, std::strlen(name), fileName, size);
    return 0;
}

int StartRecordingFile(const char *path) {
    StopRecording();
    return StartWriteTimer(CreateRecordingFileAt(&recording, path));
}

int RecordFrame(const unsigned char values[RECORD_VALUES], const char *sensor) {
    const int result = AppendRecordingFrame(&recording, values, sensor);
    StopTimerUnlessOn();
    return RecorderResult(result);
}

int StopRecording(void) {
    const int result = CloseRecordingFile(&recording);
    StopTimerUnlessOn();
    return RecorderResult(result);
}

int RecordingOn(void) {
    return RecordingFileIsOpen(&recording) ? 1 : 0;
}

long RecordedFrames(void) {
    return RecordingFileFrames(&recording);
}

const char *LastRecordingError(void) {
    return RecordingFileError(&recording);
}

void SetRecordingFailedHook(RecordingFailedHook hook) {
    failedHook = hook;
}
