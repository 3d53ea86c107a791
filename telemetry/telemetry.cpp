// Live telemetry to an MQTT broker: the program's calls. They leave their news in each sensor's
// fixed slots under that sensor's lock (slots.h); the client thread (client.cpp) takes it from
// there.
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

std::mutex lifeMutex;             // serialises StartTelemetrySensors and StopTelemetry
std::atomic<int> sensorsTaken{0}; // the Publish calls take news for sensors below this
std::thread client;
TelemetrySetup runningSetup; // the running client's; too large for a stack
char lastError[STATE_LEN] = "";

void SetError(const char *format, ...) __attribute__((format(printf, 1, 2)));
void SetError(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(lastError, sizeof lastError, format, arguments);
    va_end(arguments);
}

void StopClient() {
    sensorsTaken = 0;
    if (!client.joinable())
        return;
    TellClientToStop();
    client.join();
    SetState(TELEMETRY_OFF, "MQTT off");
}

// The slots of sensor when the running client carries it; nullptr otherwise.
SensorSlots *SlotsOf(int sensor) {
    if (sensor < 0 || sensor >= sensorsTaken.load(std::memory_order_relaxed))
        return nullptr;
    return &sensorSlots[sensor];
}

} // namespace

int StartTelemetrySensors(const TelemetryConfig *config, const char *const *sensors, int count,
                          const char *const *ports) {
    std::lock_guard<std::mutex> life(lifeMutex);
    StopClient();
    lastError[0] = '\0';
    if (config == nullptr || config->host[0] == '\0')
        return 0;
    if (!PrepareTelemetrySetup(*config, sensors, count, &runningSetup, lastError, sizeof lastError,
                               ports))
        return -1;
    mosquitto *handle = NewClientHandle(runningSetup, lastError, sizeof lastError);
    if (handle == nullptr)
        return -1;
    ResetSlots();
    SetWaitingState(runningSetup.endpoint);
    try {
        client = std::thread(RunClient, handle, &runningSetup);
    } catch (const std::system_error &error) {
        SetError("The MQTT client thread does not start: %s", error.what());
        SetState(TELEMETRY_OFF, "MQTT off");
        mosquitto_destroy(handle);
        return -1;
    }
    sensorsTaken = count;
    return 0;
}

int StartTelemetry(const TelemetryConfig *config, const char *sensor) {
    const int started = StartTelemetrySensors(config, &sensor, 1);
    if (started == 0)
        AnnounceSensorOf(0);
    return started;
}

void StopTelemetry(void) {
    std::lock_guard<std::mutex> life(lifeMutex);
    StopClient();
}

void PublishFrameOf(int sensor, const unsigned char values[TELEMETRY_VALUES]) {
    SensorSlots *slots = SlotsOf(sensor);
    if (slots == nullptr)
        return;
    const SystemClock::time_point time = SystemClock::now();
    const SteadyClock::time_point now = SteadyClock::now();
    bool wake;
    {
        std::lock_guard<std::mutex> lock(slots->mutex);
        FrameSlot &frame = slots->news.frame;
        std::memcpy(frame.values, values, TELEMETRY_VALUES);
        frame.time = time;
        frame.number = ++slots->news.framesGiven;
        // A frame already waiting means the client knows: it is pacing or busy. Within the
        // pacing interval the client wakes by itself when it ends.
        wake = !frame.fresh && now >= slots->news.frameDue;
        frame.fresh = true;
    }
    if (wake)
        WakeClient();
}

void AnnounceSensorOf(int sensor) {
    SensorSlots *slots = SlotsOf(sensor);
    if (slots == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(slots->mutex);
        if (slots->news.announced)
            return;
        slots->news.announced = true;
        slots->news.announcementFresh = true;
    }
    WakeClient();
}

void WithdrawSensorOf(int sensor) {
    SensorSlots *slots = SlotsOf(sensor);
    if (slots == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(slots->mutex);
        if (!slots->news.announced)
            return;
        slots->news.announced = false;
        slots->news.announcementFresh = true;
    }
    WakeClient();
}

void PublishEventOf(int sensor, const char *json) {
    SensorSlots *slots = SlotsOf(sensor);
    if (slots == nullptr || std::strlen(json) >= TELEMETRY_EVENT_LEN)
        return;
    {
        std::lock_guard<std::mutex> lock(slots->mutex);
        EventQueue &events = slots->news.events;
        if (events.count == TELEMETRY_EVENTS) {
            std::memmove(events.text[0], events.text[1],
                         sizeof events.text[0] * (TELEMETRY_EVENTS - 1));
            --events.count;
            ++events.dropped;
        }
        std::snprintf(events.text[events.count++], TELEMETRY_EVENT_LEN, "%s", json);
    }
    WakeClient();
}

namespace {

void LeaveRetainedText(int sensor, AlarmSlot SensorNews::*slot, const char *json) {
    SensorSlots *slots = SlotsOf(sensor);
    if (slots == nullptr || std::strlen(json) >= TELEMETRY_ALARMS_LEN)
        return;
    {
        std::lock_guard<std::mutex> lock(slots->mutex);
        AlarmSlot &text = slots->news.*slot;
        std::snprintf(text.text, sizeof text.text, "%s", json);
        text.given = text.fresh = true;
    }
    WakeClient();
}

} // namespace

void PublishAlarmsOf(int sensor, const char *json) {
    LeaveRetainedText(sensor, &SensorNews::alarms, json);
}

void PublishHealthOf(int sensor, const char *json) {
    LeaveRetainedText(sensor, &SensorNews::health, json);
}

void PublishStatusOf(int sensor, const char *status) {
    PublishStateOf(sensor, status, "");
}

void PublishStateOf(int sensor, const char *status, const char *message) {
    SensorSlots *slots = SlotsOf(sensor);
    if (slots == nullptr || status == nullptr)
        return;
    const SystemClock::time_point time = SystemClock::now();
    {
        std::lock_guard<std::mutex> lock(slots->mutex);
        StateSlot &slot = slots->news.state;
        std::snprintf(slot.text, sizeof slot.text, "%s", status);
        std::snprintf(slot.message, sizeof slot.message, "%s", message ? message : "");
        slot.time = time;
        slot.given = true;
        slot.fresh = true;
    }
    WakeClient();
}

void PublishParametersOf(int sensor, const unsigned char block[TELEMETRY_BLOCK],
                         const char *source) {
    SensorSlots *slots = SlotsOf(sensor);
    if (slots == nullptr || block == nullptr)
        return;
    const SystemClock::time_point time = SystemClock::now();
    {
        std::lock_guard<std::mutex> lock(slots->mutex);
        ParameterSlot &set = slots->news.parameters;
        std::memcpy(set.block, block, TELEMETRY_BLOCK);
        std::snprintf(set.source, sizeof set.source, "%s", source ? source : "");
        set.time = time;
        set.given = true;
        set.fresh = true;
    }
    WakeClient();
}

void PublishFrame(const unsigned char values[TELEMETRY_VALUES]) {
    PublishFrameOf(0, values);
}

void PublishStatus(const char *status) {
    PublishStatusOf(0, status);
}

void PublishParameters(const unsigned char block[TELEMETRY_BLOCK], const char *source) {
    PublishParametersOf(0, block, source);
}

int GetTelemetryState(char *text, int size) {
    return GetState(text, size);
}

long TelemetryFramesSent(void) {
    return framesSent.load(std::memory_order_relaxed);
}

long TelemetryFramesSentOf(int sensor) {
    if (sensor < 0 || sensor >= TELEMETRY_MAX_SENSORS)
        return 0;
    return sensorSlots[sensor].framesSent.load(std::memory_order_relaxed);
}

const char *LastTelemetryError(void) {
    return lastError;
}
