// One sensor, one name: the panel started on a line's sensor and the commands run on it after
// the panel let it go speak of the same sensor on the broker and in the change log.
#include "gui/linepanel.h"
#include "gui/telemetrypanel.h"
#include "gui/transactions.h"
#include "nvmxv451/panelline.h"
#include "platform/engine/userint.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"
#include "support/broker.h"
#include "support/command.h"
#include "support/panel_fixture.h"

#include <QTimer>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

const double timeout = 20.0; // a loaded two-core machine
const char prefix[] = "plant/line7";
const char sensorName[] = "station-s02";

std::string Topic(const char *leaf) {
    return std::string(prefix) + "/" + sensorName + "/" + leaf;
}

class OneSensor : public PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        scratch = tempDir;
        // The panel's own user log goes where the commands' goes.
        setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
        ASSERT_TRUE(broker.start()) << broker.error();
        ASSERT_TRUE(subscriber.start(broker.port(), std::string(prefix) + "/#"));
        ASSERT_TRUE(emulator.start({Bin("sensor-emulator"), "--pace"}, {}));
        device = emulator.waitForFirstLine(timeout);
        ASSERT_FALSE(device.empty());
        lineFile = (scratch / "line.toml").string();
        WriteText(lineFile, "[line]\nname = \"line7\"\nlog = \"line7.jsonl\"\n"
                            "\n[broker]\nhost = \"127.0.0.1\"\nport = " +
                                std::to_string(broker.port()) + "\nprefix = \"" + prefix +
                                "\"\n\n[[sensor]]\nname = \"" + sensorName + "\"\nport = \"" +
                                device + "\"\napproved = \"approved.dat\"\n");
    }
    void TearDown() override {
        EndPanelTelemetry();
        CloseCom(portNumber);
        emulator.signal(SIGTERM);
        emulator.finish(timeout);
        subscriber.stop();
        broker.stop();
        unsetenv("XDG_DATA_HOME");
        PanelFixture::TearDown();
    }
    CommandOutput Run(const std::vector<std::string> &args) {
        std::vector<std::string> argv = {Bin("nvmxv451")};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunCommand(argv,
                          {"DISPLAY=", "QT_QPA_PLATFORM=", "XDG_CONFIG_HOME=" + scratch.string(),
                           "XDG_DATA_HOME=" + (scratch / "data").string(),
                           "HOME=" + scratch.string()},
                          timeout);
    }
    // The panel as `nvmxv451 --line FILE --sensor station-s02` starts it: the line's sensor, its
    // port, its log and the line's broker.
    void StartPanelOnTheLine() {
        PanelStart start;
        start.lineFile = lineFile;
        start.sensor = sensorName;
        PanelLineSensor sensor;
        TelemetryConfig telemetry;
        DefaultTelemetryConfig(&telemetry);
        std::string why;
        ASSERT_TRUE(TakePanelLine(start, &sensor, &telemetry, &why)) << why;
        portNumber = PortNumberOfText(sensor.port.c_str());
        ASSERT_GT(portNumber, 0);
        SetPanelLineSensor(portNumber, sensor.name, sensor.lineLog);
        StartPanelTelemetry(&telemetry);
        OpenPort(portNumber);
    }

    fs::path scratch;
    TestBroker broker;
    TestSubscriber subscriber;
    CommandRun emulator;
    std::string device, lineFile;
};

// The panel on the line's device publishes under the line's name, not under its COM number; its
// Send is logged under that name with what it changed (known from the read after the line
// check). Once the panel let go, record and send on the line are the same sensor on the broker
// and in the log, and log --sensor finds all its writes.
TEST_F(OneSensor, ThePanelAndTheCommandsNameOneSensorOnTheBrokerAndInTheLog) {
    StartPanelOnTheLine();
    EXPECT_STREQ(PanelSession()->name, sensorName);
    EXPECT_TRUE(subscriber.waitFor(Message(Topic("status"), "online"), timeout));
    ASSERT_TRUE(subscriber.waitFor(Message(Topic("parameters")), timeout));
    QTimer::singleShot(500, [] { acquisitionActive = 0; });
    RunDataTransfer();
    ASSERT_TRUE(subscriber.waitFor(Message(Topic("frame")), timeout));
    SetCtrlVal(MainPanel, PANEL_INTLIM, 33);
    ParameterTarget = RAM;
    SendParameters();
    EndPanelTelemetry();
    CloseCom(portNumber);

    // Frames are not retained: what a new subscriber gets is record's.
    TestSubscriber recordWatch;
    ASSERT_TRUE(recordWatch.start(broker.port(), std::string(prefix) + "/#"));
    const CommandOutput record = Run({"record", "--line", lineFile, "--sensor", sensorName,
                                      "--seconds", "1", "--out", (scratch / "r.csv").string()});
    ASSERT_EQ(record.exitCode, 0) << record.err;
    EXPECT_TRUE(recordWatch.waitFor(Message(Topic("frame")), timeout))
        << "record's frames under the panel's topic";
    EXPECT_NE(ReadText((scratch / "r.csv").string()).find(std::string(",") + sensorName),
              std::string::npos);

    const std::string file = (scratch / "sent.dat").string();
    ASSERT_EQ(Run({"get", "--line", lineFile, "--from", "ram", "-o", file}).exitCode, 0);
    WriteText(file, WithLine(ReadText(file), 5, 40)); // INTLIM 33 -> 40
    const CommandOutput send = Run({"send", "--line", lineFile, "--to", "ram", file});
    ASSERT_EQ(send.exitCode, 0) << send.err;

    for (const std::vector<std::string> &where :
         {std::vector<std::string>{"--line", lineFile}, std::vector<std::string>{}}) {
        std::vector<std::string> args = {"log", "--sensor", sensorName, "--json"};
        args.insert(args.end(), where.begin(), where.end());
        const CommandOutput log = Run(args);
        ASSERT_EQ(log.exitCode, 0) << log.err;
        const std::vector<std::string> writes = Lines(log.out);
        ASSERT_EQ(writes.size(), 2u) << log.out;
        const json panel = json::parse(writes[0]), sent = json::parse(writes[1]);
        EXPECT_EQ(panel["sensor"], sensorName);
        EXPECT_EQ(sent["sensor"], sensorName);
        EXPECT_EQ(panel["source"], "panel");
        EXPECT_EQ(panel["verify"], "not verified");
        EXPECT_EQ(sent["source"], file);
        EXPECT_EQ(panel["changes"].dump(), json::parse(R"([{"name":"INTLIM","offset":5,)"
                                                       R"("old":10,"new":33}])")
                                               .dump())
            << panel;
        EXPECT_EQ(sent["changes"], "unknown") << sent;
    }
}

} // namespace
