// A sensor's recording that never ends by itself: its frames go to files in the sensor's folder
// that rotate by time and by size, and the oldest are removed by age and by the folder's total
// size. Each file is whole when it rotates, when the recording stops and at any kill (whole lines
// only, as recordingfile.h writes them). A disk that takes no more pauses the recording: frames
// are dropped, a new file is tried every few seconds, and recording resumes when one starts.
// Free of Qt; POSIX.
#pragma once

#include "recording/recordingfile.h"

#include <memory>
#include <string>

struct RotationLimits {
    double rotateSeconds;  // a file is closed and a new one started at least this often
    long long rotateBytes; // ... and once it holds this many bytes
    double keepSeconds;    // files older than this are removed
    long long keepBytes;   // the oldest are removed while the folder holds more than this
};

// How a frame's recording went.
enum RotationEvent {
    ROTATION_RECORDED = 0, // into the file, as every frame before it
    ROTATION_PAUSED = 1,   // the disk took no more: this and the next frames are dropped
    ROTATION_DROPPED = 2,  // paused still: the frame is dropped
    ROTATION_RESUMED = 3,  // a new file started after a pause; the frame is in it
};

struct RotatingRecording {
    std::string folder; // the sensor's folder, made when missing
    std::string label;  // each line's last column: the sensor's name
    RotationLimits limits;
    std::unique_ptr<RecordingFile> file = std::make_unique<RecordingFile>();
    bool paused = false;
    std::string pauseReason;
    RecordingClock::time_point retryAt{};
    RecordingClock::time_point fileStarted{}; // on the loop's clock
    long framesOffered = 0;                   // frames handed to the current file
    long filesStarted = 0;
    long long framesDropped = 0; // offered while paused, or lost with a write the disk refused
};

// Records frame; rotates, removes old files and pauses or resumes as needed. now is the loop's
// clock, stampMs the frame's time stamp (ms since the epoch; -1: now).
RotationEvent RecordRotating(RotatingRecording *recording, const unsigned char *frame,
                             RecordingClock::time_point now, long long stampMs = -1);
// Lets the pending lines reach the file at least twice a second; a failure pauses.
RotationEvent KeepRecordingDue(RotatingRecording *recording, RecordingClock::time_point now);
// Closes the file whole.
void StopRotating(RotatingRecording *recording);
// Removes the oldest recordings (*.csv) of folder while any is older than limits.keepSeconds
// or they hold more than limits.keepBytes together; never the file named keep. Returns the
// number removed.
int PruneRecordings(const std::string &folder, const RotationLimits &limits,
                    const std::string &keep);
