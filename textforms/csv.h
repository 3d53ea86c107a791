// The recording's CSV form: the recorder writes it and the emulator's replay reads it back, so
// both take its header and column names from here. Constants only, free of Qt and of the
// program's state.
#pragma once

#include "sensor/wire.h"

// The first line: the time of day, seconds since the start, the frame's values and the port.
inline constexpr char RECORD_CSV_HEADER[] = "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\n";
// A line that begins so is the header, not a record.
inline constexpr char RECORD_CSV_HEADER_START[] = "time,";

// The frame's values (the sensor's measurement record) as the columns after the two times carry
// them, named as in the header (FRAME_VALUE_NAMES).
enum { RECORD_CSV_VALUES = FRAME_LENGTH };
