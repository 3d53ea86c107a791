// A recording's time stamps read back to the millisecond they were written for, whatever the
// zone's offset, and a line without one is a frame without a stamp, not a fault.
#include "textforms/recording.h"
#include "textforms/timestamp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

TEST(TimeStamp, EveryStampReadsBackToItsMillisecond) {
    const char *zones[] = {"UTC0", "NST3:30NDT", "<+0545>-5:45", "PST8PDT", "CET-1CEST"};
    long long ms = 1767592800123LL; // a new second for each zone: stamps are kept a second
    for (const char *zone : zones) {
        setenv("TZ", zone, 1);
        tzset();
        for (long long at : {ms, ms + 86400000LL * 180 + 1001, -1234567LL + ms % 1000}) {
            char text[TIME_STAMP_LEN];
            FormatTimeStamp(at, text, sizeof text);
            long long back = 0;
            ASSERT_TRUE(ParseTimeStamp(text, std::strlen(text), &back)) << zone << " " << text;
            EXPECT_EQ(back, at) << zone << " " << text;
        }
        ms += 7777;
    }
    unsetenv("TZ");
    tzset();
    long long back = 0;
    for (const char *bad : {"2026-13-05T06:00:00.000+00:00", "2026-01-05 06:00:00.000+00:00",
                            "2026-01-05T06:00:00.000Z", "2026-01-05T06:0a:00.000+00:00"})
        EXPECT_FALSE(ParseTimeStamp(bad, std::strlen(bad), &back)) << bad;

    const std::string text = "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\n"
                             "2026-01-05T07:00:00.250+01:00,0.000,1,2,3,4,5,6,0,a\n"
                             "yesterday,0.010,1,2,3,4,5,6,0,a\n";
    std::vector<RecordedFrame> frames;
    RecordingError error{};
    ASSERT_EQ(ParseRecording(text.data(), text.size(), &frames, &error), 0) << error.reason;
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].stamp, 1767592800250LL);
    EXPECT_EQ(frames[1].stamp, -1);
}

} // namespace
