// The real program in a real X window (a private Xvfb), COM1 mapped to a pseudo-terminal whose
// far end is a scripted sensor: start-up, the line check, the time-out pop-up and shutdown.
#include "support/pty_peer.h"
#include "support/sensor_bytes.h"
#include "support/xsession.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace {

const char panelTitle[] = "Nevalometrix V4.51";
const double startTimeout = 20.0; // a loaded two-core machine starts Qt slowly

// POWER slider 200, TRIGGER CONT, INTLIM 10, MAXCOL-No. 3, OUTMODE BINARY, every other byte 1.
const Bytes sensorBlock = SensorBlock({55, 1, 1, 1, 1, 10, 1, 3, 2});

// A sensor that answers the line check with lineReply and the RAM read with a block.
PeerScript Sensor(Bytes lineReply) {
    return [lineReply](const PeerRequest &request) {
        PeerReply reply;
        if (request.bytes[1] == 7)
            reply.bytes = lineReply;
        else if (request.bytes[1] == 3)
            reply.bytes = sensorBlock;
        return reply;
    };
}

class ProgramInWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x.start()) << "Xvfb did not start";
        ASSERT_TRUE(peer.start());
    }

    void startProgram(const std::string &com1, const std::string &binary = "") {
        std::string program = binary.empty() ? BinDir() + "/nvmxv451" : binary;
        ASSERT_TRUE(program_.start(
            {program}, {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=", "NVMX_COM1=" + com1}));
    }

    // Closes the panel as a user does and returns the exit code.
    int closePanel(unsigned long window) {
        EXPECT_TRUE(x.closeWindow(window));
        return program_.wait(startTimeout);
    }

    XSession x;
    PtyPeer peer;
    ChildProcess program_;
};

TEST_F(ProgramInWindow, GoodSensorShowsThePanelWithoutPopupAndClosesWithZero) {
    peer.setScript(Sensor({0xAA}));
    startProgram(peer.slavePath());

    unsigned long panel = x.waitForWindow(panelTitle, startTimeout);
    ASSERT_NE(panel, 0u) << "the panel did not appear";
    ASSERT_TRUE(peer.waitForRequests(2, 5.0));
    std::vector<PeerRequest> requests = peer.requests();
    EXPECT_EQ(requests[0].bytes, (Bytes{0x55, 0x07}));
    EXPECT_EQ(requests[1].bytes, (Bytes{0x55, 0x03})) << "parameters read after LINE OK";
    EXPECT_EQ(x.findWindow("INFO"), 0u);

    EXPECT_EQ(closePanel(panel), 0);
}

// With no reply the "INFO" pop-up comes a little more than 2.0 s after the request; a wrong
// byte ends the wait at once. Either way the pop-up comes before the panel, and the panel
// follows once the pop-up is closed.
TEST_F(ProgramInWindow, SilentOrWrongSensorShowsTheTimeoutPopupBeforeThePanel) {
    for (Bytes reply : {Bytes{}, Bytes{0x55}}) {
        SCOPED_TRACE(reply.empty() ? "silent sensor" : "wrong byte");
        PtyPeer sensor;
        ASSERT_TRUE(sensor.start(Sensor(reply)));
        ChildProcess program;
        ASSERT_TRUE(program.start(
            {BinDir() + "/nvmxv451"},
            {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=", "NVMX_COM1=" + sensor.slavePath()}));

        ASSERT_TRUE(sensor.waitForRequests(1, startTimeout));
        double requestTime = MonotonicSeconds() - (sensor.now() - sensor.requests()[0].time);
        double cpuAtRequest = program.cpuSeconds();
        unsigned long popup = x.waitForWindow("INFO", 10.0);
        double popupTime = MonotonicSeconds();
        double cpuDuringWait = program.cpuSeconds() - cpuAtRequest;
        ASSERT_NE(popup, 0u) << "no time-out pop-up";
        EXPECT_EQ(sensor.requests()[0].bytes, (Bytes{0x55, 0x07}));
        EXPECT_EQ(x.findWindow(panelTitle), 0u) << "the panel must wait for the pop-up";
        if (reply.empty()) {
            EXPECT_GE(popupTime - requestTime, 2.0);
            EXPECT_LT(popupTime - requestTime, 4.5);
            std::printf("line-check wait: %.2f s, program CPU %.3f s (%.0f%% of one core)\n",
                        popupTime - requestTime, cpuDuringWait,
                        100.0 * cpuDuringWait / (popupTime - requestTime));
            EXPECT_LT(cpuDuringWait, 0.5 * (popupTime - requestTime)) << "the wait spins a core";
        } else {
            EXPECT_LT(popupTime - requestTime, 2.0) << "a wrong byte ends the wait";
        }

        EXPECT_TRUE(x.pressKey(popup, "Return"));
        unsigned long panel = x.waitForWindow(panelTitle, 10.0);
        ASSERT_NE(panel, 0u) << "the panel did not follow the pop-up";
        EXPECT_EQ(sensor.requests().size(), 1u) << "no parameter read after a failed check";
        EXPECT_TRUE(x.closeWindow(panel));
        EXPECT_EQ(program.wait(startTimeout), 0);
    }
}

// The same start-up against the sensor emulator, healthy and silent.
TEST_F(ProgramInWindow, AgainstTheEmulator) {
    for (const char *fault : {"", "--silent"}) {
        SCOPED_TRACE(*fault ? fault : "healthy emulator");
        ChildProcess emulator;
        std::string device;
        std::vector<std::string> argv = {BinDir() + "/sensor-emulator"};
        if (*fault)
            argv.push_back(fault);
        ASSERT_TRUE(emulator.startReadingFirstLine(argv, {}, &device));
        ChildProcess program;
        ASSERT_TRUE(
            program.start({BinDir() + "/nvmxv451"},
                          {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=", "NVMX_COM1=" + device}));
        if (*fault) {
            unsigned long popup = x.waitForWindow("INFO", startTimeout);
            ASSERT_NE(popup, 0u);
            EXPECT_TRUE(x.pressKey(popup, "Return"));
        }
        unsigned long panel = x.waitForWindow(panelTitle, startTimeout);
        ASSERT_NE(panel, 0u);
        if (!*fault) {
            EXPECT_EQ(x.findWindow("INFO"), 0u);
        }
        EXPECT_TRUE(x.closeWindow(panel));
        EXPECT_EQ(program.wait(startTimeout), 0);
    }
}

TEST_F(ProgramInWindow, UnusableComPortShowsThePanelWithoutPopup) {
    startProgram("/nonexistent/serial-device");
    unsigned long panel = x.waitForWindow(panelTitle, startTimeout);
    ASSERT_NE(panel, 0u);
    // A failed open runs no line check, so nothing would raise a pop-up later.
    EXPECT_EQ(x.waitForWindow("INFO", 1.0), 0u);
    EXPECT_EQ(closePanel(panel), 0);
}

TEST_F(ProgramInWindow, WithoutItsPanelFileTheProgramEndsWithMinusOneAndShowsNothing) {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("nvmx-nopanel-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(BinDir() + "/nvmxv451", dir / "nvmxv451",
                               std::filesystem::copy_options::overwrite_existing);
    startProgram(peer.slavePath(), (dir / "nvmxv451").string());

    bool windowSeen = false;
    while (program_.running()) {
        windowSeen = windowSeen || x.findWindow(panelTitle) != 0 || x.findWindow("INFO") != 0;
        usleep(2000);
    }
    EXPECT_EQ(program_.wait(1.0), 255) << "exit code -1";
    EXPECT_FALSE(windowSeen);
    EXPECT_TRUE(peer.requests().empty()) << "no port is opened without a panel";
    std::filesystem::remove_all(dir);
}

} // namespace
