// What the program's calls and the client thread share: the slots the calls leave their news
// in, under slotMutex, and the connection's state for people. Inside telemetry/ only.
#pragma once

#include "telemetry/telemetry.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace telemetry_shared {

using SteadyClock = std::chrono::steady_clock;
using SystemClock = std::chrono::system_clock;

enum {
    STATUS_LEN = 64,
    SOURCE_LEN = 16,
    STATE_LEN = 2 * TELEMETRY_TEXT_LEN + 128,
};

struct FrameSlot {
    unsigned char values[TELEMETRY_VALUES];
    SystemClock::time_point time;
    long number; // PublishFrame calls since the start, this one included
    bool fresh;
};

struct StatusSlot {
    char text[STATUS_LEN];
    bool given;
    bool fresh;
};

struct ParameterSlot {
    unsigned char block[TELEMETRY_BLOCK];
    char source[SOURCE_LEN];
    SystemClock::time_point time;
    bool given;
    bool fresh;
};

// What the program left for the client, guarded by slotMutex.
struct Slots {
    FrameSlot frame;
    StatusSlot status;
    ParameterSlot parameters;
    long framesGiven;
    bool stopping;
};

extern std::mutex slotMutex;
extern std::condition_variable slotsChanged;
extern Slots slots;
extern std::atomic<long> framesSent;

// The state and its line for people, as GetTelemetryState hands them out.
void SetState(int code, const char *format, ...) __attribute__((format(printf, 2, 3)));
int GetState(char *text, int size);

} // namespace telemetry_shared
