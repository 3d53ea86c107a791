// Fuzz target: a recording read from its file (the size check, the byte-order mark, the lines) fed
// any bytes, and the recorder's lines read back. The file reader takes exactly what the parser
// takes from the same bytes; every frame taken, written again as the recorder writes it, reads
// back with the same values and its seconds to the millisecond.
#include "detection/readrecording.h"
#include "recording/recordingfile.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The file the input is written to, one per process.
const char *ScratchFile() {
    static std::string path;
    if (path.empty()) {
        char name[] = "/tmp/fuzz-recording-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            std::abort();
        close(fd);
        path = name;
        atexit([] { unlink(path.c_str()); });
    }
    return path.c_str();
}

void WriteScratch(const uint8_t *data, size_t size) {
    const int fd = open(ScratchFile(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0 || (size > 0 && write(fd, data, size) != (ssize_t)size))
        std::abort();
    close(fd);
}

bool SameFrames(const std::vector<RecordedFrame> &a, const std::vector<RecordedFrame> &b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].seconds != b[i].seconds || std::memcmp(a[i].values, b[i].values, FRAME_LENGTH))
            return false;
    return true;
}

// The frames as the recorder writes them, read back. Seconds beyond some thirty years are left
// out: no recording runs that long, and their digits outgrow the field.
void CheckWrittenAgain(const std::vector<RecordedFrame> &frames) {
    std::string text = RECORD_CSV_HEADER;
    std::vector<RecordedFrame> kept;
    for (const RecordedFrame &frame : frames) {
        if (frame.seconds >= 1e9)
            continue;
        char line[RECFILE_LINE_MAX];
        const int length = FormatRecordLine(line, sizeof line, "2026-12-07T22:41:18.052+00:00",
                                            frame.seconds, frame.values, "COM1");
        if (length < 0)
            std::abort(); // every frame fits a line
        text.append(line, (size_t)length);
        kept.push_back(frame);
    }
    if (kept.empty())
        return;
    std::vector<RecordedFrame> read;
    RecordingError error{};
    if (ParseRecording(text.data(), text.size(), &read, &error) != 0 || read.size() != kept.size())
        std::abort();
    for (size_t i = 0; i < kept.size(); i++)
        if (std::memcmp(read[i].values, kept[i].values, FRAME_LENGTH) != 0 ||
            !(std::fabs(read[i].seconds - kept[i].seconds) <= 0.0005 + kept[i].seconds * 1e-15))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<RecordedFrame> parsed, read;
    RecordingError parseError{}, readError{};
    long parsedLine = 0, readLine = 0;
    const int parsedResult = ParseRecording(reinterpret_cast<const char *>(data), size, &parsed,
                                            &parseError, &parsedLine);
    WriteScratch(data, size);
    const int readResult = ReadRecordingFile(ScratchFile(), &read, &readError, &readLine);
    // The file reader is the parser over the file; a refused file leaves the frames unchanged.
    if (readResult != parsedResult ||
        (readResult == 0 ? !SameFrames(read, parsed) || readLine != parsedLine
                         : !read.empty() || readError.line != parseError.line ||
                               std::strcmp(readError.reason, parseError.reason) != 0))
        std::abort();
    if (parsedResult == 0)
        CheckWrittenAgain(parsed);
    return 0;
}
