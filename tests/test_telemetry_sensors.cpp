// Several sensors on one telemetry connection, against a real broker: each sensor's frames,
// fed from threads of their own, on its own topics; one connection; the process's topic with
// "online", the last will and the clean end; names that cannot share a connection refused.
#include "support/broker.h"
#include "telemetry/telemetry.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const double WAIT_S = 20; // ends as soon as the condition holds

TelemetryConfig LocalConfig(int port, const char *prefix) {
    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    std::snprintf(config.host, sizeof config.host, "127.0.0.1");
    std::snprintf(config.topicPrefix, sizeof config.topicPrefix, "%s", prefix);
    config.port = port;
    config.reconnectMin = 0.2;
    config.reconnectMax = 1;
    return config;
}

bool WaitConnected() {
    const auto deadline = Clock::now() + std::chrono::duration<double>(WAIT_S);
    while (Clock::now() < deadline) {
        if (GetTelemetryState(nullptr, 0) == TELEMETRY_CONNECTED)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// A number member of a flat JSON object; -1 when absent.
long JsonNumber(const std::string &json, const std::string &key) {
    std::smatch match;
    if (!std::regex_search(json, match, std::regex("\"" + key + "\":(\\d+)")))
        return -1;
    return std::stol(match[1]);
}

std::string HostName() {
    char name[256] = "";
    gethostname(name, sizeof name - 1);
    return name;
}

const char *const sensors[] = {"COM1", "COM2", "COM3"};

// The frames of sensor: RED tells the sensor, GREEN the frame's number (modulo 256).
void PublishFramesOf(int sensor, int frames) {
    unsigned char values[TELEMETRY_VALUES] = {};
    for (int i = 1; i <= frames; i++) {
        values[0] = (unsigned char)(100 + sensor);
        values[1] = (unsigned char)i;
        PublishFrameOf(sensor, values);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

class TelemetrySensors : public ::testing::Test {
  protected:
    void TearDown() override { StopTelemetry(); }
};

} // namespace

// Three frame loops on three threads at once, each paced to 10 a second on its own: each topic
// carries its own sensor's frames, numbered per sensor, and the counts add up. The broker sees one
// client, named by host and process, whose topic says "online"; a clean end says "offline" on every
// status and on the process's topic.
TEST_F(TelemetrySensors, ThreeSensorsShareOneConnectionAndKeepTheirTopicsApart) {
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    TestSubscriber watcher;
    ASSERT_TRUE(watcher.start(broker.port(), "hall/#"));
    TelemetryConfig config = LocalConfig(broker.port(), "hall");
    ASSERT_EQ(StartTelemetrySensors(&config, sensors, 3), 0) << LastTelemetryError();
    for (int sensor = 0; sensor < 3; sensor++)
        AnnounceSensorOf(sensor);
    ASSERT_TRUE(WaitConnected());
    const std::string clientId = "nvmxv451-" + HostName() + "-" + std::to_string(getpid());
    const std::string processTopic = "hall/clients/" + clientId;
    EXPECT_TRUE(watcher.waitFor(Message(processTopic, "online"), WAIT_S));
    for (const char *sensor : sensors)
        EXPECT_TRUE(
            watcher.waitFor(Message(std::string("hall/") + sensor + "/status", "online"), WAIT_S))
            << sensor;

    enum { FRAMES = 600 }; // some 1.2 s at 500 a second
    const auto start = Clock::now();
    std::vector<std::thread> loops;
    for (int sensor = 0; sensor < 3; sensor++)
        loops.emplace_back(PublishFramesOf, sensor, (int)FRAMES);
    for (std::thread &loop : loops)
        loop.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    PublishStatusOf(1, "LINE LOST");
    long total = 0;
    for (int sensor = 0; sensor < 3; sensor++) {
        SCOPED_TRACE(sensors[sensor]);
        const std::string topic = std::string("hall/") + sensors[sensor] + "/frame";
        ReceivedMessage last;
        ASSERT_TRUE(watcher.waitFor(
            [&](const ReceivedMessage &m) {
                return m.topic == topic && JsonNumber(m.payload, "frame") == FRAMES;
            },
            WAIT_S, &last));
        EXPECT_NE(last.payload.find(std::string("\"port\":\"") + sensors[sensor] + "\""),
                  std::string::npos)
            << last.payload;
        int frames = 0;
        for (const ReceivedMessage &message : watcher.messages()) {
            if (message.topic != topic)
                continue;
            frames++;
            EXPECT_EQ(JsonNumber(message.payload, "RED"), 100 + sensor) << message.payload;
            EXPECT_EQ(JsonNumber(message.payload, "GREEN"),
                      JsonNumber(message.payload, "frame") % 256);
        }
        // Pacing shared by the sensors would give each a third.
        EXPECT_GE(frames, (int)(seconds * 10 * 2 / 3));
        EXPECT_LE(frames, (int)(seconds * 10) + 4);
        // The client counts a frame once its publish returned: the broker may pass it on first.
        const auto counted = Clock::now() + std::chrono::duration<double>(WAIT_S);
        while (TelemetryFramesSentOf(sensor) < frames && Clock::now() < counted)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(TelemetryFramesSentOf(sensor), frames);
        total += frames;
    }
    EXPECT_EQ(TelemetryFramesSent(), total);
    EXPECT_TRUE(watcher.waitFor(
        [](const ReceivedMessage &m) {
            return m.topic == "hall/COM2/state" &&
                   m.payload.find("\"state\":\"LINE LOST\"") != std::string::npos;
        },
        WAIT_S));
    EXPECT_EQ(watcher.count(Message("hall/COM1/state")), 0);

    const std::string log = broker.log();
    EXPECT_EQ(broker.clientsConnected("nvmxv451-"), 1) << log;
    EXPECT_NE(log.find(" as " + clientId + " "), std::string::npos) << log;

    StopTelemetry();
    TestSubscriber latecomer;
    ASSERT_TRUE(latecomer.start(broker.port(), "hall/#"));
    for (const std::string topic :
         {"hall/COM1/status", "hall/COM2/status", "hall/COM3/status", processTopic.c_str()})
        EXPECT_TRUE(latecomer.waitFor(Message(topic, "offline"), WAIT_S)) << topic;
}

// One will for the connection: a process killed outright leaves "offline" on its own topic.
TEST_F(TelemetrySensors, TheProcessTopicCarriesTheLastWill) {
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        TelemetryConfig config = LocalConfig(broker.port(), "hall");
        std::snprintf(config.clientId, sizeof config.clientId, "line9");
        const bool started = StartTelemetrySensors(&config, sensors, 2) == 0;
        AnnounceSensorOf(0);
        if (started && WaitConnected())
            (void)!write(ready[1], "c", 1);
        for (;;)
            pause();
    }
    close(ready[1]);
    pollfd wait{ready[0], POLLIN, 0};
    char answer = 0;
    const bool connected =
        poll(&wait, 1, (int)(WAIT_S * 1000)) == 1 && read(ready[0], &answer, 1) == 1;
    close(ready[0]);
    TestSubscriber watcher;
    const bool watching = watcher.start(broker.port(), "hall/#");
    const bool online = watcher.waitFor(Message("hall/clients/line9", "online"), WAIT_S);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(connected && watching && online);
    EXPECT_TRUE(watcher.waitFor(Message("hall/clients/line9", "offline"), WAIT_S));
    EXPECT_EQ(watcher.count(Message("hall/COM1/status", "offline")), 0)
        << "the will is the process's, not a sensor's";
}

// Names that would mix two sensors' topics, or a client id that cannot be the process's topic
// level, are refused with the reason; nothing starts.
TEST_F(TelemetrySensors, NamesThatCannotShareAConnectionAreRefused) {
    TelemetryConfig config = LocalConfig(FreeLoopbackPort(), "hall");
    const char *const twice[] = {"COM1", "COM2", "COM1"};
    EXPECT_EQ(StartTelemetrySensors(&config, twice, 3), -1);
    EXPECT_NE(std::string(LastTelemetryError()).find("\"COM1\" is given twice"), std::string::npos)
        << LastTelemetryError();
    std::snprintf(config.clientId, sizeof config.clientId, "line/9");
    EXPECT_EQ(StartTelemetrySensors(&config, sensors, 2), -1);
    EXPECT_NE(std::string(LastTelemetryError()).find("client id"), std::string::npos);
    EXPECT_EQ(StartTelemetry(&config, "COM1"), 0) << "one sensor: the id is no topic level";
    StopTelemetry();
    std::vector<const char *> many(TELEMETRY_MAX_SENSORS + 1, "COM1");
    EXPECT_EQ(StartTelemetrySensors(&config, many.data(), (int)many.size()), -1);
    EXPECT_EQ(StartTelemetrySensors(&config, sensors, 0), -1);
    EXPECT_EQ(GetTelemetryState(nullptr, 0), TELEMETRY_OFF);
}
