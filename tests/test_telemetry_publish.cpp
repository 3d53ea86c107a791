// The telemetry client's messages against a real broker: topics, payloads and retained flags,
// the pacing of frames, the parameters, "offline" at the end and the last will of a killed
// process.
#include "support/broker.h"
#include "support/telemetry_client.h"
#include "telemetry/telemetry.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string HostName() {
    char name[256] = "";
    gethostname(name, sizeof name - 1);
    return name;
}

MessageMatch FrameNumbered(const std::string &topic, long number) {
    return [topic, number](const ReceivedMessage &message) {
        return message.topic == topic && JsonInteger(message.payload, "frame") == number;
    };
}

void ExpectParameters(const std::string &json, const unsigned char block[TELEMETRY_BLOCK],
                      const char *source) {
    EXPECT_EQ(JsonText(json, "source"), source);
    EXPECT_EQ(JsonText(json, "port"), "COM7");
    EXPECT_EQ(JsonInteger(json, "POWER"), 255 - block[0]) << "the slider's value, not the byte";
    const char *names[] = {"PMOD",   "AVERAGE", "TRIGGER",    "EVALMODE",
                           "INTLIM", "HOLD",    "MAXCOL-No.", "OUTMODE"};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(JsonInteger(json, names[i]), block[i + 1]) << names[i];
    const std::vector<long> whole(block, block + TELEMETRY_BLOCK);
    EXPECT_EQ(JsonIntegers(json, "table"), std::vector<long>(whole.begin() + 9, whole.end()));
    EXPECT_EQ(JsonIntegers(json, "block"), whole);
}

int ThreadsOfThisProcess() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    return -1;
}

} // namespace

// Default topics and client id; status "online", the line's state beside it, both retained; a
// burst of frames at 10 per second sends few and always the newest; parameters retained, POWER
// as the slider shows it, the block exact; "offline" at the end leaves the state as it was.
TEST_F(Telemetry, PublishesStatusPacedFramesAndParametersUnderTheDefaultTopics) {
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    TestSubscriber watcher;
    ASSERT_TRUE(watcher.start(broker.port(), "#"));
    const std::string base = "nvmxv451/" + HostName() + "/COM7/";
    TelemetryConfig config = LocalConfig(broker.port());
    ASSERT_EQ(StartTelemetry(&config, "COM7"), 0) << LastTelemetryError();
    std::string state;
    ASSERT_TRUE(WaitForState(TELEMETRY_CONNECTED, "", &state)) << state;
    EXPECT_EQ(state, "MQTT connected to 127.0.0.1:" + std::to_string(broker.port()));
    EXPECT_TRUE(watcher.waitFor(Message(base + "status", "online"), WAIT_S));
    EXPECT_NE(broker.log().find(" as nvmxv451-" + HostName() + "-COM7 "), std::string::npos);
    PublishStatus("LINE OK");
    ReceivedMessage lineOk;
    ASSERT_TRUE(watcher.waitFor(Message(base + "state"), WAIT_S, &lineOk));
    EXPECT_EQ(JsonText(lineOk.payload, "state"), "LINE OK");
    EXPECT_EQ(JsonText(lineOk.payload, "port"), "COM7");
    EXPECT_EQ(lineOk.payload.find("message"), std::string::npos) << lineOk.payload;

    unsigned char values[TELEMETRY_VALUES];
    for (int i = 1; i <= 100; i++) {
        SetFrame(values, i);
        PublishFrame(values);
    }
    ReceivedMessage last;
    ASSERT_TRUE(watcher.waitFor(FrameNumbered(base + "frame", 100), WAIT_S, &last));
    EXPECT_LE(watcher.count(Message(base + "frame")), 4) << "a burst is paced";
    EXPECT_FALSE(last.retained);
    EXPECT_EQ(JsonText(last.payload, "port"), "COM7");
    const char *names[] = {"RED", "GREEN", "BLUE", "X", "Y", "INT", "C-No"};
    for (int i = 0; i < TELEMETRY_VALUES; i++)
        EXPECT_EQ(JsonInteger(last.payload, names[i]), 100 + 10 * i) << names[i];
    const std::regex localTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
    EXPECT_TRUE(std::regex_match(JsonText(last.payload, "time"), localTime)) << last.payload;

    // 1.5 s of frames every millisecond: at most 10 a second arrive, and the last one.
    const auto end = Clock::now() + std::chrono::milliseconds(1500);
    long number = 100;
    while (Clock::now() < end) {
        SetFrame(values, (int)++number);
        PublishFrame(values);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(watcher.waitFor(FrameNumbered(base + "frame", number), WAIT_S));
    const int frames = watcher.count(Message(base + "frame"));
    EXPECT_LE(frames, 4 + 17) << "paced to 10 a second";
    EXPECT_GE(frames, 5);
    EXPECT_EQ(TelemetryFramesSent(), frames);

    unsigned char block[TELEMETRY_BLOCK];
    MakeBlock(block, 55);
    PublishParameters(block, "EEPROM");
    ReceivedMessage parameters;
    ASSERT_TRUE(watcher.waitFor(Message(base + "parameters"), WAIT_S, &parameters));
    ExpectParameters(parameters.payload, block, "EEPROM");

    TestSubscriber latecomer;
    ASSERT_TRUE(latecomer.start(broker.port(), "#"));
    ReceivedMessage status;
    EXPECT_TRUE(latecomer.waitFor(Message(base + "status"), WAIT_S, &status));
    EXPECT_TRUE(status.retained && status.payload == "online") << status.payload;
    EXPECT_TRUE(latecomer.waitFor(StateIs(base + "state", "LINE OK"), WAIT_S));
    EXPECT_TRUE(latecomer.waitFor(Message(base + "parameters"), WAIT_S, &parameters));
    EXPECT_TRUE(parameters.retained);
    EXPECT_EQ(latecomer.count(Message(base + "frame")), 0) << "frames are not retained";

    // A frame that still waits for its interval goes out before "offline".
    for (int i = 1; i <= 2; i++) {
        SetFrame(values, i);
        PublishFrame(values);
    }
    StopTelemetry();
    EXPECT_TRUE(latecomer.waitFor(FrameNumbered(base + "frame", number + 2), WAIT_S));
    EXPECT_TRUE(latecomer.waitFor(Message(base + "status", "offline"), WAIT_S));
    TestSubscriber afterTheEnd;
    ASSERT_TRUE(afterTheEnd.start(broker.port(), "#"));
    ReceivedMessage kept;
    EXPECT_TRUE(afterTheEnd.waitFor(StateIs(base + "state", "LINE OK"), WAIT_S, &kept));
    EXPECT_EQ(JsonText(kept.payload, "time"), JsonText(lineOk.payload, "time"))
        << "the state keeps the time it came about";
    int code = -1;
    EXPECT_EQ(TelemetryState(&code), "MQTT off");
    EXPECT_EQ(code, TELEMETRY_OFF);
}

// A process killed outright leaves its connection to the broker, which then sends the last will.
TEST_F(Telemetry, TheBrokerSaysOfflineWhenTheProcessIsKilled) {
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    ASSERT_EQ(ThreadsOfThisProcess(), 1) << "the child must start its threads itself";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        TelemetryConfig config = LocalConfig(broker.port());
        std::snprintf(config.topicPrefix, sizeof config.topicPrefix, "plant/line4");
        if (StartTelemetry(&config, "COM2") == 0 && WaitForState(TELEMETRY_CONNECTED, ""))
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
    const bool watching = watcher.start(broker.port(), "plant/line4/COM2/status");
    const bool online = watcher.waitFor(Message("plant/line4/COM2/status", "online"), WAIT_S);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(connected && watching && online);
    ReceivedMessage will;
    EXPECT_TRUE(watcher.waitFor(Message("plant/line4/COM2/status", "offline"), WAIT_S, &will));
    TestSubscriber latecomer;
    ASSERT_TRUE(latecomer.start(broker.port(), "plant/line4/COM2/status"));
    EXPECT_TRUE(latecomer.waitFor(
        [](const ReceivedMessage &m) { return m.retained && m.payload == "offline"; }, WAIT_S));
}
