// What recording costs a frame: RecordFrame over many frames into a file in a scratch folder,
// pending lines written whenever the buffer fills, the file closed at the end. Prints the time
// per frame, to hold against the cycle of an unpaced transfer (about 100 microseconds).
//   build/bin/record-cost [frames]
#include "platform/engine/userint.h"
#include "platform/output/recorder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char **argv) {
    const long frames = argc > 1 ? std::atol(argv[1]) : 2000000;
    if (InitEngine(argc, argv) < 0) {
        std::fprintf(stderr, "record-cost: no engine (set QT_QPA_PLATFORM=offscreen)\n");
        return 1;
    }
    char folder[] = "/tmp/nvmx-record-cost-XXXXXX";
    char name[RECORD_TEXT_LEN];
    if (mkdtemp(folder) == nullptr || StartRecording(folder, name, sizeof name) != 0) {
        std::fprintf(stderr, "record-cost: %s\n", LastRecordingError());
        return 1;
    }
    unsigned char values[RECORD_VALUES] = {};
    const double start = Timer();
    for (long i = 0; i < frames; i++) {
        for (int k = 0; k < RECORD_VALUES; k++)
            values[k] = (unsigned char)(i + 37 * k);
        RecordFrame(values, "COM1");
    }
    const int stopped = StopRecording();
    const double seconds = Timer() - start;
    const std::string path = std::string(folder) + "/" + name;
    const auto bytes = std::filesystem::file_size(path);
    std::printf("%ld frames recorded in %.3f s: %.2f microseconds a frame, %.1f bytes a line%s\n",
                RecordedFrames(), seconds, 1e6 * seconds / (double)frames,
                (double)bytes / (double)frames, stopped == 0 ? "" : " (the file failed)");
    std::filesystem::remove_all(folder);
    return stopped == 0 ? 0 : 1;
}
