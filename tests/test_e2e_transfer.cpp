// The real program in a real X window against a scripted sensor, driven by the keys a user
// presses: Send, Get, Go and Stop, teaching, the automatic adjustment and the table reset.
#include "support/pty_peer.h"
#include "support/sensor_bytes.h"
#include "support/xsession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

namespace {

const double timeout = 20.0;
// A block in which the evaluation mode forces nothing (EVALMODE 0, AVERAGE 0, HOLD 0): POWER
// slider 200, PMOD STAT, TRIGGER CONT, INTLIM 10, MAXCOL-No. 3, OUTMODE BINARY, table cells 1.
const Bytes sensorBlock = SensorBlock({55, 0, 0, 1, 0, 10, 0, 3, 2});

Bytes WriteRequest(const Bytes &block) {
    Bytes request(2 + block.size());
    request[0] = 0x55;
    request[1] = 0x01;
    std::copy(block.begin(), block.end(), request.begin() + 2);
    return request;
}

class RunningProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x.start());
        ASSERT_TRUE(StartProgramOnSensor(x, peer, program, sensorBlock, timeout, &panel));
    }

    void TearDown() override {
        if (panel != 0) {
            EXPECT_TRUE(x.closeWindow(panel));
            EXPECT_EQ(program.wait(timeout), 0);
        }
    }

    // Presses a key and returns the next request the sensor sees.
    PeerRequest requestAfter(const std::string &key) {
        size_t before = peer.requests().size();
        EXPECT_TRUE(x.pressKey(panel, key));
        EXPECT_TRUE(peer.waitForRequests(before + 1, timeout)) << "nothing after " << key;
        std::vector<PeerRequest> requests = peer.requests();
        return requests.size() > before ? requests[before] : PeerRequest{{}, 0.0};
    }

    // Runs the transfer for a while, then stops it; returns how many frames were asked for.
    size_t streamAndStop() {
        size_t before = peer.requests().size();
        EXPECT_TRUE(x.pressKey(panel, "F11"));
        EXPECT_TRUE(peer.waitForRequests(before + 20, timeout)) << "F11 streams no frames";
        EXPECT_TRUE(x.pressKey(panel, "F12"));
        size_t settled = 0;
        for (int i = 0; i < 200; i++) { // until no new request comes for 0.3 s
            size_t now = peer.requests().size();
            usleep(300000);
            if (peer.requests().size() == now) {
                settled = now;
                break;
            }
        }
        EXPECT_NE(settled, 0u) << "F12 did not stop the transfer";
        for (size_t i = before; i < settled; i++)
            EXPECT_EQ(peer.requests()[i].bytes, (Bytes{0x55, 0x05}));
        return settled - before;
    }

    // A mnemonic clicks its button as the key is handled: the key after it meets its action.
    void pressMnemonic(const std::string &key) { ASSERT_TRUE(x.pressKey(panel, key)); }

    XSession x;
    PtyPeer peer;
    ChildProcess program;
    unsigned long panel = 0;
};

TEST_F(RunningProgram, SendGetGoAndStopFromTheirKeys) {
    // F9: the block read at start-up goes back to the wire unchanged, POWER inversion included.
    EXPECT_EQ(requestAfter("F9").bytes, WriteRequest(sensorBlock));

    // F10 waits 0.1 s before it reads again.
    double pressed = peer.now();
    PeerRequest get = requestAfter("F10");
    EXPECT_EQ(get.bytes, (Bytes{0x55, 0x03}));
    EXPECT_GE(get.time - pressed, 0.1);

    size_t frames = streamAndStop();
    std::printf("frames streamed before the stop: %zu\n", frames);
    EXPECT_EQ(x.findWindow("INFO"), 0u);
}

TEST_F(RunningProgram, TeachAdjustAndResetReachTheWire) {
    streamAndStop();

    // Teach-table view (Alt+P), TEACH DATA TO (Alt+C) into row 0, then Send.
    pressMnemonic("alt+p");
    pressMnemonic("alt+c");
    Bytes taught = sensorBlock;
    const Bytes row0 = {sampleFrame[3], sampleFrame[4], 10, sampleFrame[5],
                        10}; // X, Y, CTO 10, INT, ITO 10
    std::copy(row0.begin(), row0.end(), taught.begin() + 9);
    EXPECT_EQ(requestAfter("F9").bytes, WriteRequest(taught));

    // Auto adjust (Alt+D): row 0 is far from rows 1 and 2 and reaches 20; rows 1 and 2 share
    // their point and band and keep 2; inactive rows keep their CTO.
    pressMnemonic("alt+d");
    Bytes adjusted = taught;
    adjusted[9 + 2] = 20;
    adjusted[14 + 2] = 2;
    adjusted[19 + 2] = 2;
    EXPECT_EQ(requestAfter("F9").bytes, WriteRequest(adjusted));

    // Reset table (Alt+B): 75 ones.
    pressMnemonic("alt+b");
    Bytes reset = adjusted;
    std::fill(reset.begin() + 9, reset.end(), 1);
    EXPECT_EQ(requestAfter("F9").bytes, WriteRequest(reset));
}

} // namespace
