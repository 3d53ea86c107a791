#include "telemetry/news.h"

#include "telemetry/payloads.h"
#include "textforms/dumpjson.h"

#include <algorithm>
#include <cstring>

using namespace telemetry_shared;

namespace {

// The sensor's name, the state and its message, each at its longest, with the time and the keys.
constexpr int STATE_TEXT_BYTES = (int)TELEMETRY_TEXT_LEN + STATUS_LEN + STATE_MESSAGE_LEN;
static_assert(JSON_TEXT_GROWTH * STATE_TEXT_BYTES + 128 < PAYLOAD_LEN, "a state fits its payload");

// What one turn of the client takes out of one sensor's slots.
struct News {
    bool announcement, state, parameters, frame, alarms, health;
    EventQueue events; // only its first count texts are taken
    AlarmSlot alarmSlot, healthSlot;
    bool present; // with announcement: "online" (announced) or "offline" (withdrawn)
    StateSlot stateSlot;
    ParameterSlot parameterSlot;
    FrameSlot frameSlot;
};

long long Milliseconds(SystemClock::time_point time) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

// A payload that did not fit its buffer is not sent.
void PublishRetainedPayload(mosquitto *handle, const char *topic, const Payload &payload) {
    if (!payload.overflow)
        mosquitto_publish(handle, nullptr, topic, (int)payload.length, payload.text, 1, true);
}

void SendParameters(const Outlet &outlet, int sensor, const ParameterSlot &set) {
    const SensorTopics &topics = outlet.setup->sensors[sensor];
    Payload payload{};
    FormatParametersPayload(set.block, set.source, Milliseconds(set.time), topics.port, payload);
    PublishRetainedPayload(outlet.handle, topics.parametersTopic, payload);
}

void SendState(const Outlet &outlet, int sensor, const StateSlot &state) {
    const SensorTopics &topics = outlet.setup->sensors[sensor];
    Payload payload{};
    FormatStatePayload(state.text, state.message, Milliseconds(state.time), topics.port, payload);
    PublishRetainedPayload(outlet.handle, topics.stateTopic, payload);
}

// The events, not retained, and the alarms (when fresh or asked for), retained; an empty
// alarms text empties the retained topic.
void SendEventsAndAlarms(const Outlet &outlet, int sensor, const News &news, bool alarms,
                         bool health) {
    const SensorTopics &topics = outlet.setup->sensors[sensor];
    for (int i = 0; i < news.events.count; i++)
        mosquitto_publish(outlet.handle, nullptr, topics.eventsTopic,
                          (int)std::strlen(news.events.text[i]), news.events.text[i], 1, false);
    if (alarms)
        PublishRetainedText(outlet.handle, topics.alarmsTopic, news.alarmSlot.text);
    if (health)
        PublishRetainedText(outlet.handle, topics.healthTopic, news.healthSlot.text);
}

void SendFrame(const Outlet &outlet, int sensor, const FrameSlot &frame) {
    const SensorTopics &topics = outlet.setup->sensors[sensor];
    Payload payload{};
    FormatFramePayload(frame.values, frame.number, Milliseconds(frame.time), topics.portJson,
                       payload);
    if (payload.overflow)
        return;
    const int rc = mosquitto_publish(outlet.handle, nullptr, topics.frameTopic, (int)payload.length,
                                     payload.text, 0, false);
    if (rc == MOSQ_ERR_SUCCESS) {
        framesSent.fetch_add(1, std::memory_order_relaxed);
        sensorSlots[sensor].framesSent.fetch_add(1, std::memory_order_relaxed);
    }
}

// Moves a fresh announcement, state and parameter set into news, and the waiting frame when it
// is due. The caller holds the sensor's lock.
void TakeFromSlots(SensorNews &slots, News &news, bool frameDue) {
    news.events.count = slots.events.count;
    for (int i = 0; i < slots.events.count; i++)
        std::memcpy(news.events.text[i], slots.events.text[i], sizeof slots.events.text[i]);
    slots.events.count = 0;
    news.alarms = slots.alarms.fresh;
    if (news.alarms || slots.alarms.given)
        news.alarmSlot = slots.alarms;
    slots.alarms.fresh = false;
    news.health = slots.health.fresh;
    if (news.health || slots.health.given)
        news.healthSlot = slots.health;
    slots.health.fresh = false;
    news.announcement = slots.announcementFresh;
    news.present = slots.announced;
    slots.announcementFresh = false;
    news.state = slots.state.fresh;
    news.stateSlot = slots.state;
    slots.state.fresh = false;
    news.parameters = slots.parameters.fresh;
    news.parameterSlot = slots.parameters;
    slots.parameters.fresh = false;
    news.frame = slots.frame.fresh && frameDue;
    if (news.frame) {
        news.frameSlot = slots.frame;
        slots.frame.fresh = false;
    }
}

void SendNews(const Outlet &outlet, int sensor, const News &news) {
    if (news.announcement)
        PublishRetainedText(outlet.handle, outlet.setup->sensors[sensor].statusTopic,
                            news.present ? "online" : "offline");
    if (news.state)
        SendState(outlet, sensor, news.stateSlot);
    if (news.parameters)
        SendParameters(outlet, sensor, news.parameterSlot);
    if (news.frame)
        SendFrame(outlet, sensor, news.frameSlot);
    SendEventsAndAlarms(outlet, sensor, news, news.alarms, news.health);
}

} // namespace

int PublishRetainedText(mosquitto *handle, const char *topic, const char *text) {
    return mosquitto_publish(handle, nullptr, topic, (int)std::strlen(text), text, 1, true);
}

void RepublishSensors(const Outlet &outlet) {
    for (int sensor = 0; sensor < outlet.setup->sensorCount; sensor++) {
        News news{};
        bool announced;
        {
            SensorSlots &slots = sensorSlots[sensor];
            std::lock_guard<std::mutex> lock(slots.mutex);
            TakeFromSlots(slots.news, news, false);
            announced = slots.news.announced;
        }
        if (announced)
            PublishRetainedText(outlet.handle, outlet.setup->sensors[sensor].statusTopic, "online");
        if (news.stateSlot.given)
            SendState(outlet, sensor, news.stateSlot);
        if (news.parameterSlot.given)
            SendParameters(outlet, sensor, news.parameterSlot);
        SendEventsAndAlarms(outlet, sensor, news, news.alarmSlot.given, news.healthSlot.given);
    }
}

bool SendSensorNews(const Outlet &outlet, int sensor, bool socketFree, SteadyClock::time_point now,
                    SteadyClock::time_point &wakeAt) {
    News news{};
    {
        SensorSlots &slots = sensorSlots[sensor];
        std::lock_guard<std::mutex> lock(slots.mutex);
        SensorNews &waiting = slots.news;
        TakeFromSlots(waiting, news, socketFree && now >= waiting.frameDue);
        if (news.frame)
            waiting.frameDue = now + Seconds(outlet.setup->frameInterval);
        else if (waiting.frameDue > now)
            wakeAt = std::min(wakeAt, waiting.frameDue);
    }
    SendNews(outlet, sensor, news);
    return news.announcement || news.state || news.parameters || news.frame || news.alarms ||
           news.health || news.events.count > 0;
}

void SendPendingNews(const Outlet &outlet) {
    for (int sensor = 0; sensor < outlet.setup->sensorCount; sensor++) {
        News news{};
        {
            SensorSlots &slots = sensorSlots[sensor];
            std::lock_guard<std::mutex> lock(slots.mutex);
            TakeFromSlots(slots.news, news, true);
        }
        SendNews(outlet, sensor, news);
    }
}

bool SensorAnnounced(int sensor) {
    SensorSlots &slots = sensorSlots[sensor];
    std::lock_guard<std::mutex> lock(slots.mutex);
    return slots.news.announced;
}
