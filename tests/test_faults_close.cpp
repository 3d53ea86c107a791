// A window close at any moment ends the program. The real program on the sensor emulator in a
// real X window, each close a fresh start, sent at a random moment after the window maps: at
// rest, while busy processes load every core, right after F12, during the wait of F10 and right
// after a transfer's TIMEOUT pop-up was dismissed.
#include "support/xsession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char panelTitle[] = "Nevalometrix V4.51";
const char timeoutPopupTitle[] = "INFO";
const double startTimeout = 20.0; // a loaded two-core machine starts Qt slowly
const double exitTimeout = 5.0;   // a close that was obeyed ends the program well within this

// Shell loops that spin, one a core, until they are killed with the object.
class BusyLoad {
  public:
    BusyLoad() : loops_(std::max(1u, std::thread::hardware_concurrency())) {
        for (ChildProcess &loop : loops_)
            EXPECT_TRUE(loop.start({"sh", "-c", "while :; do :; done"}, {}));
    }

  private:
    std::vector<ChildProcess> loops_;
};

// How one kind of try goes: the emulator's options, what happens between the window's mapping
// and the close, and the longest pause before the close.
struct CloseCase {
    const char *name;
    int tries;
    bool loaded;
    std::vector<std::string> emulatorOptions;
    const char *key;   // typed into the panel first, or nullptr
    bool timeoutPopup; // the key runs into a TIMEOUT pop-up, which is dismissed
    int longestPauseMs;
};

class CloseAtRandomMoments : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x.start()) << "Xvfb did not start";
        // One recorded frame: a transfer gets it, then waits in vain for the next one.
        recording = ::testing::TempDir() + "nvmx-close-" + std::to_string(getpid()) + ".csv";
        std::ofstream(recording) << "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\n"
                                    "2026-12-07T22:41:18.052+00:00,0.013,145,98,61,114,77,248,255,"
                                    "COM1\n";
    }
    void TearDown() override { std::remove(recording.c_str()); }

    // One fresh program on a fresh emulator, closed once. True when the close ended it with 0.
    bool closeOnce(const CloseCase &c) {
        ChildProcess emulator;
        ChildProcess program;
        std::vector<std::string> argv = {BinDir() + "/sensor-emulator"};
        argv.insert(argv.end(), c.emulatorOptions.begin(), c.emulatorOptions.end());
        std::string device;
        if (!emulator.startReadingFirstLine(argv, {}, &device) ||
            !program.start({BinDir() + "/nvmxv451"},
                           {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=", "NVMX_COM1=" + device})) {
            ADD_FAILURE() << "the emulator or the program did not start";
            return false;
        }
        unsigned long panel = x.waitForWindow(panelTitle, startTimeout);
        if (panel == 0) {
            ADD_FAILURE() << "the panel did not map";
            return false;
        }
        if (c.key != nullptr) {
            EXPECT_TRUE(x.pressKey(panel, c.key));
        }
        if (c.timeoutPopup) {
            unsigned long popup = x.waitForWindow(timeoutPopupTitle, startTimeout);
            EXPECT_NE(popup, 0u) << "no TIMEOUT pop-up";
            EXPECT_TRUE(popup != 0 && x.pressKey(popup, "Return"));
        }
        std::uniform_int_distribution<int> pauseMs(0, c.longestPauseMs);
        usleep(useconds_t(pauseMs(random)) * 1000);
        EXPECT_TRUE(x.closeWindow(panel));
        return program.wait(exitTimeout) == 0;
    }

    XSession x;
    std::string recording;
    std::mt19937 random{451};
};

TEST_F(CloseAtRandomMoments, EveryCloseEndsTheProgram) {
    const std::vector<std::string> replay = {"--replay", recording};
    const CloseCase cases[] = {
        {"at rest", 16, false, {}, nullptr, false, 600},
        {"under load", 16, true, {}, nullptr, false, 600},
        {"right after F12", 12, false, {}, "F12", false, 100},
        {"during the wait of F10", 8, false, {}, "F10", false, 150},
        {"after a TIMEOUT pop-up", 6, false, replay, "F11", true, 300},
    };
    int closes = 0, lost = 0;
    for (const CloseCase &c : cases) {
        std::unique_ptr<BusyLoad> load = c.loaded ? std::make_unique<BusyLoad>() : nullptr;
        int lostHere = 0;
        for (int i = 0; i < c.tries; i++)
            lostHere += closeOnce(c) ? 0 : 1;
        EXPECT_EQ(lostHere, 0) << c.name << ": " << lostHere << " of " << c.tries << " closes lost";
        closes += c.tries;
        lost += lostHere;
    }
    EXPECT_GE(closes, 50);
    std::printf("%d of %d closes lost\n", lost, closes);
}

} // namespace
