// Live telemetry to an MQTT broker. The program's calls leave their news in fixed slots under a
// mutex; one client thread owns the mosquitto handle, connects, sends what is due, services the
// connection and reconnects with back-off.
#include "telemetry/telemetry.h"

#include "files/regularfile.h"
#include "textforms/json.h"
#include "textforms/timestamp.h"

#include <mosquitto.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace {

using SteadyClock = std::chrono::steady_clock;
using SystemClock = std::chrono::system_clock;

enum {
    STATUS_LEN = 64,
    SOURCE_LEN = 16,
    TOPIC_LEN = 3 * TELEMETRY_TEXT_LEN,
    STATE_LEN = 2 * TELEMETRY_TEXT_LEN + 128,
    PAYLOAD_LEN = 4096,
    KEEPALIVE_S = 15,
    // The longest the client stays in the network without looking at the slots, and the longest
    // a lost connection or an answer of the broker waits to be noticed.
    NETWORK_SLICE_MS = 100,
    CONNECT_TIMEOUT_S = 10,
    OFFLINE_WAIT_MS = 1000,
};

const char offlinePayload[] = "offline";

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

// The running client's configuration: written by StartTelemetry before the thread starts, read
// only by the thread after that.
struct Setup {
    TelemetryConfig config;
    int port;
    double frameInterval;                   // seconds; 0: every frame
    char endpoint[TELEMETRY_TEXT_LEN + 16]; // "host:port" for people
    char clientId[TOPIC_LEN];
    char portJson[JsonStringRoom(TELEMETRY_TEXT_LEN)]; // the sensor as a JSON string
    char statusTopic[TOPIC_LEN];
    char frameTopic[TOPIC_LEN];
    char parametersTopic[TOPIC_LEN];
};

// The client thread's own view of its connection.
struct Link {
    mosquitto *handle;
    bool connected;
    bool connackSeen;
    int connackCode;
    int offlineMid;
    bool offlineAcked;
    double retryDelay; // seconds before the next attempt after a failure
    SteadyClock::time_point retryAt;
    SteadyClock::time_point nextFrameDue;
    SteadyClock::time_point nextServiceDue;
};

// What one turn of the client takes out of the slots.
struct News {
    bool status, parameters, frame;
    StatusSlot statusSlot;
    ParameterSlot parameterSlot;
    FrameSlot frameSlot;
};

std::mutex lifeMutex; // serialises StartTelemetry and StopTelemetry
std::mutex slotMutex;
std::condition_variable slotsChanged;
Slots slots;
std::atomic<bool> accepting{false}; // the Publish calls take news while a client runs
std::atomic<long> framesSent{0};

std::mutex stateMutex;
int stateCode = TELEMETRY_OFF;
char stateText[STATE_LEN] = "MQTT off";

Setup setup;
Link session;
std::thread client;
char lastError[STATE_LEN] = "";
std::once_flag libraryReady;
int libraryResult = MOSQ_ERR_SUCCESS;

SteadyClock::duration Seconds(double seconds) {
    return std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(seconds));
}

void SetError(const char *format, ...) __attribute__((format(printf, 1, 2)));
void SetError(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(lastError, sizeof lastError, format, arguments);
    va_end(arguments);
}

void SetState(int code, const char *format, ...) __attribute__((format(printf, 2, 3)));
void SetState(int code, const char *format, ...) {
    std::lock_guard<std::mutex> lock(stateMutex);
    stateCode = code;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(stateText, sizeof stateText, format, arguments);
    va_end(arguments);
}

// ---- Payloads ----

// A payload under construction in a fixed buffer; one that does not fit is marked, not sent.
struct Payload {
    char text[PAYLOAD_LEN];
    size_t length;
    bool overflow;
};

void Append(Payload &payload, const char *format, ...) __attribute__((format(printf, 2, 3)));
void Append(Payload &payload, const char *format, ...) {
    if (payload.overflow)
        return;
    va_list arguments;
    va_start(arguments, format);
    const size_t room = sizeof payload.text - payload.length;
    const int written = std::vsnprintf(payload.text + payload.length, room, format, arguments);
    va_end(arguments);
    if (written < 0 || (size_t)written >= room)
        payload.overflow = true;
    else
        payload.length += (size_t)written;
}

// The stamp of a time point, as the recordings write it.
void FormatTime(SystemClock::time_point time, char *text, size_t size) {
    FormatTimeStamp(
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count(),
        text, size);
}

void FormatFrame(const FrameSlot &frame, Payload &payload) {
    char time[TIME_STAMP_LEN];
    FormatTime(frame.time, time, sizeof time);
    Append(payload, "{\"time\":\"%s\",\"port\":%s,\"frame\":%ld", time, setup.portJson,
           frame.number);
    for (int i = 0; i < TELEMETRY_VALUES; i++)
        Append(payload, ",\"%s\":%u", FRAME_VALUE_NAMES[i], frame.values[i]);
    Append(payload, "}");
}

void FormatParameters(const ParameterSlot &set, Payload &payload) {
    char time[TIME_STAMP_LEN];
    char source[JsonStringRoom(SOURCE_LEN)];
    FormatTime(set.time, time, sizeof time);
    FormatJsonString(set.source, source, sizeof source);
    Append(payload, "{\"time\":\"%s\",\"port\":%s,\"source\":%s", time, setup.portJson, source);
    // POWER as the panel's slider shows it.
    for (int i = 0; i < PARAMETER_COUNT; i++)
        Append(payload, ",\"%s\":%u", PARAMETER_NAMES[i],
               i == OFFSET_POWER ? InvertPower(set.block[i]) : set.block[i]);
    Append(payload, ",\"table\":[");
    for (int row = 0; row < TEACH_ROWS; row++) {
        const unsigned char *cell = set.block + TeachCellOffset(row + 1, 1);
        Append(payload, "%s[%u,%u,%u,%u,%u]", row == 0 ? "" : ",", cell[0], cell[1], cell[2],
               cell[3], cell[4]);
    }
    Append(payload, "],\"block\":[");
    for (int i = 0; i < TELEMETRY_BLOCK; i++)
        Append(payload, "%s%u", i == 0 ? "" : ",", set.block[i]);
    Append(payload, "]}");
}

// ---- The client thread ----

bool StopRequested() {
    std::lock_guard<std::mutex> lock(slotMutex);
    return slots.stopping;
}

// A library message without its closing full stop, to sit inside a sentence.
void CopyReason(const char *reason, char *text, size_t size) {
    std::snprintf(text, size, "%s", reason);
    const size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '.')
        text[length - 1] = '\0';
}

void DescribeError(int rc, int savedErrno, char *text, size_t size) {
    if (rc == MOSQ_ERR_ERRNO && savedErrno != 0)
        CopyReason(std::strerror(savedErrno), text, size);
    else if (rc == MOSQ_ERR_CONN_LOST)
        CopyReason("closed by the broker", text, size);
    else
        CopyReason(mosquitto_strerror(rc), text, size);
}

// Shows what went wrong and when the next attempt is due; the pause doubles up to the longest.
void ScheduleRetry(int code, const char *what) {
    const double delay = session.retryDelay;
    session.retryAt = SteadyClock::now() + Seconds(delay);
    session.retryDelay = std::min(2 * delay, setup.config.reconnectMax);
    SetState(code, "%s, retry in %g s", what, delay);
}

void ReportUnreachable(const char *reason) {
    char what[STATE_LEN];
    std::snprintf(what, sizeof what, "MQTT broker %s unreachable (%s)", setup.endpoint, reason);
    ScheduleRetry(TELEMETRY_RETRYING, what);
}

void ReportRefused(int connackCode) {
    const char *words = mosquitto_connack_string(connackCode);
    const char prefix[] = "Connection Refused: ";
    if (std::strncmp(words, prefix, sizeof prefix - 1) == 0)
        words += sizeof prefix - 1;
    char reason[TELEMETRY_TEXT_LEN];
    CopyReason(words, reason, sizeof reason);
    char what[STATE_LEN];
    std::snprintf(what, sizeof what, "MQTT broker %s refused the connection: %s", setup.endpoint,
                  reason);
    ScheduleRetry(TELEMETRY_REFUSED, what);
}

void ReportLost(int rc, int savedErrno) {
    char reason[TELEMETRY_TEXT_LEN];
    DescribeError(rc, savedErrno, reason, sizeof reason);
    char what[STATE_LEN];
    std::snprintf(what, sizeof what, "MQTT connection to %s lost (%s)", setup.endpoint, reason);
    ScheduleRetry(TELEMETRY_RETRYING, what);
}

void OnConnack(mosquitto *, void *, int code) {
    session.connackSeen = true;
    session.connackCode = code;
}

void OnPublished(mosquitto *, void *, int mid) {
    if (mid == session.offlineMid)
        session.offlineAcked = true;
}

int PublishRetained(const char *topic, const char *payload, int length) {
    return mosquitto_publish(session.handle, nullptr, topic, length, payload, 1, true);
}

void SendStatus(const char *status) {
    PublishRetained(setup.statusTopic, status, (int)std::strlen(status));
}

void SendParameters(const ParameterSlot &set) {
    Payload payload{};
    FormatParameters(set, payload);
    if (!payload.overflow)
        PublishRetained(setup.parametersTopic, payload.text, (int)payload.length);
}

void SendFrame(const FrameSlot &frame) {
    Payload payload{};
    FormatFrame(frame, payload);
    if (payload.overflow)
        return;
    const int rc = mosquitto_publish(session.handle, nullptr, setup.frameTopic, (int)payload.length,
                                     payload.text, 0, false);
    if (rc == MOSQ_ERR_SUCCESS)
        framesSent.fetch_add(1, std::memory_order_relaxed);
    session.nextFrameDue = SteadyClock::now() + Seconds(setup.frameInterval);
}

// After every (re)connect the broker learns the newest status ("online" before the first) and
// the newest parameter set again: it may have lost its retained messages meanwhile.
void RepublishRetained() {
    News news{};
    {
        std::lock_guard<std::mutex> lock(slotMutex);
        news.statusSlot = slots.status;
        news.parameterSlot = slots.parameters;
        slots.status.fresh = false;
        slots.parameters.fresh = false;
    }
    SendStatus(news.statusSlot.given ? news.statusSlot.text : "online");
    if (news.parameterSlot.given)
        SendParameters(news.parameterSlot);
}

void EnterConnected() {
    session.connected = true;
    session.retryDelay = setup.config.reconnectMin;
    session.nextFrameDue = SteadyClock::now();
    session.nextServiceDue = SteadyClock::now();
    SetState(TELEMETRY_CONNECTED, "MQTT connected to %s", setup.endpoint);
    RepublishRetained();
}

// One attempt, from the name lookup to the broker's CONNACK. False when it failed (the retry is
// scheduled) or the client is to stop.
bool ConnectToBroker() {
    session.connackSeen = false;
    errno = 0;
    int rc = mosquitto_connect_async(session.handle, setup.config.host, setup.port, KEEPALIVE_S);
    const auto deadline = SteadyClock::now() + std::chrono::seconds(CONNECT_TIMEOUT_S);
    char reason[TELEMETRY_TEXT_LEN];
    while (rc == MOSQ_ERR_SUCCESS && !session.connackSeen) {
        if (StopRequested())
            return false;
        if (SteadyClock::now() >= deadline) {
            std::snprintf(reason, sizeof reason, "no answer in %d s", (int)CONNECT_TIMEOUT_S);
            ReportUnreachable(reason);
            return false;
        }
        errno = 0;
        rc = mosquitto_loop(session.handle, NETWORK_SLICE_MS, 1);
    }
    if (session.connackSeen && session.connackCode != 0) {
        ReportRefused(session.connackCode);
        return false;
    }
    if (!session.connackSeen) {
        DescribeError(rc, errno, reason, sizeof reason);
        ReportUnreachable(reason);
        return false;
    }
    EnterConnected();
    return true;
}

bool NewsDue(SteadyClock::time_point now, bool socketFree) {
    return slots.stopping || slots.status.fresh || slots.parameters.fresh || !socketFree ||
           (slots.frame.fresh && now >= session.nextFrameDue) || now >= session.nextServiceDue;
}

// Moves the fresh status and parameter set into news, and the waiting frame when it is due.
// The caller holds slotMutex.
void TakeFromSlots(News &news, bool frameDue) {
    news.status = slots.status.fresh;
    news.statusSlot = slots.status;
    slots.status.fresh = false;
    news.parameters = slots.parameters.fresh;
    news.parameterSlot = slots.parameters;
    slots.parameters.fresh = false;
    news.frame = slots.frame.fresh && frameDue;
    if (news.frame) {
        news.frameSlot = slots.frame;
        slots.frame.fresh = false;
    }
}

// Waits until something is due, then takes it out of the slots. A frame waits while the pacing
// interval runs or while the socket still holds earlier data: the newest frame replaces it
// meanwhile. False when the client is to stop.
bool TakeNews(News &news) {
    const bool socketFree = !mosquitto_want_write(session.handle);
    std::unique_lock<std::mutex> lock(slotMutex);
    if (!NewsDue(SteadyClock::now(), socketFree)) {
        auto deadline = session.nextServiceDue;
        if (slots.frame.fresh)
            deadline = std::min(deadline, session.nextFrameDue);
        slotsChanged.wait_until(lock, deadline);
    }
    if (slots.stopping)
        return false;
    TakeFromSlots(news, socketFree && SteadyClock::now() >= session.nextFrameDue);
    return true;
}

void SendNews(const News &news) {
    if (news.status)
        SendStatus(news.statusSlot.text);
    if (news.parameters)
        SendParameters(news.parameterSlot);
    if (news.frame)
        SendFrame(news.frameSlot);
}

// Reads the broker's answers, sends keep-alives and, while the socket holds unsent data, waits
// for it to drain. Returns the library's code for the connection.
int ServiceNetwork() {
    const auto now = SteadyClock::now();
    const bool busy = mosquitto_want_write(session.handle);
    if (!busy && now < session.nextServiceDue)
        return MOSQ_ERR_SUCCESS;
    session.nextServiceDue = now + std::chrono::milliseconds(NETWORK_SLICE_MS);
    errno = 0;
    return mosquitto_loop(session.handle, busy ? NETWORK_SLICE_MS : 0, 1);
}

// Sends what the program leaves until the connection is lost (the retry is scheduled) or the
// client is to stop.
void ServeConnection() {
    News news{};
    while (TakeNews(news)) {
        SendNews(news);
        const int rc = ServiceNetwork();
        if (rc != MOSQ_ERR_SUCCESS) {
            session.connected = false;
            ReportLost(rc, errno);
            return;
        }
    }
}

// False when the client is to stop.
bool WaitBeforeRetry() {
    std::unique_lock<std::mutex> lock(slotMutex);
    return !slotsChanged.wait_until(lock, session.retryAt, [] { return slots.stopping; });
}

// What the program left last goes out before the end, the frame that waits for its interval
// too: the last frame of a burst is never lost.
void SendPendingNews() {
    News news{};
    {
        std::lock_guard<std::mutex> lock(slotMutex);
        TakeFromSlots(news, true);
    }
    SendNews(news);
}

// "offline" goes out retained; once the broker has it, the connection ends cleanly. A broker
// that does not confirm it within a second sees the connection drop instead and sends the last
// will, which says the same.
void SayOfflineAndDisconnect() {
    if (!session.connected)
        return;
    SendPendingNews();
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(OFFLINE_WAIT_MS);
    int mid = 0;
    if (mosquitto_publish(session.handle, &mid, setup.statusTopic, (int)sizeof offlinePayload - 1,
                          offlinePayload, 1, true) != MOSQ_ERR_SUCCESS)
        return;
    session.offlineMid = mid;
    while (!session.offlineAcked && SteadyClock::now() < deadline &&
           mosquitto_loop(session.handle, NETWORK_SLICE_MS / 2, 1) == MOSQ_ERR_SUCCESS) {
    }
    if (!session.offlineAcked)
        return;
    mosquitto_disconnect(session.handle);
    while (mosquitto_want_write(session.handle) && SteadyClock::now() < deadline &&
           mosquitto_loop(session.handle, NETWORK_SLICE_MS / 2, 1) == MOSQ_ERR_SUCCESS) {
    }
}

void RunClient(mosquitto *handle) {
    session = Link{};
    session.handle = handle;
    session.offlineMid = -1;
    session.retryDelay = setup.config.reconnectMin;
    for (;;) {
        if (ConnectToBroker())
            ServeConnection();
        if (session.connected || !WaitBeforeRetry())
            break;
    }
    SayOfflineAndDisconnect();
    mosquitto_destroy(handle);
}

// ---- Starting and stopping ----

bool Terminated(const char *field) {
    return std::memchr(field, '\0', TELEMETRY_TEXT_LEN) != nullptr;
}

// Names go on the wire and into reports: a control character in one is a mistake, never meant.
bool HasControlCharacter(const char *text) {
    for (; *text != '\0'; text++)
        if (static_cast<unsigned char>(*text) < 0x20 || *text == 0x7F)
            return true;
    return false;
}

bool CheckTexts(const TelemetryConfig &config, const char *sensor) {
    const char *fields[] = {config.host,     config.clientId, config.topicPrefix,
                            config.username, config.password, config.caFile};
    for (const char *field : fields) {
        if (!Terminated(field)) {
            SetError("A telemetry setting is longer than %d characters", TELEMETRY_TEXT_LEN - 1);
            return false;
        }
    }
    const struct {
        const char *text;
        const char *name;
    } names[] = {{config.host, "host"},
                 {config.clientId, "client id"},
                 {config.topicPrefix, "topic prefix"},
                 {config.username, "user name"}};
    for (const auto &name : names) {
        if (HasControlCharacter(name.text)) {
            SetError("The MQTT %s holds a control character", name.name);
            return false;
        }
    }
    if (sensor == nullptr || sensor[0] == '\0' || std::strlen(sensor) >= TELEMETRY_TEXT_LEN ||
        std::strpbrk(sensor, "+#/") != nullptr) {
        SetError("The sensor name \"%s\" cannot be a topic level", sensor ? sensor : "");
        return false;
    }
    return true;
}

// A prefix to publish under: no wildcards, no empty levels, not a broker's own "$" topic.
bool ValidTopicPrefix(const char *prefix) {
    const size_t length = std::strlen(prefix);
    return length > 0 && std::strpbrk(prefix, "+#") == nullptr && prefix[0] != '/' &&
           prefix[0] != '$' && prefix[length - 1] != '/' && std::strstr(prefix, "//") == nullptr;
}

bool CheckConfig(const TelemetryConfig &config) {
    if (config.port < 0 || config.port > 65535) {
        SetError("The MQTT port %d is not a port number", config.port);
        return false;
    }
    if (config.password[0] != '\0' && config.username[0] == '\0') {
        SetError("An MQTT password needs a user name");
        return false;
    }
    if (!(config.maxRate >= 0) || !(config.reconnectMin > 0) ||
        !(config.reconnectMax >= config.reconnectMin)) {
        SetError("The MQTT rate (%g) or reconnect pauses (%g to %g s) are out of range",
                 config.maxRate, config.reconnectMin, config.reconnectMax);
        return false;
    }
    if (config.caFile[0] != '\0') {
        // A FIFO would hold the client's start for ever, a folder or a device never connects.
        std::string why;
        const int fd = OpenRegularFile(config.caFile, &why);
        if (fd < 0) {
            SetError("The CA file %s cannot be read: %s", config.caFile, why.c_str());
            return false;
        }
        close(fd);
    }
    return true;
}

void HostName(char *name, size_t size) {
    if (gethostname(name, size) != 0 || name[0] == '\0')
        std::snprintf(name, size, "unknown");
    name[size - 1] = '\0';
}

bool PrepareSetup(const TelemetryConfig &config, const char *sensor) {
    if (!CheckTexts(config, sensor) || !CheckConfig(config))
        return false;
    setup = Setup{};
    setup.config = config;
    setup.port = config.port != 0        ? config.port
                 : config.caFile[0] != 0 ? (int)TELEMETRY_DEFAULT_TLS_PORT
                                         : (int)TELEMETRY_DEFAULT_PORT;
    setup.frameInterval = config.maxRate > 0 ? 1.0 / config.maxRate : 0.0;
    std::snprintf(setup.endpoint, sizeof setup.endpoint,
                  std::strchr(config.host, ':') ? "[%s]:%d" : "%s:%d", config.host, setup.port);
    char host[TELEMETRY_TEXT_LEN];
    HostName(host, sizeof host);
    char prefix[TELEMETRY_TEXT_LEN + 16];
    std::snprintf(prefix, sizeof prefix, "%s", config.topicPrefix);
    if (prefix[0] == '\0')
        std::snprintf(prefix, sizeof prefix, "nvmxv451/%s", host);
    if (!ValidTopicPrefix(prefix)) {
        SetError("The MQTT topic prefix \"%s\" has a wildcard (+, #) or an empty level", prefix);
        return false;
    }
    std::snprintf(setup.clientId, sizeof setup.clientId, "%s", config.clientId);
    if (setup.clientId[0] == '\0')
        std::snprintf(setup.clientId, sizeof setup.clientId, "nvmxv451-%s-%s", host, sensor);
    FormatJsonString(sensor, setup.portJson, sizeof setup.portJson);
    std::snprintf(setup.statusTopic, TOPIC_LEN, "%s/%s/status", prefix, sensor);
    std::snprintf(setup.frameTopic, TOPIC_LEN, "%s/%s/frame", prefix, sensor);
    std::snprintf(setup.parametersTopic, TOPIC_LEN, "%s/%s/parameters", prefix, sensor);
    return true;
}

bool Configured(mosquitto *handle, int rc, const char *what) {
    if (rc == MOSQ_ERR_SUCCESS)
        return true;
    SetError("The MQTT client cannot %s: %s", what, mosquitto_strerror(rc));
    mosquitto_destroy(handle);
    return false;
}

mosquitto *NewHandle() {
    std::call_once(libraryReady, [] { libraryResult = mosquitto_lib_init(); });
    if (libraryResult != MOSQ_ERR_SUCCESS) {
        SetError("The MQTT library does not start: %s", mosquitto_strerror(libraryResult));
        return nullptr;
    }
    mosquitto *handle = mosquitto_new(setup.clientId, true, nullptr);
    if (handle == nullptr) {
        SetError("The MQTT client cannot be made: %s", std::strerror(errno));
        return nullptr;
    }
    const TelemetryConfig &config = setup.config;
    if (!Configured(handle,
                    mosquitto_will_set(handle, setup.statusTopic, (int)sizeof offlinePayload - 1,
                                       offlinePayload, 1, true),
                    "set its last will"))
        return nullptr;
    if (config.username[0] != '\0' &&
        !Configured(handle,
                    mosquitto_username_pw_set(handle, config.username,
                                              config.password[0] ? config.password : nullptr),
                    "take the user name"))
        return nullptr;
    if (config.caFile[0] != '\0' &&
        !Configured(handle,
                    mosquitto_tls_set(handle, config.caFile, nullptr, nullptr, nullptr, nullptr),
                    "use TLS"))
        return nullptr;
    mosquitto_connect_callback_set(handle, OnConnack);
    mosquitto_publish_callback_set(handle, OnPublished);
    return handle;
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

void DefaultTelemetryConfig(TelemetryConfig *config) {
    *config = TelemetryConfig{};
    config->maxRate = 10;
    config->reconnectMin = 1;
    config->reconnectMax = 30;
}

int StartTelemetry(const TelemetryConfig *config, const char *sensor) {
    std::lock_guard<std::mutex> life(lifeMutex);
    StopClient();
    lastError[0] = '\0';
    if (config == nullptr || config->host[0] == '\0')
        return 0;
    if (!PrepareSetup(*config, sensor))
        return -1;
    mosquitto *handle = NewHandle();
    if (handle == nullptr)
        return -1;
    ResetSlots();
    framesSent = 0;
    SetState(TELEMETRY_CONNECTING, "MQTT connecting to %s", setup.endpoint);
    try {
        client = std::thread(RunClient, handle);
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
    std::lock_guard<std::mutex> lock(stateMutex);
    if (text != nullptr && size > 0)
        std::snprintf(text, (size_t)size, "%s", stateText);
    return stateCode;
}

long TelemetryFramesSent(void) {
    return framesSent.load(std::memory_order_relaxed);
}

const char *LastTelemetryError(void) {
    return lastError;
}
