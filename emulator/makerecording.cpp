#include "emulator/makerecording.h"

#include "emulator/colour.h"
#include "emulator/memory.h"
#include "emulator/options.h"
#include "recording/recordingfile.h"
#include "textforms/csv.h"
#include "textforms/timestamp.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

// Line time begins at 2026-01-05T06:00:00Z: a made recording is the same on every run.
static const long long MADE_START_MS = 1767592800000LL;

int MakeRecording(const char *path) {
    FILE *file = fopen(path, "wx");
    if (file == nullptr) {
        fprintf(stderr, "sensor-emulator: %s: %s\n", path, strerror(errno));
        return 1;
    }
    fputs(RECORD_CSV_HEADER, file);
    const unsigned long frames = (unsigned long)(options.minutes * 60.0 * EMULATED_FRAME_RATE);
    for (unsigned long frame = 0; frame < frames; ++frame) {
        unsigned char values[FRAME_LENGTH];
        ComposeFrame(frame, sensorEEPROM, values);
        const double seconds = (double)frame / EMULATED_FRAME_RATE;
        char stamp[TIME_STAMP_LEN], line[RECFILE_LINE_MAX];
        FormatTimeStamp(MADE_START_MS + (long long)(seconds * 1000.0), stamp, sizeof stamp);
        if (FormatRecordLine(line, sizeof line, stamp, seconds, values, "sensor-emulator") > 0) {
            fputs(line, file);
        }
    }
    if (fclose(file) != 0) {
        fprintf(stderr, "sensor-emulator: %s: %s\n", path, strerror(errno));
        return 1;
    }
    return 0;
}
