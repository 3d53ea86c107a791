// The telemetry client's connection against a real broker: reconnects after a restart, a broker
// that is down or silent, TLS against the broker's CA, and a refused password.
#include "support/broker.h"
#include "support/telemetry_client.h"
#include "telemetry/telemetry.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

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
