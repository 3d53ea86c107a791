// Reading a recording's lines.
#include "textforms/recording.h"

#include "textforms/csv.h"
#include "textforms/timestamp.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { MIN_FIELDS = 2 + FRAME_LENGTH, FIELD_TEXT_LEN = 32 };

namespace {

struct Field {
    const char *begin;
    size_t length;
};

int Fail(RecordingError *error, long line, const char *reason, const Field *field) {
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

int ParseFrameLine(const char *line, size_t length, long lineNumber, RecordedFrame *frame,
                   RecordingError *error) {
    Field fields[MIN_FIELDS];
    int count = SplitFields(line, length, fields, MIN_FIELDS);
    if (count < MIN_FIELDS) {
        char reason[64];
        std::snprintf(reason, sizeof reason, "too few fields: %d of at least %d", count,
                      (int)MIN_FIELDS);
        return Fail(error, lineNumber, reason, nullptr);
    }
    if (!ParseTimeStamp(fields[0].begin, fields[0].length, &frame->stamp))
        frame->stamp = -1;
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

} // namespace

int ParseRecording(const char *text, size_t size, std::vector<RecordedFrame> *frames,
                   RecordingError *error, long *firstLine) {
    long lineNumber = 0;
    // A byte-order mark before the header, as some editors and spreadsheets write one.
    size_t start = size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
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
        RecordedFrame frame;
        if (ParseFrameLine(line, length, lineNumber, &frame, error) != 0)
            return -1;
        if (found == 0 && firstLine != nullptr)
            *firstLine = lineNumber;
        frames->push_back(frame);
        ++found;
    }
    if (found == 0)
        return Fail(error, lineNumber > 0 ? lineNumber : 1,
                    size == 0 ? "the file is empty" : "the file holds no frame", nullptr);
    return 0;
}
