// The real program in a real X window on screens of three sizes: the window opens within the
// screen less a frame, a title bar and a task bar (the column of teaching from frames and the
// detection check beside the graphs, in a row under the panel, or folded onto the graphs'
// place), and it asks the window manager for no larger minimum.
#include "support/pty_peer.h"
#include "support/sensor_bytes.h"
#include "support/xsession.h"

#include <gtest/gtest.h>

namespace {

const double timeout = 20.0;
const Bytes sensorBlock = SensorBlock({55, 0, 0, 1, 0, 10, 0, 3, 2});

TEST(ProgramOnScreens, OpensWithinTheScreen) {
    const struct {
        const char *size;
        int width, height;
        int windowWidth, windowHeight; // as the window opens
    } screens[] = {
        {"1366x768", 1366, 768, 1356, 684},
        {"1280x1024", 1280, 1024, 1270, 944},
        {"1024x768", 1024, 768, 1014, 684},
    };
    for (const auto &screen : screens) {
        SCOPED_TRACE(screen.size);
        XSession x;
        PtyPeer peer;
        ChildProcess program;
        unsigned long panel = 0;
        ASSERT_TRUE(x.start(screen.size));
        ASSERT_TRUE(StartProgramOnSensor(x, peer, program, sensorBlock, timeout, &panel));
        int width = 0, height = 0, minWidth = 0, minHeight = 0;
        ASSERT_TRUE(x.windowSize(panel, &width, &height, &minWidth, &minHeight));
        EXPECT_EQ(width, screen.windowWidth);
        EXPECT_EQ(height, screen.windowHeight);
        EXPECT_LE(minWidth, screen.width - 10);
        EXPECT_LE(minHeight, screen.height - 80);
        EXPECT_TRUE(x.closeWindow(panel));
        EXPECT_EQ(program.wait(timeout), 0);
    }
}

} // namespace
