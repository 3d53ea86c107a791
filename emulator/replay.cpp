// Replay of a recording.
#include "emulator/replay.h"

#include "textforms/recording.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The player's state: the loaded frames and where the next one comes from.
std::vector<RecordedFrame> replayFrames;
size_t nextFrame = 0;
int passBegan = 0;

} // namespace

int LoadReplay(const char *path) {
    FILE *file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "sensor-emulator: %s: %s\n", path, std::strerror(errno));
        return -1;
    }
    std::string text;
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    const bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    if (readFailed) {
        std::fprintf(stderr, "sensor-emulator: %s: cannot read the file\n", path);
        return -1;
    }
    RecordingError error;
    replayFrames.clear();
    if (ParseRecording(text.data(), text.size(), &replayFrames, &error) != 0) {
        std::fprintf(stderr, "sensor-emulator: %s:%ld: %s\n", path, error.line, error.reason);
        replayFrames.clear();
        return -1;
    }
    nextFrame = 0;
    return 0;
}

int ReplayLoaded(void) {
    return replayFrames.empty() ? 0 : 1;
}

int NextReplayFrame(unsigned char frame[FRAME_LENGTH], double *delay, int loop) {
    if (nextFrame == replayFrames.size()) {
        if (!loop)
            return -1;
        nextFrame = 0;
    }
    passBegan = nextFrame == 0;
    const RecordedFrame &current = replayFrames[nextFrame++];
    std::memcpy(frame, current.values, FRAME_LENGTH);
    *delay = current.seconds - replayFrames.front().seconds;
    return 0;
}

int ReplayPassBegan(void) {
    return passBegan;
}
