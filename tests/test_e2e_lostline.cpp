// The real program in a real X window on a device reached through a symbolic link: the device
// goes away during a transfer and comes back under the same link.
#include "support/pty_peer.h"
#include "support/xsession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char panelTitle[] = "Nevalometrix V4.51";
const double timeout = 40.0; // a loaded two-core machine starts Qt slowly

// Points link at target in one step, as a udev rule or a user would repoint it.
void PointLink(const fs::path &link, const std::string &target) {
    fs::path fresh = link.string() + ".new";
    fs::remove(fresh);
    fs::create_symlink(target, fresh);
    fs::rename(fresh, link);
}

class LostLine : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("nvmx-lostline-" + std::to_string(getpid()));
        fs::create_directories(dir);
        ASSERT_TRUE(x.start());
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<std::string> environment() const {
        return {"DISPLAY=" + x.display(),
                "QT_QPA_PLATFORM=", "NVMX_COM1=" + (dir / "sensor").string(),
                "XDG_CONFIG_HOME=" + dir.string(), "HOME=" + dir.string()};
    }

    fs::path dir;
    XSession x;
};

TEST_F(LostLine, DeviceGoneDuringATransferIsAwaitedQuietlyAndReopenedWhenBack) {
    auto first = std::make_unique<PtyPeer>();
    ASSERT_TRUE(first->start(AnswerLikeASensor()));
    PointLink(dir / "sensor", first->slavePath());
    ChildProcess program;
    ASSERT_TRUE(program.start({BinDir() + "/nvmxv451"}, environment()));
    unsigned long panel = x.waitForWindow(panelTitle, timeout);
    ASSERT_NE(panel, 0u);
    ASSERT_TRUE(first->waitForRequests(2, timeout)) << "line check and parameter read";
    ASSERT_TRUE(x.pressKey(panel, "F11"));
    ASSERT_TRUE(first->waitForRequests(22, timeout)) << "the transfer does not run";

    first.reset(); // the pseudo-terminal goes away, the link dangles
    unsigned long popup = x.waitForWindow("INFO", 10.0);
    ASSERT_NE(popup, 0u) << "the lost line is not reported";
    EXPECT_TRUE(x.pressKey(popup, "Return"));
    for (double end = MonotonicSeconds() + 5.0; x.findWindow("INFO") == popup;)
        ASSERT_LT(MonotonicSeconds(), end) << "the pop-up does not close";

    // Waiting for the device: no further pop-up, and the program sleeps (measured once the
    // window has repainted after the pop-up).
    EXPECT_EQ(x.waitForWindow("INFO", 1.5), 0u) << "a second pop-up";
    double cpuBefore = program.cpuSeconds(), start = MonotonicSeconds();
    EXPECT_EQ(x.waitForWindow("INFO", 4.0), 0u) << "a second pop-up";
    double share = (program.cpuSeconds() - cpuBefore) / (MonotonicSeconds() - start);
    std::printf("CPU while the device is away: %.1f%% of one core\n", 100.0 * share);
    EXPECT_LT(share, 0.02);

    PtyPeer second;
    ASSERT_TRUE(second.start(AnswerLikeASensor()));
    PointLink(dir / "sensor", second.slavePath());
    ASSERT_TRUE(second.waitForRequests(2, 10.0)) << "no reconnect";
    EXPECT_EQ(second.requests()[0].bytes, (Bytes{0x55, 0x07}));
    EXPECT_EQ(second.requests()[1].bytes, (Bytes{0x55, 0x03})) << "parameters after LINE OK";
    EXPECT_EQ(x.findWindow("INFO"), 0u);

    EXPECT_TRUE(x.closeWindow(panel));
    EXPECT_EQ(program.wait(timeout), 0);
}

} // namespace
