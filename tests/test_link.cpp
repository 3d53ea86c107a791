// The serial line to the sensor: opening the port, the line check and the shared reply wait,
// against a scripted peer on a pseudo-terminal.

#include "com232/link.h"
#include "gui/linepanel.h"
#include "gui/linewatch.h"
#include "gui/records.h"
#include "platform/engine/userint.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"
#include "support/popup_recorder.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <utility>

namespace {

const int kPort = 4;
const char kTimeoutText[] = " ATTENTION! \n \n TIMEOUT \n NO SERIAL CONNECTION TO SENSOR";
const ControlName kStatusOnly[] = {{PANEL_STATUS, "PANEL_STATUS"}};

int lineOkRuns = 0;

void CountLineOk() {
    lineOkRuns++;
}

std::string StatusShown() {
    char text[STATUS_TEXT_LEN + 16] = {};
    GetCtrlVal(MainPanel, PANEL_STATUS, text, int(sizeof text));
    return text;
}

class Link : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static char name[] = "test_link";
        static char *argv[] = {name, nullptr};
        ASSERT_EQ(0, InitEngine(1, argv));
        SetCallbackTable(nullptr, 0);
        SetControlTable(kStatusOnly, 1);
        std::string panel =
            std::string(std::getenv("NVMX_SOURCE_DIR")) + "/tests/data/link_panel.ui";
        MainPanel = LoadPanel(0, panel.c_str(), 1);
        ASSERT_GE(MainPanel, 1);
    }
    void SetUp() override {
        RecordPopups();
        lineOkRuns = 0;
        afterLineOk = CountLineOk;
        syncByte = 0x55;
        SetCtrlVal(MainPanel, PANEL_STATUS, "InitVars");
        ASSERT_TRUE(peer.start());
        peer.mapTo(kPort);
        portNumber = kPort;
    }
    void TearDown() override {
        CloseCom(kPort);
        peer.stop();
        StopRecordingPopups();
    }
    void ExpectTimeoutReport() {
        EXPECT_EQ("TIMEOUT", StatusShown());
        ASSERT_EQ(1u, Popups().size());
        EXPECT_EQ("INFO", Popups()[0].title);
        EXPECT_EQ(kTimeoutText, Popups()[0].text);
        EXPECT_EQ(0, lineOkRuns);
    }
    PtyPeer peer;
};

} // namespace

TEST_F(Link, SensorThatAnswersShowsLineOkAndReadsOn) {
    peer.setScript(AnswerCommand(LineCheck, {{LineOkReply}}));
    acquisitionActive = 1;
    OpenPort(kPort);
    EXPECT_EQ(0, acquisitionActive);
    EXPECT_EQ((Bytes{0x55, 0x07}), peer.received());
    EXPECT_EQ("LINE OK", StatusShown());
    EXPECT_EQ(1, lineOkRuns);
    EXPECT_TRUE(Popups().empty());
}

TEST_F(Link, SilentLineTimesOutAfterTwoSeconds) {
    double start = Timer();
    OpenPort(kPort);
    double took = Timer() - start;
    EXPECT_GT(took, REPLY_TIMEOUT);
    EXPECT_LT(took, 2 * REPLY_TIMEOUT) << "a second time-out";
    EXPECT_EQ((Bytes{0x55, 0x07}), peer.received());
    ExpectTimeoutReport();
}

TEST_F(Link, WrongOrSurplusReplyIsATimeout) {
    const Bytes replies[] = {{0xAB}, {LineOkReply, LineOkReply}, {0x00}};
    for (const Bytes &reply : replies) {
        SCOPED_TRACE(testing::PrintToString(reply));
        ClearPopups();
        peer.setScript(AnswerCommand(LineCheck, {reply}));
        double start = Timer();
        OpenPort(kPort);
        EXPECT_LT(Timer() - start, REPLY_TIMEOUT) << "a reply ends the wait, whatever it holds";
        ExpectTimeoutReport();
    }
}

TEST_F(Link, ReplyInPiecesIsCollectedUntilComplete) {
    const Bytes frame = {10, 20, 30, 40, 50, 60, 70};
    peer.setScript(AnswerCommand(ReadData, {frame, 0.05, 0.02}));
    OpenComConfig(kPort, "", 9600, 0, 8, 1, 1024, 1024);
    const SensorLink link = MakeSensorLink(kPort, nullptr);
    unsigned char request[HEADER_LENGTH + BLOCK_LENGTH];
    SendRequest(&link, request, BuildRequest(&link, ReadData, nullptr, request), 0);
    volatile int keepWaiting = 1;
    const double start = MonotonicSeconds();
    int count = WaitForReply(&link, FRAME_LENGTH, &keepWaiting);
    EXPECT_EQ(FRAME_LENGTH, count);
    EXPECT_LT(MonotonicSeconds() - start, REPLY_TIMEOUT) << "the wait ends with the last piece";
    unsigned char receive[BUFFER_LENGTH];
    ASSERT_EQ(FRAME_LENGTH, ReadReply(&link, count, receive));
    EXPECT_EQ(frame, Bytes(receive, receive + FRAME_LENGTH));

    // A cleared flag ends the wait at the next poll; nothing is read.
    peer.send({1, 2, 3});
    keepWaiting = 0;
    EXPECT_EQ(WAIT_ABORTED, WaitForReply(&link, FRAME_LENGTH, &keepWaiting));
    // A zero or negative count reads nothing and leaves the bytes waiting.
    EXPECT_EQ(0, ReadReply(&link, 0, receive));
    EXPECT_EQ(0, ReadReply(&link, RS232_PORT_NOT_OPEN, receive));
    double end = Timer() + 2.0;
    while (GetInQLen(kPort) < 3 && Timer() < end) {
    }
    EXPECT_EQ(3, GetInQLen(kPort));
}

TEST_F(Link, OpenFailureShowsItsTextAndNothingElse) {
    const std::pair<int, const char *> table[] = {
        {-1, "Unknown system error"}, {-2, "Invalid port number"}, {-3, "Port is not open"},
        {-4, "Unknown I/0 error"},    {-5, "RS-232 error!"},       {-6, "No serial port found"},
        {-7, "Cannot open port"},     {-8, "RS-232 error!"},       {-99, "Timeout"},
        {-100, "RS-232 error!"},
    };
    for (const auto &[code, text] : table)
        EXPECT_STREQ(text, OpenErrorText(code)) << "code " << code;

    unsetenv("NVMX_COM210");
    setenv("NVMX_COM211", "/dev/nvmx-no-such-device", 1);
    const std::pair<int, const char *> opens[] = {
        {0, "Invalid port number"}, {210, "No serial port found"}, {211, "Cannot open port"}};
    for (const auto &[port, text] : opens) {
        acquisitionActive = 1;
        OpenPort(port);
        EXPECT_EQ(text, StatusShown()) << "COM" << port;
        EXPECT_STREQ(text, statusText);
        EXPECT_EQ(0, acquisitionActive);
    }
    EXPECT_TRUE(Popups().empty());
    EXPECT_TRUE(peer.received().empty()) << "no line check after a failed open";
}

TEST_F(Link, DeviceThatIsNoPortFailsToOpenAndTimesOutLater) {
    std::string directory = testing::TempDir();
    std::string plainFile = directory + "/nvmx-not-a-port";
    std::FILE *file = std::fopen(plainFile.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    for (const std::string &device : {directory, plainFile}) {
        SCOPED_TRACE(device);
        ClearPopups();
        setenv("NVMX_COM212", device.c_str(), 1);
        SetCtrlVal(MainPanel, PANEL_STATUS, "Init COM-Port ...");
        portNumber = 212;
        OpenPort(portNumber);
        EXPECT_EQ("Cannot open port", StatusShown());
        EXPECT_TRUE(Popups().empty());
        // Whatever runs on it later ends in the time-out report, after the time-out.
        double start = Timer();
        CheckLine();
        double took = Timer() - start;
        EXPECT_GE(took, REPLY_TIMEOUT);
        EXPECT_LT(took, 2 * REPLY_TIMEOUT) << "a second time-out";
        ExpectTimeoutReport();
        CloseCom(portNumber);
    }
    unsetenv("NVMX_COM212");
    std::remove(plainFile.c_str());
}

TEST_F(Link, ReopeningTheSamePortRunsANewLineCheck) {
    peer.setScript(AnswerCommand(LineCheck, {{LineOkReply}}));
    OpenPort(portNumber);
    CloseCom(portNumber);
    SetCtrlVal(MainPanel, PANEL_STATUS, "Init COM-Port ...");
    OpenPort(portNumber);
    ASSERT_TRUE(peer.waitForRequests(2, 1.0));
    EXPECT_EQ((Bytes{0x55, 0x07, 0x55, 0x07}), peer.received());
    EXPECT_EQ("LINE OK", StatusShown());
    EXPECT_EQ(2, lineOkRuns);
    EXPECT_TRUE(Popups().empty());
}

// The port number has one carrier: the port that OpenPort opens is the one the line check
// writes to and waits on, whatever portNumber held before.
TEST_F(Link, LineCheckRunsOnThePortThatWasOpened) {
    portNumber = kPort + 1;
    peer.setScript(AnswerCommand(LineCheck, {{LineOkReply}}));
    OpenPort(kPort);
    EXPECT_EQ(kPort, portNumber);
    ASSERT_TRUE(peer.waitForRequests(1, 1.0));
    EXPECT_EQ((Bytes{0x55, 0x07}), peer.received());
    EXPECT_EQ("LINE OK", StatusShown());
    EXPECT_EQ(1, lineOkRuns);
    EXPECT_TRUE(Popups().empty());
}

// A device reached through a link goes away and comes back under the same link: the watch
// shows "LINE LOST" once, sleeps, and reopens the line with a new line check.
TEST_F(Link, LostDeviceIsShownAndTheLineReopensWhenItIsBack) {
    std::string link = ::testing::TempDir() + "nvmx-link-" + std::to_string(getpid());
    std::remove(link.c_str());
    ASSERT_EQ(0, symlink(peer.slavePath().c_str(), link.c_str()));
    setenv(("NVMX_COM" + std::to_string(kPort)).c_str(), link.c_str(), 1);
    peer.setScript(AnswerCommand(LineCheck, {{LineOkReply}}));
    OpenPort(kPort);
    ASSERT_EQ("LINE OK", StatusShown());
    WatchLine();
    EXPECT_EQ("LINE OK", StatusShown()) << "a present line is not lost";

    peer.stop();
    // Another process may get the freed pseudo-terminal's number at once: the link dangles, as
    // the by-id link of an unplugged adapter does.
    std::remove(link.c_str());
    ASSERT_EQ(0, symlink((link + "-gone").c_str(), link.c_str()));
    acquisitionActive = 1;
    WatchLine();
    EXPECT_EQ("LINE LOST", StatusShown());
    EXPECT_EQ(0, acquisitionActive);
    EXPECT_TRUE(LineWatchWaiting());
    double start = Timer();
    const SensorLink closed = MakeSensorLink(kPort, nullptr);
    EXPECT_EQ(RS232_PORT_NOT_OPEN, WaitForReply(&closed, 1, nullptr))
        << "a wait on the closed port";
    EXPECT_GE(Timer() - start, REPLY_TIMEOUT);
    WatchLine();
    EXPECT_EQ("LINE LOST", StatusShown()) << "still away";

    PtyPeer back;
    ASSERT_TRUE(back.start(AnswerCommand(LineCheck, {{LineOkReply}})));
    std::remove(link.c_str());
    ASSERT_EQ(0, symlink(back.slavePath().c_str(), link.c_str()));
    WatchLine();
    EXPECT_EQ("LINE OK", StatusShown());
    EXPECT_EQ((Bytes{0x55, 0x07}), back.received());
    EXPECT_FALSE(LineWatchWaiting());
    EXPECT_TRUE(Popups().empty());
    CloseCom(kPort);
    std::remove(link.c_str());
}
