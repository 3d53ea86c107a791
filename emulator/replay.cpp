// Replay of a recording.
#include "emulator/replay.h"

#include "textforms/csv.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

enum { MIN_FIELDS = 2 + FRAME_LENGTH, FIELD_TEXT_LEN = 32 };

namespace {

struct Field {
    const char *begin;
    size_t length;
};

int Fail(ReplayError *error, long line, const char *reason, const Field *field) {
    error->line = line;
    if (field == nullptr) {
        std::snprintf(error->reason, sizeof error->reason, "%s", reason);
        return -1;
    }
    int shown = field->length > FIELD_TEXT_LEN ? FIELD_TEXT_LEN : (int)field->length;
    std::snprintf(error->reason, sizeof error->reason, "%s, not \"%.*s\"", reason, shown,
                  field->begin);
    return -1;
}

// Splits a line at its commas; returns the number of fields (counting beyond max, storing max).
int SplitFields(const char *line, size_t length, Field *fields, int max) {
    int count = 0;
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i == length || line[i] == ',') {
            if (count < max)
                fields[count] = {line + start, i - start};
            ++count;
            start = i + 1;
        }
    }
    return count;
}

// A whole decimal number in 0..255, nothing else in the field.
bool ParseByte(const Field &field, unsigned char *value) {
    if (field.length == 0 || field.length > 3)
        return false;
    int number = 0;
    for (size_t i = 0; i < field.length; ++i) {
        if (field.begin[i] < '0' || field.begin[i] > '9')
            return false;
        number = number * 10 + (field.begin[i] - '0');
    }
    if (number > 255)
        return false;
    *value = (unsigned char)number;
    return true;
}

// A finite, non-negative decimal number, nothing else in the field.
bool ParseSeconds(const Field &field, double *seconds) {
    char text[FIELD_TEXT_LEN + 1];
    if (field.length == 0 || field.length > FIELD_TEXT_LEN)
        return false;
    std::memcpy(text, field.begin, field.length);
    text[field.length] = '\0';
    char *end = nullptr;
    errno = 0;
    double number = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(number) || number < 0.0)
        return false;
    *seconds = number;
    return true;
}

int ParseFrameLine(const char *line, size_t length, long lineNumber, ReplayFrame *frame,
                   ReplayError *error) {
    Field fields[MIN_FIELDS];
    int count = SplitFields(line, length, fields, MIN_FIELDS);
    if (count < MIN_FIELDS) {
        char reason[64];
        std::snprintf(reason, sizeof reason, "too few fields: %d of at least %d", count,
                      (int)MIN_FIELDS);
        return Fail(error, lineNumber, reason, nullptr);
    }
    if (!ParseSeconds(fields[1], &frame->seconds))
        return Fail(error, lineNumber, "seconds is not a number >= 0", &fields[1]);
    for (int i = 0; i < FRAME_LENGTH; ++i) {
        if (!ParseByte(fields[2 + i], &frame->values[i])) {
            char reason[64];
            std::snprintf(reason, sizeof reason, "%s is not a number in 0..255",
                          FRAME_VALUE_NAMES[i]);
            return Fail(error, lineNumber, reason, &fields[2 + i]);
        }
    }
    return 0;
}

bool IsHeader(const char *line, size_t length) {
    const size_t start = sizeof RECORD_CSV_HEADER_START - 1;
    return length >= start && std::memcmp(line, RECORD_CSV_HEADER_START, start) == 0;
}

// The player's state: the loaded frames and where the next one comes from.
std::vector<ReplayFrame> replayFrames;
size_t nextFrame = 0;
int passBegan = 0;

} // namespace

int ParseReplay(const char *text, size_t size, std::vector<ReplayFrame> *frames,
                ReplayError *error) {
    long lineNumber = 0;
    size_t start = 0;
    size_t found = 0;
    while (start < size) {
        const char *line = text + start;
        const void *newline = std::memchr(line, '\n', size - start);
        size_t length = newline ? (size_t)((const char *)newline - line) : size - start;
        start += length + 1;
        ++lineNumber;
        if (length > 0 && line[length - 1] == '\r')
            --length;
        if (lineNumber == 1 && IsHeader(line, length))
            continue;
        ReplayFrame frame;
        if (ParseFrameLine(line, length, lineNumber, &frame, error) != 0)
            return -1;
        frames->push_back(frame);
        ++found;
    }
    if (found == 0)
        return Fail(error, lineNumber > 0 ? lineNumber : 1,
                    size == 0 ? "the file is empty" : "the file holds no frame", nullptr);
    return 0;
}

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
    ReplayError error;
    replayFrames.clear();
    if (ParseReplay(text.data(), text.size(), &replayFrames, &error) != 0) {
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
    const ReplayFrame &current = replayFrames[nextFrame++];
    std::memcpy(frame, current.values, FRAME_LENGTH);
    *delay = current.seconds - replayFrames.front().seconds;
    return 0;
}

int ReplayPassBegan(void) {
    return passBegan;
}
