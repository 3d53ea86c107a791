// Live telemetry to an MQTT broker: the program's calls. They leave their news in fixed slots
// under a mutex (slots.h); the client thread (client.cpp) takes it from there.
#include "telemetry/telemetry.h"

#include "telemetry/client.h"
#include "telemetry/slots.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

using namespace telemetry_shared;

namespace {

std::mutex lifeMutex;               // serialises StartTelemetry and StopTelemetry
std::atomic<bool> accepting{false}; // the Publish calls take news while a client runs
std::thread client;
char lastError[STATE_LEN] = "";

void SetError(const char *format, ...) __attribute__((format(printf, 1, 2)));
void SetError(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(lastError, sizeof lastError, format, arguments);
    va_end(arguments);
}

void ResetSlots() {
    std::lock_guard<std::mutex> lock(slotMutex);
    slots = Slots{};
}

void StopClient() {
    accepting = false;
    if (!client.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(slotMutex);
        slots.stopping = true;
    }
    slotsChanged.notify_all();
    client.join();
    SetState(TELEMETRY_OFF, "MQTT off");
}

} // namespace

int StartTelemetry(const TelemetryConfig *config, const char *sensor) {
    std::lock_guard<std::mutex> life(lifeMutex);
    StopClient();
    lastError[0] = '\0';
    if (config == nullptr || config->host[0] == '\0')
        return 0;
    TelemetrySetup setup;
    if (!PrepareTelemetrySetup(*config, sensor, &setup, lastError, sizeof lastError))
        return -1;
    mosquitto *handle = NewClientHandle(setup, lastError, sizeof lastError);
    if (handle == nullptr)
        return -1;
    ResetSlots();
    framesSent = 0;
    SetState(TELEMETRY_CONNECTING, "MQTT connecting to %s", setup.endpoint);
    try {
        client = std::thread(RunClient, handle, setup);
    } catch (const std::system_error &error) {
        SetError("The MQTT client thread does not start: %s", error.what());
        SetState(TELEMETRY_OFF, "MQTT off");
        mosquitto_destroy(handle);
        return -1;
    }
    accepting = true;
    return 0;
}

void StopTelemetry(void) {
    std::lock_guard<std::mutex> life(lifeMutex);
    StopClient();
}

void PublishFrame(const unsigned char values[TELEMETRY_VALUES]) {
    if (!accepting.load(std::memory_order_relaxed))
        return;
    const SystemClock::time_point time = SystemClock::now();
    bool wake;
    {
        std::lock_guard<std::mutex> lock(slotMutex);
        FrameSlot &frame = slots.frame;
        std::memcpy(frame.values, values, TELEMETRY_VALUES);
        frame.time = time;
        frame.number = ++slots.framesGiven;
        // A frame already waiting means the client knows: it is pacing or busy.
        wake = !frame.fresh;
        frame.fresh = true;
    }
    if (wake)
        slotsChanged.notify_one();
}

void PublishStatus(const char *status) {
    if (!accepting.load(std::memory_order_relaxed) || status == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(slotMutex);
        std::snprintf(slots.status.text, sizeof slots.status.text, "%s", status);
        slots.status.given = true;
        slots.status.fresh = true;
    }
    slotsChanged.notify_one();
}

void PublishParameters(const unsigned char block[TELEMETRY_BLOCK], const char *source) {
    if (!accepting.load(std::memory_order_relaxed) || block == nullptr)
        return;
    const SystemClock::time_point time = SystemClock::now();
    {
        std::lock_guard<std::mutex> lock(slotMutex);
        ParameterSlot &set = slots.parameters;
        std::memcpy(set.block, block, TELEMETRY_BLOCK);
        std::snprintf(set.source, sizeof set.source, "%s", source ? source : "");
        set.time = time;
        set.given = true;
        set.fresh = true;
    }
    slotsChanged.notify_one();
}

int GetTelemetryState(char *text, int size) {
    return GetState(text, size);
}

long TelemetryFramesSent(void) {
    return framesSent.load(std::memory_order_relaxed);
}

const char *LastTelemetryError(void) {
    return lastError;
}
