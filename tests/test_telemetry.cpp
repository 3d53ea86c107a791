// The telemetry client against a real broker: topics, payloads and retained flags, the pacing of
// frames, the last will, reconnects, a broker that is down, TLS and a refused password.
#include "support/broker.h"
#include "telemetry/telemetry.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const double WAIT_S = 20; // ends as soon as the condition holds

TelemetryConfig LocalConfig(int port) {
    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    std::snprintf(config.host, sizeof config.host, "127.0.0.1");
    config.port = port;
    config.reconnectMin = 0.2;
    config.reconnectMax = 1;
    return config;
}

std::string TelemetryState(int *code = nullptr) {
    char text[TELEMETRY_TEXT_LEN * 2];
    const int state = GetTelemetryState(text, sizeof text);
    if (code != nullptr)
        *code = state;
    return text;
}

// Polls the state until it is code and its text holds part; text gets the last one seen.
bool WaitForState(int code, const std::string &part, std::string *text = nullptr) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(WAIT_S);
    int state = -1;
    std::string line;
    while (Clock::now() < deadline) {
        line = TelemetryState(&state);
        if (state == code && line.find(part) != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (text != nullptr)
        *text = line;
    return state == code && line.find(part) != std::string::npos;
}

// The integers of a JSON member: one for a number, all of them in order for an array (nested
// arrays flattened); none when the member is absent.
std::vector<long> JsonIntegers(const std::string &json, const std::string &key) {
    std::vector<long> numbers;
    const std::string member = "\"" + key + "\":";
    size_t at = json.find(member);
    if (at == std::string::npos)
        return numbers;
    int depth = 0;
    for (at += member.size(); at < json.size(); ++at) {
        const char c = json[at];
        if (c == '[') {
            ++depth;
        } else if (c == ']' && --depth <= 0) {
            break;
        } else if (std::isdigit((unsigned char)c)) {
            size_t used = 0;
            numbers.push_back(std::stol(json.substr(at), &used));
            at += used - 1;
            if (depth == 0)
                break;
        } else if (depth == 0) {
            break;
        }
    }
    return numbers;
}

long JsonInteger(const std::string &json, const std::string &key) {
    const std::vector<long> numbers = JsonIntegers(json, key);
    return numbers.size() == 1 ? numbers[0] : -1;
}

std::string JsonText(const std::string &json, const std::string &key) {
    const std::string member = "\"" + key + "\":\"";
    const size_t at = json.find(member);
    if (at == std::string::npos)
        return "";
    const size_t start = at + member.size();
    return json.substr(start, json.find('"', start) - start);
}

std::string HostName() {
    char name[256] = "";
    gethostname(name, sizeof name - 1);
    return name;
}

void SetFrame(unsigned char values[TELEMETRY_VALUES], int seed) {
    for (int i = 0; i < TELEMETRY_VALUES; i++)
        values[i] = (unsigned char)(seed + 10 * i);
}

MessageMatch FrameNumbered(const std::string &topic, long number) {
    return [topic, number](const ReceivedMessage &message) {
        return message.topic == topic && JsonInteger(message.payload, "frame") == number;
    };
}

// The retained state of a sensor's state topic, as a late subscriber is handed it.
MessageMatch StateIs(const std::string &topic, const std::string &state) {
    return [topic, state](const ReceivedMessage &m) {
        return m.topic == topic && m.retained && JsonText(m.payload, "state") == state;
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

void MakeBlock(unsigned char block[TELEMETRY_BLOCK], int seed) {
    for (int i = 0; i < TELEMETRY_BLOCK; i++)
        block[i] = (unsigned char)(seed + 7 * i);
}

int ThreadsOfThisProcess() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    return -1;
}

// Every test ends with the client stopped, also when an assertion ended it early.
class Telemetry : public ::testing::Test {
  protected:
    void TearDown() override { StopTelemetry(); }
};

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

// The broker goes away and comes back on the same port: the client retries with growing pauses
// (0.2 s doubling up to 1 s), reconnects by itself, tells the broker (which kept nothing) the
// status, state and parameters again, and frames flow again.
TEST_F(Telemetry, ReconnectsAfterTheBrokerRestartsAndRepublishesTheRetainedState) {
    TestBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    TelemetryConfig config = LocalConfig(broker.port());
    std::snprintf(config.topicPrefix, sizeof config.topicPrefix, "plant");
    ASSERT_EQ(StartTelemetry(&config, "COM3"), 0) << LastTelemetryError();
    ASSERT_TRUE(WaitForState(TELEMETRY_CONNECTED, ""));
    unsigned char block[TELEMETRY_BLOCK];
    MakeBlock(block, 3);
    PublishStateOf(0, "LINE LOST", "the device went away during the RAM read");
    PublishParameters(block, "RAM");
    {
        TestSubscriber watcher;
        ASSERT_TRUE(watcher.start(broker.port(), "plant/#"));
        ASSERT_TRUE(watcher.waitFor(Message("plant/COM3/parameters"), WAIT_S));
    }

    broker.stop();
    std::string state;
    ASSERT_TRUE(WaitForState(TELEMETRY_RETRYING, "lost", &state)) << state;
    std::vector<std::string> seen;
    const auto end = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < end) {
        const std::string line = TelemetryState();
        if (seen.empty() || seen.back() != line)
            seen.push_back(line);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const std::string unreachable =
        "MQTT broker 127.0.0.1:" + std::to_string(broker.port()) + " unreachable (";
    std::string all;
    for (const std::string &line : seen)
        all += line + "\n";
    EXPECT_NE(all.find(unreachable + "Connection refused), retry in 0.4 s"), std::string::npos)
        << all;
    EXPECT_NE(all.find("), retry in 0.8 s"), std::string::npos) << all;
    EXPECT_NE(all.find("), retry in 1 s"), std::string::npos) << all;
    EXPECT_EQ(all.find("retry in 1.6 s"), std::string::npos) << all;

    ASSERT_TRUE(broker.restart()) << broker.error();
    ASSERT_TRUE(WaitForState(TELEMETRY_CONNECTED, "", &state)) << state;
    TestSubscriber watcher;
    ASSERT_TRUE(watcher.start(broker.port(), "plant/#"));
    ReceivedMessage parameters;
    EXPECT_TRUE(watcher.waitFor(Message("plant/COM3/status", "online"), WAIT_S));
    ReceivedMessage lost;
    EXPECT_TRUE(watcher.waitFor(StateIs("plant/COM3/state", "LINE LOST"), WAIT_S, &lost));
    EXPECT_EQ(JsonText(lost.payload, "message"), "the device went away during the RAM read")
        << lost.payload;
    ASSERT_TRUE(watcher.waitFor(Message("plant/COM3/parameters"), WAIT_S, &parameters));
    EXPECT_TRUE(parameters.retained);
    EXPECT_EQ(JsonIntegers(parameters.payload, "block"),
              std::vector<long>(block, block + TELEMETRY_BLOCK));
    unsigned char values[TELEMETRY_VALUES];
    SetFrame(values, 9);
    PublishFrame(values);
    EXPECT_TRUE(watcher.waitFor(Message("plant/COM3/frame"), WAIT_S));
}

// A broker that is down, or that takes the connection and never answers: the frame loop pays
// only for a copy under a mutex, the silent broker is given up after 10 s, and StopTelemetry
// does not wait for the network.
TEST_F(Telemetry, ABrokerThatIsDownOrSilentNeverSlowsTheFrameLoop) {
    StopTelemetry(); // harmless when nothing runs
    TelemetryConfig config = LocalConfig(FreeLoopbackPort());
    ASSERT_EQ(StartTelemetry(&config, "COM1"), 0) << LastTelemetryError();
    std::string state;
    EXPECT_TRUE(WaitForState(TELEMETRY_RETRYING, "unreachable (Connection refused)", &state))
        << state;
    unsigned char values[TELEMETRY_VALUES] = {1, 2, 3, 4, 5, 6, 7};
    const auto start = Clock::now();
    for (int i = 0; i < 10000; i++)
        PublishFrame(values);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("PublishFrame with the broker down: %.0f ns a call\n", seconds * 1e9 / 10000);
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(TelemetryFramesSent(), 0);

    // The kernel completes the handshake for a listener that never accepts.
    const int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(silent, (const sockaddr *)&address, sizeof address), 0);
    ASSERT_EQ(listen(silent, 4), 0);
    ASSERT_EQ(getsockname(silent, (sockaddr *)&address, &length), 0);
    config.port = ntohs(address.sin_port);
    ASSERT_EQ(StartTelemetry(&config, "COM1"), 0) << LastTelemetryError();
    EXPECT_TRUE(WaitForState(TELEMETRY_RETRYING, "unreachable (no answer in 10 s)", &state))
        << state;
    ASSERT_EQ(StartTelemetry(&config, "COM1"), 0) << LastTelemetryError();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(TelemetryState(), "MQTT connecting to 127.0.0.1:" + std::to_string(config.port));
    const auto stopping = Clock::now();
    StopTelemetry();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - stopping).count(), 3.0);
    close(silent);
    int code = -1;
    EXPECT_EQ(TelemetryState(&code), "MQTT off");
    EXPECT_EQ(code, TELEMETRY_OFF);
}

// TLS checked against the CA that signed the broker's certificate; an unrelated CA fails the
// attempts; a CA file that cannot be read, or a prefix with wildcards or an empty level, fails
// StartTelemetry with the reason.
TEST_F(Telemetry, ConnectsOverTlsOnlyWithTheBrokersCa) {
    BrokerOptions options;
    options.tls = true;
    TestBroker broker;
    ASSERT_TRUE(broker.start(options)) << broker.error();
    TestSubscriber watcher;
    ASSERT_TRUE(watcher.start(broker.port(), "#"));
    TelemetryConfig config = LocalConfig(broker.tlsPort());
    std::snprintf(config.topicPrefix, sizeof config.topicPrefix, "secure");
    std::snprintf(config.caFile, sizeof config.caFile, "%s", broker.caFile().c_str());
    ASSERT_EQ(StartTelemetry(&config, "COM4"), 0) << LastTelemetryError();
    std::string state;
    ASSERT_TRUE(WaitForState(TELEMETRY_CONNECTED, "", &state)) << state;
    unsigned char values[TELEMETRY_VALUES] = {11, 12, 13, 14, 15, 16, 17};
    PublishFrame(values);
    ReceivedMessage frame;
    ASSERT_TRUE(watcher.waitFor(Message("secure/COM4/frame"), WAIT_S, &frame));
    EXPECT_EQ(JsonInteger(frame.payload, "RED"), 11);

    ASSERT_TRUE(MakeCertificateAuthority(broker.folder(), "stranger"));
    std::snprintf(config.caFile, sizeof config.caFile, "%s/stranger.crt", broker.folder().c_str());
    ASSERT_EQ(StartTelemetry(&config, "COM4"), 0) << LastTelemetryError();
    EXPECT_TRUE(WaitForState(TELEMETRY_RETRYING, "unreachable", &state)) << state;

    std::snprintf(config.caFile, sizeof config.caFile, "%s/missing.crt", broker.folder().c_str());
    EXPECT_EQ(StartTelemetry(&config, "COM4"), -1);
    EXPECT_NE(std::string(LastTelemetryError()).find("missing.crt"), std::string::npos)
        << LastTelemetryError();
    EXPECT_EQ(TelemetryState(), "MQTT off");
    config.caFile[0] = '\0';
    for (const char *prefix : {"plant/+", "plant/#", "plant//line", "plant/"}) {
        std::snprintf(config.topicPrefix, sizeof config.topicPrefix, "%s", prefix);
        EXPECT_EQ(StartTelemetry(&config, "COM4"), -1) << prefix;
        EXPECT_NE(std::string(LastTelemetryError()).find("prefix"), std::string::npos) << prefix;
    }
}

// A broker that refuses the password: REFUSED, in words that say so; the right one connects.
TEST_F(Telemetry, ARefusedPasswordShowsAsRefused) {
    BrokerOptions options;
    options.user = "plant";
    options.password = "right";
    TestBroker broker;
    ASSERT_TRUE(broker.start(options)) << broker.error();
    TelemetryConfig config = LocalConfig(broker.port());
    std::snprintf(config.username, sizeof config.username, "plant");
    std::snprintf(config.password, sizeof config.password, "wrong");
    ASSERT_EQ(StartTelemetry(&config, "COM5"), 0) << LastTelemetryError();
    std::string state;
    EXPECT_TRUE(WaitForState(TELEMETRY_REFUSED,
                             "MQTT broker 127.0.0.1:" + std::to_string(broker.port()) +
                                 " refused the connection: not authorised, retry in",
                             &state))
        << state;
    std::snprintf(config.password, sizeof config.password, "right");
    ASSERT_EQ(StartTelemetry(&config, "COM5"), 0) << LastTelemetryError();
    EXPECT_TRUE(WaitForState(TELEMETRY_CONNECTED, "", &state)) << state;
}
