// A recording that rotates its files, keeps its folder within its limits and pauses on a full
// disk.
#include "recording/rotation.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A full disk is tried again this often.
constexpr std::chrono::seconds RETRY_INTERVAL{2};

struct KeptFile {
    std::string path;
    long long size;
    time_t modified;
};

std::vector<KeptFile> RecordingsIn(const std::string &folder) {
    std::vector<KeptFile> files;
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr)
        return files;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".csv") != 0)
            continue;
        struct stat status {};
        const std::string path = folder + "/" + name;
        if (lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
            files.push_back({path, (long long)status.st_size, status.st_mtime});
    }
    closedir(dir);
    // Named by their start time: the name's order is their age's.
    std::sort(files.begin(), files.end(),
              [](const KeptFile &a, const KeptFile &b) { return a.path < b.path; });
    return files;
}

bool MakeFolder(const std::string &folder) {
    for (size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1))
        mkdir(folder.substr(0, slash).c_str(), 0755);
    return mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST;
}

bool StartFile(RotatingRecording *recording, RecordingClock::time_point now) {
    MakeFolder(recording->folder);
    if (CreateRecordingFileIn(recording->file.get(), recording->folder.c_str(), "") != RECFILE_OK)
        return false;
    recording->fileStarted = now;
    recording->framesOffered = 0;
    ++recording->filesStarted;
    PruneRecordings(recording->folder, recording->limits, RecordingFilePath(recording->file.get()));
    return true;
}

RotationEvent Pause(RotatingRecording *recording, RecordingClock::time_point now) {
    RecordingFile *file = recording->file.get();
    recording->pauseReason = RecordingFileError(file);
    if (recording->framesOffered > 0) {
        CloseRecordingFile(file);
        // The file keeps its whole lines; the frames beyond them are lost.
        recording->framesDropped += recording->framesOffered - RecordingFileFrames(file);
    }
    recording->framesOffered = 0;
    recording->paused = true;
    recording->retryAt = now + RETRY_INTERVAL;
    return ROTATION_PAUSED;
}

bool RotationDue(const RotatingRecording *recording, RecordingClock::time_point now) {
    const RecordingFile &file = *recording->file;
    const double age = std::chrono::duration<double>(now - recording->fileStarted).count();
    return age >= recording->limits.rotateSeconds ||
           file.committedSize + file.pendingLength >= recording->limits.rotateBytes;
}

} // namespace

RotationEvent RecordRotating(RotatingRecording *recording, const unsigned char *frame,
                             RecordingClock::time_point now, long long stampMs) {
    bool resumed = false;
    if (recording->paused) {
        if (now < recording->retryAt || !StartFile(recording, now)) {
            recording->retryAt = std::max(recording->retryAt, now + RETRY_INTERVAL);
            ++recording->framesDropped;
            return ROTATION_DROPPED;
        }
        recording->paused = false;
        resumed = true;
    } else if (!RecordingFileIsOpen(recording->file.get()) || RotationDue(recording, now)) {
        CloseRecordingFile(recording->file.get());
        if (!StartFile(recording, now)) {
            ++recording->framesDropped;
            return Pause(recording, now);
        }
    }
    ++recording->framesOffered;
    if (AppendRecordingFrame(recording->file.get(), frame, recording->label.c_str(), stampMs) !=
        RECFILE_OK)
        return Pause(recording, now);
    return resumed ? ROTATION_RESUMED : ROTATION_RECORDED;
}

RotationEvent KeepRecordingDue(RotatingRecording *recording, RecordingClock::time_point now) {
    if (recording->paused || !RecordingFileIsOpen(recording->file.get()))
        return ROTATION_RECORDED;
    if (WriteRecordingDue(recording->file.get(), now) == RECFILE_FAILED)
        return Pause(recording, now);
    return ROTATION_RECORDED;
}

void StopRotating(RotatingRecording *recording) {
    CloseRecordingFile(recording->file.get());
}

int PruneRecordings(const std::string &folder, const RotationLimits &limits,
                    const std::string &keep) {
    std::vector<KeptFile> files = RecordingsIn(folder);
    long long total = 0;
    for (const KeptFile &file : files)
        total += file.size;
    const time_t now = time(nullptr);
    int removed = 0;
    for (const KeptFile &file : files) {
        const bool tooOld = difftime(now, file.modified) > limits.keepSeconds;
        if (file.path == keep || (!tooOld && total <= limits.keepBytes))
            continue;
        if (unlink(file.path.c_str()) == 0) {
            total -= file.size;
            ++removed;
        }
    }
    return removed;
}
