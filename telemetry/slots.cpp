#include "telemetry/slots.h"

#include <condition_variable>
#include <cstdarg>
#include <cstdio>

namespace telemetry_shared {

SensorSlots sensorSlots[TELEMETRY_MAX_SENSORS];
std::atomic<long> framesSent{0};
std::atomic<bool> stopping{false};
std::atomic<bool> newsGiven{false};

namespace {

std::mutex wakeMutex; // pairs with wakeUp; the flags themselves are atomic
std::condition_variable wakeUp;
std::atomic<bool> newsWaiting{false};

std::mutex stateMutex;
int stateCode = TELEMETRY_OFF;
char stateText[STATE_LEN] = "MQTT off";
char connectingText[STATE_LEN]; // the line that follows a waiting state

// The first news ends a waiting state: the client is on its way to the broker.
void LeaveWaitingState() {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (stateCode != TELEMETRY_WAITING)
        return;
    stateCode = TELEMETRY_CONNECTING;
    std::snprintf(stateText, sizeof stateText, "%s", connectingText);
}

// The lock is taken and left before the notification, so that a client between its look at
// the flags and its wait cannot miss it.
void NotifyClient() {
    { std::lock_guard<std::mutex> lock(wakeMutex); }
    wakeUp.notify_one();
}

} // namespace

void ResetSlots(void) {
    for (SensorSlots &slots : sensorSlots) {
        std::lock_guard<std::mutex> lock(slots.mutex);
        slots.news = SensorNews{};
        slots.framesSent = 0;
    }
    framesSent = 0;
    stopping = false;
    newsGiven = false;
    newsWaiting = false;
}

void WakeClient(void) {
    if (!newsGiven.exchange(true))
        LeaveWaitingState();
    if (!newsWaiting.exchange(true))
        NotifyClient();
}

void TellClientToStop(void) {
    stopping = true;
    NotifyClient();
}

void TakeWakeUp(void) {
    newsWaiting = false;
}

void WaitForNews(SteadyClock::time_point deadline) {
    std::unique_lock<std::mutex> lock(wakeMutex);
    wakeUp.wait_until(lock, deadline, [] { return newsWaiting.load() || stopping.load(); });
}

bool WaitUnlessStopping(SteadyClock::time_point deadline) {
    std::unique_lock<std::mutex> lock(wakeMutex);
    return !wakeUp.wait_until(lock, deadline, [] { return stopping.load(); });
}

void SetState(int code, const char *format, ...) {
    std::lock_guard<std::mutex> lock(stateMutex);
    stateCode = code;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(stateText, sizeof stateText, format, arguments);
    va_end(arguments);
}

void SetWaitingState(const char *endpoint) {
    std::lock_guard<std::mutex> lock(stateMutex);
    std::snprintf(connectingText, sizeof connectingText, "MQTT connecting to %s", endpoint);
    stateCode = TELEMETRY_WAITING;
    std::snprintf(stateText, sizeof stateText,
                  "MQTT waits for a sensor to serve before it connects to %s", endpoint);
}

int GetState(char *text, int size) {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (text != nullptr && size > 0)
        std::snprintf(text, (size_t)size, "%s", stateText);
    return stateCode;
}

} // namespace telemetry_shared
