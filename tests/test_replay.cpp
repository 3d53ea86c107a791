// The recording parser that the emulator's replay and the detection check share, on bytes.
#include "textforms/recording.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Parsed {
    int result;
    std::vector<RecordedFrame> frames;
    RecordingError error;
};

Parsed Parse(const std::string &text) {
    Parsed parsed{};
    parsed.result = ParseRecording(text.data(), text.size(), &parsed.frames, &parsed.error);
    return parsed;
}

const std::string header = "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\n";

TEST(ReplayParser, ReadsRecordedLinesWithOrWithoutHeaderAndCrlf) {
    Parsed parsed =
        Parse(header + "2026-12-07T22:10:05.123+01:00,0.000,100,80,60,120,90,200,255,COM1\r\n"
                       "2026-12-07T22:10:05.133+01:00,0.010,0,1,2,3,4,5,6,COM1\r\n"
                       "t,1.5,255,255,255,255,255,255,255"); // no port, no line end
    ASSERT_EQ(parsed.result, 0) << parsed.error.reason;
    ASSERT_EQ(parsed.frames.size(), 3u);
    const unsigned char first[7] = {100, 80, 60, 120, 90, 200, 255};
    EXPECT_EQ(std::memcmp(parsed.frames[0].values, first, 7), 0);
    EXPECT_EQ(parsed.frames[1].values[6], 6);
    EXPECT_DOUBLE_EQ(parsed.frames[1].seconds, 0.010);
    EXPECT_DOUBLE_EQ(parsed.frames[2].seconds, 1.5);
    EXPECT_EQ(parsed.frames[2].values[0], 255);

    EXPECT_EQ(Parse("x,0,1,2,3,4,5,6,7\n").frames.size(), 1u);
}

TEST(ReplayParser, NamesTheLineOfTheFirstFault) {
    const std::string good = "t,0.1,1,2,3,4,5,6,7,COM1\n";
    struct Case {
        std::string text;
        long line;
        const char *reason;
    } cases[] = {
        {"", 1, "empty"},
        {header, 1, "no frame"},
        {header + good + "t,0.2,1,2,3,4,5,6\n", 3, "too few fields"},
        {header + good + "\n" + good, 3, "too few fields"},
        {header + "t,0.2,1,2,3,4,5,6,256,COM1\n", 2, "C-No is not a number in 0..255"},
        {header + "t,0.2,1,-2,3,4,5,6,7,COM1\n", 2, "GREEN"},
        {header + "t,0.2,1,2,abc,4,5,6,7,COM1\n", 2, "BLUE"},
        {header + "t,0.2, 1,2,3,4,5,6,7,COM1\n", 2, "RED"},
        {header + "t,soon,1,2,3,4,5,6,7,COM1\n", 2, "seconds"},
        {header + "t,nan,1,2,3,4,5,6,7,COM1\n", 2, "seconds"},
        {good + header, 2, "seconds"}, // a header is only a header on line 1
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Parsed parsed = Parse(c.text);
        EXPECT_EQ(parsed.result, -1);
        EXPECT_EQ(parsed.error.line, c.line);
        EXPECT_NE(std::string(parsed.error.reason).find(c.reason), std::string::npos)
            << parsed.error.reason;
    }
}

} // namespace
