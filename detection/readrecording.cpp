// A recording read from its file.
#include "detection/readrecording.h"

#include "files/regularfile.h"

#include <cstdio>
#include <string>

int ReadRecordingFile(const char *path, std::vector<RecordedFrame> *frames, RecordingError *error,
                      long *firstLine) {
    std::string text, why;
    if (!ReadSmallFile(path, RECORDING_FILE_LIMIT, &text, &why)) {
        error->line = 0;
        std::snprintf(error->reason, sizeof error->reason, "%s", why.c_str());
        return -1;
    }
    const size_t before = frames->size();
    if (ParseRecording(text.data(), text.size(), frames, error, firstLine) == 0)
        return 0;
    frames->resize(before);
    return -1;
}
