// Live telemetry of the program against a real broker: the panel's transfer over a
// pseudo-terminal, and the headless record command against the emulator.
#include "com232/link.h"
#include "gui/linepanel.h"
#include "gui/telemetrypanel.h"
#include "gui/transactions.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"
#include "support/broker.h"
#include "support/command.h"
#include "support/panel_fixture.h"
#include "support/pty_peer.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

const double timeout = 20.0; // a loaded two-core machine

const char prefix[] = "plant/line7";

TelemetryConfig BrokerConfig(int port) {
    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    std::snprintf(config.host, sizeof config.host, "127.0.0.1");
    std::snprintf(config.topicPrefix, sizeof config.topicPrefix, "%s", prefix);
    config.port = port;
    config.reconnectMin = 0.2;
    config.reconnectMax = 1.0;
    return config;
}

std::string Topic(const char *sensor, const char *leaf) {
    return std::string(prefix) + "/" + sensor + "/" + leaf;
}

MessageMatch StateIs(const char *sensor, const char *state) {
    const std::string topic = Topic(sensor, "state");
    const std::string field = std::string("\"state\":\"") + state + "\"";
    return [topic, field](const ReceivedMessage &m) {
        return m.topic == topic && m.payload.find(field) != std::string::npos;
    };
}

std::string BrokerShown() {
    char text[256] = "";
    GetCtrlVal(MainPanel, PANEL_BROKER, text, sizeof text);
    return text;
}

// Frames requested by the peer while a transfer runs for seconds.
size_t TransferFor(double seconds, const PtyPeer &peer) {
    const size_t before = peer.requests().size();
    QTimer::singleShot(int(seconds * 1000), [] { acquisitionActive = 0; });
    RunDataTransfer();
    return peer.requests().size() - before;
}

class PanelTelemetry : public PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        ASSERT_TRUE(broker.start()) << broker.error();
        ASSERT_TRUE(subscriber.start(broker.port(), std::string(prefix) + "/#"));
        ASSERT_TRUE(peer.start(AnswerLikeASensor()));
        peer.mapTo(1);
        portNumber = 1;
    }
    void TearDown() override {
        EndPanelTelemetry();
        CloseCom(portNumber);
        peer.stop();
        subscriber.stop();
        broker.stop();
        PanelFixture::TearDown();
    }
    TestBroker broker;
    TestSubscriber subscriber;
    PtyPeer peer;
};

TEST_F(PanelTelemetry, FramesReachTheBrokerAndADownBrokerNeverSlowsTheTransfer) {
    TelemetryConfig config = BrokerConfig(broker.port());
    StartPanelTelemetry(&config);
    OpenPort(1);
    // The panel names its sensor by its device, as the commands do; COM1 only picked the port.
    const std::string slave = peer.slavePath();
    const std::string name = "pts-" + slave.substr(slave.rfind('/') + 1);
    ReceivedMessage message;
    EXPECT_TRUE(subscriber.waitFor(Message(Topic(name.c_str(), "status"), "online"), timeout));
    EXPECT_TRUE(subscriber.waitFor(StateIs(name.c_str(), "LINE OK"), timeout));
    ASSERT_TRUE(subscriber.waitFor(Message(Topic(name.c_str(), "parameters")), timeout, &message));
    // A dashboard that starts later is handed the set the broker kept.
    TestSubscriber later;
    ASSERT_TRUE(later.start(broker.port(), Topic(name.c_str(), "parameters")));
    ASSERT_TRUE(later.waitFor(Message(Topic(name.c_str(), "parameters")), timeout, &message));
    EXPECT_TRUE(message.retained);
    EXPECT_NE(message.payload.find("\"source\":\"RAM\""), std::string::npos) << message.payload;

    const size_t framesUp = TransferFor(1.5, peer);
    ASSERT_TRUE(subscriber.waitFor(Message(Topic(name.c_str(), "frame")), timeout, &message));
    EXPECT_NE(message.payload.find("\"port\":\"COM1\""), std::string::npos) << message.payload;
    EXPECT_NE(message.payload.find("\"RED\":100"), std::string::npos) << message.payload;
    EXPECT_TRUE(ProcessEventsUntil(
        [] {
            ShowBrokerState();
            return BrokerShown() == "MQTT connected";
        },
        timeout));

    broker.stop();
    EXPECT_TRUE(ProcessEventsUntil(
        [] {
            ShowBrokerState();
            return BrokerShown() == "MQTT broker down";
        },
        timeout));
    const size_t framesDown = TransferFor(1.5, peer);
    std::printf("frames in 1.5 s: %zu with the broker up, %zu with it down\n", framesUp,
                framesDown);
    // Loose: a frame loop that waited on the network would fall to a few frames a second.
    EXPECT_GT(framesDown, framesUp / 3);
}

class RecordTelemetry : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch = MakeScratchDirectory("nvmx-record-telemetry");
        ASSERT_TRUE(broker.start()) << broker.error();
        ASSERT_TRUE(subscriber.start(broker.port(), std::string(prefix) + "/#"));
    }
    void TearDown() override {
        subscriber.stop();
        broker.stop();
        std::filesystem::remove_all(scratch);
    }
    std::string scratch;
    TestBroker broker;
    TestSubscriber subscriber;
};

TEST_F(RecordTelemetry, RecordPublishesItsFramesAndTheWillSaysOfflineWhenItIsKilled) {
    const std::string bin = std::getenv("NVMX_BIN_DIR") ? std::getenv("NVMX_BIN_DIR") : ".";
    CommandRun emulator;
    ASSERT_TRUE(emulator.start({bin + "/sensor-emulator", "--pace"}, {}));
    const std::string device = emulator.waitForFirstLine(timeout);
    ASSERT_FALSE(device.empty());

    CommandRun record;
    ASSERT_TRUE(record.start({bin + "/nvmxv451", "record", "-p", "COM3", "--out",
                              scratch + "/line.csv", "--mqtt-host", "127.0.0.1", "--mqtt-port",
                              std::to_string(broker.port()), "--mqtt-prefix", prefix},
                             {"NVMX_COM3=" + device, "XDG_CONFIG_HOME=" + scratch,
                              "HOME=" + scratch, "DISPLAY=", "QT_QPA_PLATFORM="}));
    // The sensor is named by its device ("/dev/pts/4" is "pts-4"), never by the COM number.
    const std::string name = "pts-" + device.substr(device.rfind('/') + 1);
    EXPECT_TRUE(subscriber.waitFor(StateIs(name.c_str(), "LINE OK"), timeout));
    ReceivedMessage frame;
    ASSERT_TRUE(subscriber.waitFor(Message(Topic(name.c_str(), "frame")), timeout, &frame));
    EXPECT_NE(frame.payload.find("\"port\":\"" + name + "\""), std::string::npos) << frame.payload;
    EXPECT_NE(frame.payload.find("\"C-No\":"), std::string::npos) << frame.payload;

    record.signal(SIGKILL);
    record.finish(timeout);
    EXPECT_TRUE(subscriber.waitFor(Message(Topic(name.c_str(), "status"), "offline"), timeout))
        << "the broker's last will";
}

// Two record runs on two devices at once: each sensor has its own name and topics, each process
// its own client id, and neither pushes the other off the broker.
TEST_F(RecordTelemetry, TwoRunsOnTwoDevicesKeepApartOnTheBroker) {
    const std::string bin = std::getenv("NVMX_BIN_DIR") ? std::getenv("NVMX_BIN_DIR") : ".";
    CommandRun emulators[2], records[2];
    std::string names[2];
    for (int i = 0; i < 2; i++) {
        ASSERT_TRUE(emulators[i].start({bin + "/sensor-emulator", "--pace"}, {}));
        const std::string device = emulators[i].waitForFirstLine(timeout);
        ASSERT_FALSE(device.empty());
        names[i] = "pts-" + device.substr(device.rfind('/') + 1);
        ASSERT_TRUE(records[i].start(
            {bin + "/nvmxv451", "record", "-p", device, "--out",
             scratch + "/run" + std::to_string(i) + ".csv", "--mqtt-host", "127.0.0.1",
             "--mqtt-port", std::to_string(broker.port()), "--mqtt-prefix", prefix},
            {"XDG_CONFIG_HOME=" + scratch, "HOME=" + scratch, "DISPLAY=", "QT_QPA_PLATFORM="}));
    }
    ASSERT_NE(names[0], names[1]);
    for (const std::string &name : names)
        EXPECT_TRUE(subscriber.waitFor(Message(Topic(name.c_str(), "frame")), timeout)) << name;
    // Both still send once both have run a while: a client pushed off would fall silent.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    for (const std::string &name : names) {
        const int before = subscriber.count(Message(Topic(name.c_str(), "frame")));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (subscriber.count(Message(Topic(name.c_str(), "frame"))) <= before &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_GT(subscriber.count(Message(Topic(name.c_str(), "frame"))), before) << name;
    }
    for (CommandRun &record : records) {
        record.signal(SIGTERM);
        EXPECT_EQ(record.finish(timeout).exitCode, 0);
    }
    const std::string log = broker.log();
    EXPECT_EQ(log.find("already connected"), std::string::npos) << log;
    EXPECT_EQ(broker.clientsConnected("nvmxv451-"), 2) << log;
}

// A run that finds the port held by a recorder fails on it and says nothing on the broker in the
// recorder's name: no connection, no "offline", no state. The recorder's own clean end then says
// "offline" and keeps its last state.
TEST_F(RecordTelemetry, ARunThatFindsThePortHeldPublishesNothingInTheHoldersName) {
    const std::string bin = std::getenv("NVMX_BIN_DIR") ? std::getenv("NVMX_BIN_DIR") : ".";
    CommandRun emulator;
    ASSERT_TRUE(emulator.start({bin + "/sensor-emulator", "--pace"}, {}));
    const std::string device = emulator.waitForFirstLine(timeout);
    ASSERT_FALSE(device.empty());
    const std::string name = "pts-" + device.substr(device.rfind('/') + 1);
    const std::vector<std::string> broker = {"--mqtt-host",   "127.0.0.1",
                                             "--mqtt-port",   std::to_string(this->broker.port()),
                                             "--mqtt-prefix", prefix};
    const std::vector<std::string> environment = {"XDG_CONFIG_HOME=" + scratch, "HOME=" + scratch,
                                                  "DISPLAY=", "QT_QPA_PLATFORM="};
    std::vector<std::string> recordArgs = {bin + "/nvmxv451",    "record", "-p", device, "--out",
                                           scratch + "/line.csv"};
    recordArgs.insert(recordArgs.end(), broker.begin(), broker.end());
    CommandRun record;
    ASSERT_TRUE(record.start(recordArgs, environment));
    ASSERT_TRUE(subscriber.waitFor(StateIs(name.c_str(), "LINE OK"), timeout));
    ASSERT_TRUE(subscriber.waitFor(Message(Topic(name.c_str(), "status"), "online"), timeout));

    std::vector<std::string> checkArgs = {bin + "/nvmxv451", "check", "-p", device, "--json"};
    checkArgs.insert(checkArgs.end(), broker.begin(), broker.end());
    const CommandOutput check = RunCommand(checkArgs, environment, timeout);
    EXPECT_EQ(check.exitCode, 4) << check.out << check.err;
    EXPECT_NE(check.out.find("busy"), std::string::npos) << check.out;
    EXPECT_EQ(check.out.find("\"telemetry\""), std::string::npos) << check.out;
    const auto isStatusOrState = [&](const ReceivedMessage &m) {
        return m.topic == Topic(name.c_str(), "status") || m.topic == Topic(name.c_str(), "state");
    };
    const int before = subscriber.count(isStatusOrState);
    record.signal(SIGTERM);
    EXPECT_EQ(record.finish(timeout).exitCode, 0);
    EXPECT_TRUE(subscriber.waitFor(Message(Topic(name.c_str(), "status"), "offline"), timeout));
    EXPECT_EQ(subscriber.count(isStatusOrState), before + 1)
        << "the recorder's one \"offline\", nothing from the refused run";
    EXPECT_EQ(subscriber.count(Message(Topic(name.c_str(), "state"))), 1) << check.out;
    EXPECT_EQ(this->broker.clientsConnected("nvmxv451-"), 1) << this->broker.log();
}

// A broker that refuses the user, a TLS handshake that fails, or no broker at the port is told in
// the report; with --mqtt-required the run fails on it.
TEST(CheckTelemetry, ABrokerThatRefusesOrIsNotThereIsToldAndCanFailTheRun) {
    const std::string bin = std::getenv("NVMX_BIN_DIR") ? std::getenv("NVMX_BIN_DIR") : ".";
    const std::string scratch = MakeScratchDirectory("nvmx-check-telemetry");
    TestBroker guarded;
    ASSERT_TRUE(guarded.start({"line7", "right", true})) << guarded.error();
    CommandRun emulator;
    ASSERT_TRUE(emulator.start({bin + "/sensor-emulator"}, {}));
    const std::string device = emulator.waitForFirstLine(timeout);
    const std::vector<std::string> environment = {
        "XDG_CONFIG_HOME=" + scratch, "HOME=" + scratch,
        "DISPLAY=", "QT_QPA_PLATFORM=", "NVMX_MQTT_PASSWORD=wrong"};
    auto check = [&](int port, bool required, const std::string &caFile = "") {
        std::vector<std::string> argv = {bin + "/nvmxv451",
                                         "check",
                                         "-p",
                                         device,
                                         "--json",
                                         "--mqtt-host",
                                         "127.0.0.1",
                                         "--mqtt-port",
                                         std::to_string(port),
                                         "--mqtt-user",
                                         "line7"};
        if (required)
            argv.push_back("--mqtt-required");
        if (!caFile.empty())
            argv.insert(argv.end(), {"--mqtt-cafile", caFile});
        return RunCommand(argv, environment, timeout);
    };
    CommandOutput refused = check(guarded.port(), false);
    EXPECT_EQ(refused.exitCode, 0) << refused.err;
    EXPECT_NE(refused.out.find("\"telemetry\":\"refused: "), std::string::npos) << refused.out;
    EXPECT_NE(refused.err.find("refused"), std::string::npos) << refused.err;
    // TLS against the plain listener: the handshake fails.
    CommandOutput handshake = check(guarded.port(), true, guarded.caFile());
    EXPECT_EQ(handshake.exitCode, 7) << handshake.out;
    EXPECT_NE(handshake.out.find("\"telemetry\":\"not connected: "), std::string::npos)
        << handshake.out;
    const int nobody = guarded.port();
    guarded.stop();
    CommandOutput missing = check(nobody, true);
    EXPECT_EQ(missing.exitCode, 7) << missing.out;
    EXPECT_NE(missing.out.find("\"telemetry\":\"not connected: "), std::string::npos)
        << missing.out;
    std::filesystem::remove_all(scratch);
}

} // namespace
