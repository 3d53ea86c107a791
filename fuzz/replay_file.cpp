// Fuzz target: the recording reader (the emulator's replay, the detection check) fed any bytes. A
// file is either taken, with every value in 0..255 and the frames in the order of its lines, or
// refused with a line inside it.
#include "textforms/recording.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<RecordedFrame> frames;
    RecordingError error;
    std::memset(&error, 0, sizeof error);
    int result = ParseRecording(reinterpret_cast<const char *>(data), size, &frames, &error);
    if (result == 0 && frames.empty())
        std::abort(); // a taken file has at least one frame
    if (result != 0 &&
        (error.line < 1 || std::memchr(error.reason, '\0', sizeof error.reason) == nullptr))
        std::abort(); // a refusal names a line and a terminated reason
    return 0;
}
