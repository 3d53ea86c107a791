// A sensor's health from its frames: the emulator's steady noisy colour raises nothing over a
// shift, its falling INT is warned of before the first frame the model gets wrong, with its trend
// and remedy, and alarms clear with hysteresis.
#include "detection/model.h"
#include "emulator/colour.h"
#include "emulator/options.h"
#include "health/health.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>

namespace {

constexpr double FRAMES_PER_SECOND = 105;

void SetRow(unsigned char *block, int row, int x, int y, int cto, int intensity, int ito) {
    const int cells[] = {x, y, cto, intensity, ito};
    for (int column = COL_X; column <= COL_ITO; column++)
        block[TeachCellOffset(row, column)] = (unsigned char)cells[column - 1];
}

// Two taught colours, circles and INT bands.
void TwoColours(unsigned char *block) {
    std::memset(block, 0, BLOCK_LENGTH);
    block[OFFSET_MAXCOLNO] = 2;
    block[OFFSET_INTLIM] = 5;
    SetRow(block, 1, 85, 85, 10, 100, 12);
    SetRow(block, 2, 150, 60, 8, 80, 10);
}

// Noise of -2..2, the same every run.
struct Noise {
    unsigned state = 12345;
    int next() {
        state = state * 1103515245u + 12345u;
        return (int)((state >> 16) % 5) - 2;
    }
};

struct Line {
    HealthMonitor monitor{"station-s06", HealthSettings()};
    unsigned char block[BLOCK_LENGTH];
    Noise noise;
    long long ms = 1765000000000LL;
    long frame = 0;
    std::vector<HealthChange> changes;
    Line() {
        TwoColours(block);
        monitor.setTable(block);
    }
    // One frame of the colour (x, y, intensity) with noise; returns the model's C-No.
    int add(double x, double y, double intensity) {
        unsigned char values[FRAME_LENGTH] = {};
        values[M_X] = (unsigned char)(x + noise.next());
        values[M_Y] = (unsigned char)(y + noise.next());
        values[M_INT] = (unsigned char)(intensity + noise.next());
        ++frame;
        ms = 1765000000000LL + (long long)(frame * 1000.0 / FRAMES_PER_SECOND);
        monitor.addFrame(ms, values, &changes);
        return DetectColour(block, values);
    }
    double minutes() const { return (double)frame / FRAMES_PER_SECOND / 60; }
};

// The emulator's measurement of one fixed colour with noise (and drift, if set), fed to a
// monitor as the live service feeds it, a frame every 1/105 s of line time.
struct EmulatedLine {
    HealthMonitor monitor{"station-s06", HealthSettings()};
    unsigned char block[BLOCK_LENGTH];
    std::vector<HealthChange> changes;
    unsigned long frame = 0;
    EmulatedLine() {
        std::memset(block, 0, BLOCK_LENGTH);
        block[OFFSET_MAXCOLNO] = 1;
        block[OFFSET_INTLIM] = 5;
        SetRow(block, 1, 75, 84, 8, 93, 10); // RED 90, GREEN 100, BLUE 110 as taught
        monitor.setTable(block);
        options.fixed = 1;
        const unsigned char rgb[3] = {90, 100, 110};
        std::memcpy(options.fixedRgb, rgb, 3);
        options.noise = 2;
        options.seed = 7;
        options.driftInt = options.driftX = options.driftAfter = 0;
    }
    // The next frame; returns its C-No by the model.
    int next() {
        unsigned char values[FRAME_LENGTH];
        ComposeFrame(frame, block, values);
        const long long ms = 1767592800000LL + (long long)(frame * 1000.0 / EMULATED_FRAME_RATE);
        ++frame;
        monitor.addFrame(ms, values, &changes);
        return values[M_CNO];
    }
    double minutes() const { return (double)frame / EMULATED_FRAME_RATE / 60; }
};

TEST(Health, ASteadyNoisyColourRaisesNothingOverAShift) {
    EmulatedLine line;
    const unsigned long shift = (unsigned long)(8 * 3600 * EMULATED_FRAME_RATE);
    long wrong = 0;
    while (line.frame < shift)
        wrong += line.next() != 0;
    std::printf("false alarms over 8 h of line time: %zu\n", line.changes.size());
    EXPECT_TRUE(line.changes.empty()) << line.changes[0].message;
    EXPECT_EQ(wrong, 0);
    const std::vector<RowHealthFigures> rows = line.monitor.rowFigures();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].stable);
    EXPECT_GT(rows[0].bandIndex, 1.33) << "10 units of band over the noise's spread";
    EXPECT_NEAR(rows[0].meanI, 93, 1);
    EXPECT_DOUBLE_EQ(line.monitor.share(0), 1.0);
}

TEST(Health, AFallingIntIsWarnedOfBeforeTheFirstWrongFrame) {
    EmulatedLine line;
    // Steady for ten minutes, then INT falls 0.2 units a minute: a lens clouding over.
    options.driftInt = -0.2;
    options.driftAfter = 10;
    double wrongAt = -1;
    std::map<std::string, double> raisedAt; // the first warning of each rule, in minutes
    std::map<std::string, std::string> message;
    while (wrongAt < 0 && line.minutes() < 180) {
        const size_t before = line.changes.size();
        if (line.next() != 0)
            wrongAt = line.minutes();
        for (size_t c = before; c < line.changes.size(); c++)
            if (!raisedAt.count(line.changes[c].alarm)) {
                raisedAt[line.changes[c].alarm] = line.minutes();
                message[line.changes[c].alarm] = line.changes[c].message;
            }
    }
    ASSERT_GE(wrongAt, 0);
    // The EWMA tells the drift first; the band's margin index follows, still in time.
    ASSERT_TRUE(raisedAt.count("row 0 drift") && raisedAt.count("row 0 band margin"));
    for (const auto &[alarm, at] : raisedAt)
        std::printf("%s: %.1f min of line time before the first wrong frame\n%s\n", alarm.c_str(),
                    wrongAt - at, message[alarm].c_str());
    EXPECT_LT(raisedAt["row 0 drift"], raisedAt["row 0 band margin"]);
    for (const HealthChange &change : line.changes)
        EXPECT_NE(change.level, HEALTH_OK) << "no alarm flaps on its threshold: " << change.alarm;
    EXPECT_LT(raisedAt["row 0 band margin"], wrongAt);
    const std::string &band = message["row 0 band margin"];
    EXPECT_EQ(band.rfind("station-s06 row 0: INT band's margin index was ", 0), 0u) << band;
    for (const std::string &text : {message["row 0 drift"], band}) {
        EXPECT_NE(text.find("INT falling "), std::string::npos) << text;
        EXPECT_NE(text.find("clean the lens or check the LED"), std::string::npos) << text;
    }
}

TEST(Health, AColourMovingOnOneRowIsTheProductAndAlarmsClearWithHysteresis) {
    Line line;
    // Row 1's colour moves in X by 0.1 a minute while row 0's stays: a new batch.
    for (long i = 0; i < (long)(90 * 60 * FRAMES_PER_SECOND); i++) {
        const double minutes = line.minutes();
        if (i % 2)
            line.add(85, 85, 100);
        else
            line.add(150 + (minutes < 10 ? 0 : 0.1 * (minutes - 10)), 60, 80);
    }
    ASSERT_FALSE(line.changes.empty());
    const HealthChange &first = line.changes[0];
    EXPECT_EQ(first.alarm.rfind("row 1 ", 0), 0u) << first.alarm;
    EXPECT_NE(first.message.find("the product's colour has changed, check the batch or retune"),
              std::string::npos)
        << first.message;

    // Frames that no row holds: an alarm once over the share, cleared only well below it.
    Line dark;
    for (long i = 0; i < (long)(10 * 60 * FRAMES_PER_SECOND); i++)
        dark.add(85, 85, i % 20 == 0 ? 2 : 100); // 5 % below INTLIM
    ASSERT_FALSE(dark.changes.empty());
    EXPECT_EQ(dark.changes.back().alarm, "undetected");
    EXPECT_EQ(dark.changes.back().level, HEALTH_ALARM);
    const size_t raised = dark.changes.size();
    for (long i = 0; i < (long)(10 * 60 * FRAMES_PER_SECOND); i++)
        dark.add(85, 85, i % 66 == 0 ? 2 : 100); // 1.5 %: under the share, not under its half
    EXPECT_EQ(dark.changes.size(), raised) << "no flapping on the threshold";
    for (long i = 0; i < (long)(10 * 60 * FRAMES_PER_SECOND); i++)
        dark.add(85, 85, 100);
    EXPECT_EQ(dark.changes.back().alarm, "undetected");
    EXPECT_EQ(dark.changes.back().level, HEALTH_OK);
}

} // namespace
