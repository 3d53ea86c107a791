// What one port's command came to, and the lines that report it: for people, or one JSON
// object per line for scripts.
#pragma once

#include "files/path.h"
#include "line/linefile.h"
#include "sensor/wire.h"
#include "textforms/portlabel.h"

#include <cstdio>
#include <string>

enum { RESULT_TEXT_LEN = 512, RESULT_FIELDS_LEN = 16384 };

// A fixed record: each port's thread fills its own, the report reads them all at the end.
struct PortResult {
    int exitCode;                  // PLANT_EXIT_...
    char port[PORT_LABEL_LEN];     // "COM3"
    char sensor[SENSOR_NAME_LEN];  // "infeed", or the device's name ("ttyUSB0")
    char device[FILE_PATH_LEN];    // "/dev/ttyUSB0", "" when unknown
    char status[RESULT_TEXT_LEN];  // "LINE OK", "TIMEOUT", "Cannot open port", ...
    char message[RESULT_TEXT_LEN]; // what was done, or why it failed
    char file[FILE_PATH_LEN];      // the file written, "" when none
    long frames;                   // record: frames in the file
    double seconds;                // record: how long it ran
    int hasBlock;                  // get: block holds what the sensor sent
    unsigned char block[BLOCK_LENGTH];
    char fields[RESULT_FIELDS_LEN]; // the command's own JSON fields: ",\"name\":value..."
    char detail[RESULT_FIELDS_LEN]; // lines for people after the result's line ("" for none)
};

// Starts a result for the named sensor on a port: exit code 0, texts empty.
void BeginResult(PortResult *result, const char *port, const char *sensor, const char *device);
// Sets the exit code, the status and a message made like printf.
void SetResult(PortResult *result, int exitCode, const char *status, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
// Adds a line to the result's detail for people, cut where the detail is full.
void AddResultDetail(PortResult *result, const std::string &line);
// Adds ",\"name\":json" to the result's own JSON fields; json is a JSON value. False when it
// does not fit (nothing is added).
bool AddResultField(PortResult *result, const char *name, const std::string &json);

// One line for people: "infeed COM3 (/dev/ttyUSB0): LINE OK", and the result's detail lines.
void PrintResultLine(FILE *stream, const PortResult *result);
// One JSON object on one line: command, sensor, port, device, ok, exit, status, message, and
// file, frames, seconds, block where they apply, and the command's own fields.
void PrintResultJson(FILE *stream, const char *command, const PortResult *result);
