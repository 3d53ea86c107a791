// What the program's calls and the client thread share: each sensor's slots, which the calls
// leave their news in under that sensor's own lock, the wake-up of the client, and the
// connection's state for people. Inside telemetry/ only.
#pragma once

#include "telemetry/telemetry.h"

#include <atomic>
#include <chrono>
#include <mutex>

namespace telemetry_shared {

using SteadyClock = std::chrono::steady_clock;
using SystemClock = std::chrono::system_clock;

inline SteadyClock::duration Seconds(double seconds) {
    return std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(seconds));
}

enum {
    STATUS_LEN = 64,
    STATE_MESSAGE_LEN = TELEMETRY_TEXT_LEN,
    SOURCE_LEN = 16,
    STATE_LEN = 2 * TELEMETRY_TEXT_LEN + 128,
};

struct FrameSlot {
    unsigned char values[TELEMETRY_VALUES];
    SystemClock::time_point time;
    long number; // PublishFrameOf calls for the sensor since the start, this one included
    bool fresh;
};

// The sensor's state ("LINE OK", "TIMEOUT", ...) and when it came about.
struct StateSlot {
    char text[STATUS_LEN];
    char message[STATE_MESSAGE_LEN]; // what happened, for people; "" for none
    SystemClock::time_point time;
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

// Events waiting for the client, oldest first; when the broker is slow the oldest give way.
struct EventQueue {
    char text[TELEMETRY_EVENTS][TELEMETRY_EVENT_LEN];
    int count;
    long dropped; // events that gave way since the start
};

// A retained JSON text of the sensor: its active alarms ("" when none is active), its health.
struct AlarmSlot {
    char text[TELEMETRY_ALARMS_LEN];
    bool given;
    bool fresh;
};

// What the program left for the client about one sensor.
struct SensorNews {
    EventQueue events;
    AlarmSlot alarms;
    AlarmSlot health;
    FrameSlot frame;
    StateSlot state;
    ParameterSlot parameters;
    // The process serves the sensor: its status says "online" now and "offline" at the end.
    bool announced;
    bool announcementFresh;
    long framesGiven;
    // The client takes the next frame no earlier, and wakes by itself then: a frame left before
    // need not wake it.
    SteadyClock::time_point frameDue;
};

// One sensor's news under its own lock, on a cache line of its own: the frame loops of
// different sensors never wait for each other.
struct alignas(64) SensorSlots {
    std::mutex mutex;
    SensorNews news;              // guarded by mutex
    std::atomic<long> framesSent; // by the client thread
};

extern SensorSlots sensorSlots[TELEMETRY_MAX_SENSORS];
extern std::atomic<long> framesSent; // all sensors'
extern std::atomic<bool> stopping;   // the client is to end
// Some sensor was announced or left news: the client connects only then, so that a process
// whose ports all failed to open says nothing on the broker.
extern std::atomic<bool> newsGiven;

// Empties every sensor's slots and counters for a new client.
void ResetSlots(void);
// Tells the client that news waits (and sets newsGiven); cheap when it has been told already.
void WakeClient(void);
// Sets stopping and wakes the client.
void TellClientToStop(void);
// The client: forgets earlier wake-ups; called before it looks at the slots, so news left
// while it looks wakes it again.
void TakeWakeUp(void);
// The client: waits until deadline, news or stopping.
void WaitForNews(SteadyClock::time_point deadline);
// The client: waits until deadline or stopping; false when stopping.
bool WaitUnlessStopping(SteadyClock::time_point deadline);

// The state and its line for people, as GetTelemetryState hands them out.
void SetState(int code, const char *format, ...) __attribute__((format(printf, 2, 3)));
int GetState(char *text, int size);
// The state of a client that has yet to connect: waiting, and connecting to endpoint
// ("host:port") from the first news on. Called before any news can be given.
void SetWaitingState(const char *endpoint);

} // namespace telemetry_shared
