// The client thread: it owns the mosquitto handle, connects, has each sensor's news sent when it
// is due (news.cpp), services the connection, reconnects with back-off and says "offline" at
// the end.
#include "telemetry/client.h"

#include "telemetry/news.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace telemetry_shared;

namespace {

enum {
    KEEPALIVE_S = 15,
    // The longest the client stays in the network without looking at the slots, and the longest
    // a lost connection or an answer of the broker waits to be noticed.
    NETWORK_SLICE_MS = 100,
    CONNECT_TIMEOUT_S = 10,
    OFFLINE_WAIT_MS = 1000,
};

const char offlinePayload[] = "offline";

// The client thread's own view of its connection.
struct Link {
    mosquitto *handle;
    bool connected;
    bool connackSeen;
    int connackCode;
    int offlineMids[TELEMETRY_MAX_SENSORS + 1]; // the "offline" messages of a clean end
    int offlineCount;
    int offlineAcked;
    double retryDelay; // seconds before the next attempt after a failure
    SteadyClock::time_point retryAt;
    SteadyClock::time_point nextServiceDue;
};

const TelemetrySetup *running; // the running client's, given to RunClient
Link session;
std::once_flag libraryReady;
int libraryResult = MOSQ_ERR_SUCCESS;

// Where the sensors' news goes out: this connection, the running client's topics.
Outlet TheOutlet() {
    return Outlet{session.handle, running};
}

bool StopRequested() {
    return stopping.load();
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
    session.retryDelay = std::min(2 * delay, running->config.reconnectMax);
    SetState(code, "%s, retry in %g s", what, delay);
}

void ReportUnreachable(const char *reason) {
    char what[STATE_LEN];
    std::snprintf(what, sizeof what, "MQTT broker %s unreachable (%s)", running->endpoint, reason);
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
    std::snprintf(what, sizeof what, "MQTT broker %s refused the connection: %s", running->endpoint,
                  reason);
    ScheduleRetry(TELEMETRY_REFUSED, what);
}

void ReportLost(int rc, int savedErrno) {
    char reason[TELEMETRY_TEXT_LEN];
    DescribeError(rc, savedErrno, reason, sizeof reason);
    char what[STATE_LEN];
    std::snprintf(what, sizeof what, "MQTT connection to %s lost (%s)", running->endpoint, reason);
    ScheduleRetry(TELEMETRY_RETRYING, what);
}

void OnConnack(mosquitto *, void *, int code) {
    session.connackSeen = true;
    session.connackCode = code;
}

void OnPublished(mosquitto *, void *, int mid) {
    for (int i = 0; i < session.offlineCount; i++)
        if (session.offlineMids[i] == mid)
            session.offlineAcked++;
}

// After every (re)connect the broker learns the process is there (several sensors) and each
// sensor's retained news again: it may have lost its retained messages meanwhile.
void RepublishRetained() {
    if (running->processTopic[0] != '\0')
        PublishRetainedText(session.handle, running->processTopic, "online");
    RepublishSensors(TheOutlet());
}

void EnterConnected() {
    session.connected = true;
    session.retryDelay = running->config.reconnectMin;
    session.nextServiceDue = SteadyClock::now();
    SetState(TELEMETRY_CONNECTED, "MQTT connected to %s", running->endpoint);
    RepublishRetained();
}

// One attempt, from the name lookup to the broker's CONNACK. False when it failed (the retry is
// scheduled) or the client is to stop.
bool ConnectToBroker() {
    session.connackSeen = false;
    errno = 0;
    int rc =
        mosquitto_connect_async(session.handle, running->config.host, running->port, KEEPALIVE_S);
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

// One look at every sensor's slots: sends what is due, or waits until something may be. A
// socket that still holds data is drained by ServiceNetwork instead.
void SendDueNews() {
    TakeWakeUp();
    const bool socketFree = !mosquitto_want_write(session.handle);
    const auto now = SteadyClock::now();
    auto wakeAt = session.nextServiceDue;
    bool sent = false;
    for (int sensor = 0; sensor < running->sensorCount; sensor++)
        sent |= SendSensorNews(TheOutlet(), sensor, socketFree, now, wakeAt);
    if (!sent && socketFree && now < session.nextServiceDue)
        WaitForNews(wakeAt);
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
    while (!StopRequested()) {
        SendDueNews();
        const int rc = ServiceNetwork();
        if (rc != MOSQ_ERR_SUCCESS) {
            session.connected = false;
            ReportLost(rc, errno);
            return;
        }
    }
}

bool SendOffline(const char *topic) {
    int mid = 0;
    if (mosquitto_publish(session.handle, &mid, topic, (int)sizeof offlinePayload - 1,
                          offlinePayload, 1, true) != MOSQ_ERR_SUCCESS)
        return false;
    session.offlineMids[session.offlineCount++] = mid;
    return true;
}

// Every served sensor's status, then the process's topic, says "offline" retained.
bool SendEveryOffline() {
    for (int sensor = 0; sensor < running->sensorCount; sensor++)
        if (SensorAnnounced(sensor) && !SendOffline(running->sensors[sensor].statusTopic))
            return false;
    return running->processTopic[0] == '\0' || SendOffline(running->processTopic);
}

// Once the broker has every "offline", the connection ends cleanly. A broker that does not
// confirm them within a second sees the connection drop instead and sends the last will, which
// says the same.
void SayOfflineAndDisconnect() {
    if (!session.connected)
        return;
    SendPendingNews(TheOutlet());
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(OFFLINE_WAIT_MS);
    if (!SendEveryOffline())
        return;
    while (session.offlineAcked < session.offlineCount && SteadyClock::now() < deadline &&
           mosquitto_loop(session.handle, NETWORK_SLICE_MS / 2, 1) == MOSQ_ERR_SUCCESS) {
    }
    if (session.offlineAcked < session.offlineCount)
        return;
    mosquitto_disconnect(session.handle);
    while (mosquitto_want_write(session.handle) && SteadyClock::now() < deadline &&
           mosquitto_loop(session.handle, NETWORK_SLICE_MS / 2, 1) == MOSQ_ERR_SUCCESS) {
    }
}

// Waits until a sensor is announced or has news; false when the client is to stop first.
bool WaitForSomethingToTell() {
    while (!newsGiven.load()) {
        TakeWakeUp();
        if (newsGiven.load() || StopRequested())
            break;
        WaitForNews(SteadyClock::now() + std::chrono::seconds(1));
    }
    return newsGiven.load();
}

} // namespace

void RunClient(mosquitto *handle, const TelemetrySetup *setup) {
    running = setup;
    session = Link{};
    session.handle = handle;
    session.retryDelay = running->config.reconnectMin;
    if (!WaitForSomethingToTell()) {
        mosquitto_destroy(handle);
        return;
    }
    for (;;) {
        if (ConnectToBroker())
            ServeConnection();
        if (session.connected || !WaitUnlessStopping(session.retryAt))
            break;
    }
    SayOfflineAndDisconnect();
    mosquitto_destroy(handle);
}

namespace {

bool Configured(mosquitto *handle, int rc, const char *what, char *why, size_t size) {
    if (rc == MOSQ_ERR_SUCCESS)
        return true;
    std::snprintf(why, size, "The MQTT client cannot %s: %s", what, mosquitto_strerror(rc));
    mosquitto_destroy(handle);
    return false;
}

} // namespace

mosquitto *NewClientHandle(const TelemetrySetup &setup, char *why, size_t size) {
    std::call_once(libraryReady, [] { libraryResult = mosquitto_lib_init(); });
    if (libraryResult != MOSQ_ERR_SUCCESS) {
        std::snprintf(why, size, "The MQTT library does not start: %s",
                      mosquitto_strerror(libraryResult));
        return nullptr;
    }
    mosquitto *handle = mosquitto_new(setup.clientId, true, nullptr);
    if (handle == nullptr) {
        std::snprintf(why, size, "The MQTT client cannot be made: %s", std::strerror(errno));
        return nullptr;
    }
    const TelemetryConfig &config = setup.config;
    if (!Configured(handle,
                    mosquitto_will_set(handle, setup.willTopic, (int)sizeof offlinePayload - 1,
                                       offlinePayload, 1, true),
                    "set its last will", why, size))
        return nullptr;
    if (config.username[0] != '\0' &&
        !Configured(handle,
                    mosquitto_username_pw_set(handle, config.username,
                                              config.password[0] ? config.password : nullptr),
                    "take the user name", why, size))
        return nullptr;
    if (config.caFile[0] != '\0' &&
        !Configured(handle,
                    mosquitto_tls_set(handle, config.caFile, nullptr, nullptr, nullptr, nullptr),
                    "use TLS", why, size))
        return nullptr;
    mosquitto_connect_callback_set(handle, OnConnack);
    mosquitto_publish_callback_set(handle, OnPublished);
    return handle;
}
