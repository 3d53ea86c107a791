// The sensor transactions over a pseudo-terminal against a scripted peer.
#include "com232/link.h"
#include "gui/linepanel.h"
#include "gui/livedisplay.h"
#include "gui/records.h"
#include "gui/transactions.h"
#include "nvmxv451/callbacks.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"
#include "support/panel_fixture.h"
#include "support/pty_peer.h"
#include "support/sensor_bytes.h"

#include <QTimer>
#include <algorithm>

#include <atomic>
#include <cstring>
#include <functional>

namespace {

const char *const TIMEOUT_TEXT = " ATTENTION! \n \n TIMEOUT \n NO SERIAL CONNECTION TO SENSOR";

Bytes Request(unsigned char command, const Bytes &block = {}) {
    Bytes bytes(2 + block.size());
    bytes[0] = 0x55;
    bytes[1] = command;
    std::copy(block.begin(), block.end(), bytes.begin() + 2);
    return bytes;
}

std::string Status() {
    char text[128] = "";
    GetCtrlVal(MainPanel, PANEL_STATUS, text, sizeof text);
    return text;
}

// Runs action on the engine's thread from the transfer loop's event step, every cycle until
// it returns false.
class EventStepHook {
  public:
    explicit EventStepHook(std::function<bool()> action) : action_(std::move(action)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!action_())
                timer_.stop();
        });
        timer_.start(0);
    }

  private:
    QTimer timer_;
    std::function<bool()> action_;
};

class Transactions : public PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        ASSERT_TRUE(peer.start());
        peer.mapTo(1);
        portNumber = 1;
    }
    void TearDown() override {
        CloseCom(portNumber);
        peer.stop();
        PanelFixture::TearDown();
    }
    // Opens COM1 without a line check.
    void OpenLine() {
        ASSERT_GE(OpenComConfig(1, "", 9600, 0, 8, 1, 1024, 1024), 0);
        FlushInQ(1);
        FlushOutQ(1);
    }
    // The script: parameter reads and frames answered from the test's settings.
    void Answer(Bytes ramBlock, Bytes eepromBlock, std::function<Bytes(int)> frame) {
        peer.setScript([=, frames = std::make_shared<std::atomic<int>>(0)](
                           const PeerRequest &request) -> PeerReply {
            switch (request.bytes[1]) {
            case LineCheck:
                return {{LineOkReply}};
            case ReadRAM:
                return {ramBlock};
            case ReadEEPROM:
                return {eepromBlock};
            case ReadData:
                return {frame ? frame(++*frames) : Bytes{}};
            default:
                return {};
            }
        });
    }
    std::vector<Bytes> Requests() const {
        std::vector<Bytes> all;
        for (const PeerRequest &request : peer.requests())
            all.push_back(request.bytes);
        return all;
    }
    size_t FrameRequests() const {
        size_t count = 0;
        for (const PeerRequest &request : peer.requests())
            count += request.bytes[1] == ReadData;
        return count;
    }
    void ExpectTimeoutReport() {
        EXPECT_EQ(Status(), "TIMEOUT");
        ASSERT_EQ(Popups().size(), 1u);
        EXPECT_EQ(Popups()[0].title, "INFO");
        EXPECT_EQ(Popups()[0].text, TIMEOUT_TEXT);
    }
    PtyPeer peer;
};

TEST_F(Transactions, LineCheckReadsTheRamBlockAndSendGivesItBackUnchanged) {
    Bytes ram = SeededSensorBlock(3);
    Answer(ram, {}, nullptr);
    OpenPort(1);
    ASSERT_TRUE(peer.waitForRequests(2, 5));
    EXPECT_EQ(Requests()[0], Request(LineCheck));
    EXPECT_EQ(Requests()[1], Request(ReadRAM));
    EXPECT_EQ(Status(), "LINE OK");
    EXPECT_TRUE(Popups().empty());
    PanelValues shown = CapturePanelValues();
    EXPECT_EQ(shown.control[OFFSET_POWER], 200);
    EXPECT_EQ(shown.control[OFFSET_INTLIM], ram[OFFSET_INTLIM]);
    EXPECT_EQ(shown.cell[14][4], ram[83]);
    int dimmed = -1;
    GetCtrlAttribute(MainPanel, PANEL_POWER, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, 1) << "PMOD DYN dims POWER";

    SendParameters();
    ASSERT_TRUE(peer.waitForRequests(3, 5));
    EXPECT_EQ(Requests()[2], Request(WriteRAM, ram));
    EXPECT_EQ(Status(), "LINE OK") << "a good send writes no status";
    EXPECT_TRUE(Popups().empty());
}

TEST_F(Transactions, EepromAndFileTargetsUseTheirCommands) {
    Bytes ram = SeededSensorBlock(3);
    Bytes eeprom = SeededSensorBlock(100);
    Answer(ram, eeprom, nullptr);
    OpenLine();

    ParameterTarget = EEPROM;
    GetParameters();
    ASSERT_TRUE(peer.waitForRequests(1, 5));
    EXPECT_EQ(Requests()[0], Request(ReadEEPROM));
    EXPECT_EQ(std::memcmp(ParameterBlock, eeprom.data(), BLOCK_LENGTH), 0);
    SendParameters();
    ASSERT_TRUE(peer.waitForRequests(2, 5));
    EXPECT_EQ(Requests()[1], Request(WriteEEPROM, eeprom));

    // FILE has no read command: the sensor's RAM is read.
    ParameterTarget = FILE_TARGET;
    GetParameters();
    ASSERT_TRUE(peer.waitForRequests(3, 5));
    EXPECT_EQ(Requests()[2], Request(ReadRAM));
    EXPECT_EQ(std::memcmp(ParameterBlock, ram.data(), BLOCK_LENGTH), 0);
    EXPECT_TRUE(Popups().empty());
}

TEST_F(Transactions, WrongParameterRepliesChangeNothing) {
    OpenLine();
    Bytes good = SeededSensorBlock(3);
    Answer(good, {}, nullptr);
    GetParameters();
    SetCtrlVal(MainPanel, PANEL_INTLIM, 1); // an edit the failed reads must keep
    PanelValues before = CapturePanelValues();

    Bytes shortBlock(good.begin(), good.end() - 1);
    Bytes longBlock = SeededSensorBlock(9);
    longBlock.push_back(0);
    for (const Bytes &reply : {Bytes{}, shortBlock, longBlock}) {
        SCOPED_TRACE(reply.size());
        Answer(reply, {}, nullptr);
        ClearPopups();
        GetParameters();
        ExpectTimeoutReport();
        EXPECT_EQ(CapturePanelValues(), before);
        EXPECT_EQ(std::memcmp(ParameterBlock, good.data(), BLOCK_LENGTH), 0);
    }
}

TEST_F(Transactions, TransferShowsFramesUntilAWrongReply) {
    OpenLine();
    SetCtrlVal(MainPanel, PANEL_SOURCE, 5);
    for (size_t badLength : {size_t(0), size_t(6), size_t(8)}) {
        SCOPED_TRACE(badLength);
        // Three good frames, then the bad reply.
        Answer({}, {}, [badLength](int n) {
            if (n <= 3)
                return FrameBytes(10 * n);
            return Bytes(badLength, 0xEE);
        });
        size_t requestsBefore = FrameRequests();
        ClearPopups();
        TransferWithWatchdog();
        EXPECT_EQ(acquisitionActive, 0);
        EXPECT_EQ(FrameRequests() - requestsBefore, 4u);
        ExpectTimeoutReport();
        // The last good frame stays.
        Bytes last = FrameBytes(30);
        EXPECT_EQ(std::memcmp(currentMeasurement, last.data(), FRAME_LENGTH), 0);
        int red = -1;
        GetCtrlVal(MainPanel, PANEL_RED, &red);
        EXPECT_EQ(red, 30);
    }
}

TEST_F(Transactions, NoiseBurstEndsTheTransferAndTheNextOneRuns) {
    OpenLine();
    // Three good frames, 10 kB of noise instead of the fourth, then good frames again.
    Answer({}, {}, [](int n) { return n == 4 ? Bytes(10240, 0xE5) : FrameBytes(10 * n); });
    TransferWithWatchdog();
    EXPECT_EQ(FrameRequests(), 4u);
    ExpectTimeoutReport();
    Bytes last = FrameBytes(30);
    EXPECT_EQ(std::memcmp(currentMeasurement, last.data(), FRAME_LENGTH), 0);

    // Once the noise has passed, Go again: every frame counts.
    double quietSince = Timer();
    for (double end = Timer() + 10; Timer() - quietSince < 0.2 && Timer() < end;) {
        if (GetInQLen(portNumber) > 0) {
            FlushInQ(portNumber);
            quietSince = Timer();
        }
    }
    ClearPopups();
    EventStepHook stop([&] {
        if (FrameRequests() < 10)
            return true;
        acquisitionActive = 0;
        return false;
    });
    TransferWithWatchdog();
    EXPECT_TRUE(Popups().empty());
    Bytes newest = FrameBytes(10 * (int)FrameRequests());
    EXPECT_EQ(std::memcmp(currentMeasurement, newest.data(), FRAME_LENGTH), 0);
}

TEST_F(Transactions, StopEndsAfterTheCycleAndTheHistoryGoesOn) {
    OpenLine();
    SetCtrlVal(MainPanel, PANEL_SOURCE, 5);
    std::memset(signalHistory, 0, sizeof signalHistory);
    Answer({}, {}, [](int n) { return FrameBytes(n); });

    for (int run = 0; run < 2; run++) {
        EventStepHook stopAfterFive([this, run] {
            if (FrameRequests() < size_t(5 * (run + 1)))
                return true;
            acquisitionActive = 0; // what the Stop button does
            return false;
        });
        TransferWithWatchdog();
    }
    EXPECT_EQ(FrameRequests(), 10u);
    EXPECT_TRUE(Popups().empty());
    // Ten consecutive frames, the second run's right after the first's.
    for (int s = 0; s < 10; s++)
        EXPECT_EQ(signalHistory[7 * (90 + s) + TRACE_INT - 1], s + 1.0) << s;
}

TEST_F(Transactions, SendDuringATransferSendsAndLeavesItStopped) {
    OpenLine();
    Answer({}, {}, [](int n) { return FrameBytes(n); });
    SetCtrlVal(MainPanel, PANEL_POWER, 200);
    EventStepHook send([this] {
        if (FrameRequests() < 3)
            return true;
        SendParameters();
        return false;
    });
    TransferWithWatchdog();
    EXPECT_EQ(acquisitionActive, 0);
    ASSERT_TRUE(peer.waitForRequests(4, 5));
    std::vector<Bytes> requests = Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[3].size(), 86u);
    EXPECT_EQ(requests[3][1], WriteRAM);
    EXPECT_EQ(requests[3][2], 55);
    EXPECT_TRUE(Popups().empty());
}

TEST_F(Transactions, GoDuringATransferDoesNotNest) {
    OpenLine();
    Answer({}, {}, [](int n) { return FrameBytes(n); });
    int secondGos = 0;
    double goTime = 0;
    bool returnedAtOnce = true;
    size_t framesAtStopAndGo = 0;
    EventStepHook again([&] {
        if (FrameRequests() < 2)
            return true;
        // A held F11: Go again and again, each from the running loop's event step.
        double start = Timer();
        if (secondGos == 10) {
            // Stop and Go in the same step: the transfer goes on.
            acquisitionActive = 0;
            framesAtStopAndGo = FrameRequests();
        }
        ButtonGo(MainPanel, PANEL_GO, EVENT_COMMIT, nullptr, 0, 0);
        goTime += Timer() - start;
        returnedAtOnce = returnedAtOnce && Timer() - start < 0.5 && acquisitionActive == 1;
        if (++secondGos < 20)
            return true;
        acquisitionActive = 0;
        return false;
    });
    TransferWithWatchdog();
    EXPECT_EQ(secondGos, 20);
    EXPECT_TRUE(returnedAtOnce) << "a second Go ran a transfer loop of its own";
    // Nor does it wait before the sensor again: 20 such waits would take 2 s.
    EXPECT_LT(goTime, 1.0);
    EXPECT_GT(FrameRequests(), framesAtStopAndGo);
    EXPECT_EQ(acquisitionActive, 0);
    EXPECT_TRUE(Popups().empty());
}

} // namespace
