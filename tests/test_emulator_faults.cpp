// The sensor emulator's faults, as the program meets them on the line: silence and a wrong line
// check, short, long and garbled replies, late replies and a hang-up, and the paced line rate.
#include "support/emulator_child.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

TEST(Emulator, SilentAndWrongLineCheckFaults) {
    Emulator silent;
    ASSERT_TRUE(silent.open({"--silent"}));
    EXPECT_TRUE(silent.ask(7, 0.3).empty());
    EXPECT_TRUE(silent.ask(5, 0.3).empty());
    EXPECT_TRUE(silent.ask(3, 0.3).empty());

    Emulator wrong;
    ASSERT_TRUE(wrong.open({"--wrong-linecheck"}));
    EXPECT_EQ(wrong.ask(7), Bytes{0x55});
    EXPECT_EQ(wrong.ask(5).size(), (size_t)FRAME);

    Emulator chosen;
    ASSERT_TRUE(chosen.open({"--linecheck-byte", "0x12"}));
    EXPECT_EQ(chosen.ask(7), Bytes{0x12});
}

TEST(Emulator, ShortLongAndGarbledReplies) {
    Emulator shortBy;
    ASSERT_TRUE(shortBy.open({"--short", "1"}));
    EXPECT_EQ(shortBy.ask(7), lineOk);
    Bytes cut = shortBy.ask(5);
    ASSERT_EQ(cut.size(), (size_t)FRAME - 1);
    ExpectCoordinatesMatchRGB(cut);
    EXPECT_EQ(shortBy.ask(3).size(), (size_t)BLOCK - 1);

    Emulator longBy;
    ASSERT_TRUE(longBy.open({"--long", "1"}));
    EXPECT_EQ(longBy.ask(7), lineOk);
    Bytes grown = longBy.ask(5);
    ASSERT_EQ(grown.size(), (size_t)FRAME + 1);
    ExpectCoordinatesMatchRGB(grown);
    EXPECT_EQ(longBy.ask(4).size(), (size_t)BLOCK + 1);

    Emulator paramShort;
    ASSERT_TRUE(paramShort.open({"--param-short"}));
    EXPECT_EQ(paramShort.ask(3).size(), (size_t)BLOCK - 1);
    EXPECT_EQ(paramShort.ask(5).size(), (size_t)FRAME);

    Emulator garbled;
    ASSERT_TRUE(garbled.open({"--garble", "--fixed", "100,50,30"}));
    Bytes reply = garbled.ask(7);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_NE(reply[0], 0xAA);
    Bytes frame = garbled.ask(5);
    ASSERT_EQ(frame.size(), (size_t)FRAME);
    EXPECT_NE(frame, (Bytes{100, 50, 30, 141, 70, 56, 255}));
}

TEST(Emulator, LateRepliesAndHangUp) {
    Emulator late;
    ASSERT_TRUE(late.open({"--late", "200"}));
    auto start = Clock::now();
    EXPECT_EQ(late.askExactly(7, 1), lineOk);
    EXPECT_GE(SecondsSince(start), 0.19);

    Emulator hangup;
    ASSERT_TRUE(hangup.open({"--hangup-after", "3"}));
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(hangup.askExactly(5, FRAME).size(), (size_t)FRAME) << "frame " << n;
    }
    hangup.send({0x55, 0x05});
    // The line goes dead: the slave reports a hang-up instead of a frame.
    struct pollfd entry = {hangup.line, POLLIN, 0};
    ASSERT_EQ(poll(&entry, 1, 2000), 1);
    unsigned char byte = 0;
    ssize_t count = read(hangup.line, &byte, 1);
    EXPECT_TRUE(count == 0 || (count < 0 && errno == EIO)) << "count " << count;
    EXPECT_LT(Emulator::OpenRaw(hangup.path), 0) << "the line cannot be opened again";
    EXPECT_EQ(hangup.Wait(0.2), -1) << "the emulator itself stays until it is stopped";
    EXPECT_EQ(hangup.stop(), 0);
}

TEST(Emulator, PacedRepliesKeepTheLineRate) {
    auto timeFrames = [](const std::vector<std::string> &arguments, int frames) {
        Emulator emulator;
        EXPECT_TRUE(emulator.open(arguments));
        auto start = Clock::now();
        for (int n = 0; n < frames; ++n) {
            EXPECT_EQ(emulator.askExactly(5, FRAME).size(), (size_t)FRAME);
        }
        return SecondsSince(start);
    };
    double paced = timeFrames({"--pace"}, 50);
    double unpaced = timeFrames({}, 200);
    printf("paced: 50 frames in %.3f s (%.0f frames/s); unpaced: 200 frames in %.3f s "
           "(%.0f frames/s)\n",
           paced, 50 / paced, unpaced, 200 / unpaced);
    // Request and frame are 9 bytes of 10 bits each at 9600 baud.
    EXPECT_GE(paced, 50 * 9 * 10 / 9600.0 - 0.02);
}

} // namespace
