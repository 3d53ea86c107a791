// The line's picture for the web view, and who may reach it: the tile of a sensor as its frames,
// states and memories come, the strip chart's points handed out once each, the change log read
// again only when it changed, and the listen address and password checks.
#include "lineview/changefollow.h"
#include "lineview/lineview.h"
#include "web/access.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

nlohmann::json Parse(const std::string &text) {
    return nlohmann::json::parse(text);
}

LineView TwoSensors() {
    return LineView("line9", {{"infeed", "COM1", "a.dat"}, {"outfeed", "COM2", ""}});
}

// A block whose rows 0 and 1 are active: row r at X 100+r, Y 50, CTO 10, INT 200, ITO 20.
void Table(unsigned char block[BLOCK_LENGTH], int evalMode = 1) {
    std::fill(block, block + BLOCK_LENGTH, 0);
    block[OFFSET_EVALMODE] = (unsigned char)evalMode;
    block[OFFSET_MAXCOLNO] = 2;
    for (int row = 1; row <= 2; row++) {
        const unsigned char cells[] = {(unsigned char)(99 + row), 50, 10, 200, 20};
        for (int column = COL_X; column <= COL_ITO; column++)
            block[TeachCellOffset(row, column)] = cells[column - 1];
    }
}

} // namespace

TEST(LineView, ATileFollowsItsSensorsStateFramesAndMemories) {
    LineView view = TwoSensors();
    EXPECT_EQ(view.find("outfeed"), 1);
    EXPECT_EQ(view.find("nobody"), -1);
    nlohmann::json tile = Parse(view.line(1000))["sensors"][0];
    EXPECT_EQ(tile["presence"], "starting");
    EXPECT_TRUE(tile["frame"].is_null());
    EXPECT_TRUE(tile["memories"]["RAM"]["inStep"].is_null());

    // A state told again unchanged keeps the time it began.
    view.setState(0, "online", "LINE OK", "", 2000);
    view.setState(0, "online", "LINE OK", "", 3000);
    EXPECT_EQ(Parse(view.line(3000))["sensors"][0]["sinceMs"], 2000);
    view.setState(0, "offline", "LINE LOST", "the device went away", 4000);
    tile = Parse(view.line(4000))["sensors"][0];
    EXPECT_EQ(tile["state"], "LINE LOST");
    EXPECT_EQ(tile["message"], "the device went away");
    EXPECT_EQ(tile["sinceMs"], 4000);

    unsigned char block[BLOCK_LENGTH], approved[BLOCK_LENGTH];
    Table(block);
    std::copy(block, block + BLOCK_LENGTH, approved);
    view.setTable(0, block);
    const unsigned char frame[FRAME_LENGTH] = {140, 70, 40, 101, 50, 205, 1};
    view.addFrame(0, 5000, frame);
    tile = Parse(view.line(5000))["sensors"][0];
    EXPECT_EQ(tile["frame"]["RED"], 140);
    EXPECT_EQ(tile["frame"]["C-No"], 1);
    EXPECT_EQ(tile["taught"]["row"], 1);
    EXPECT_EQ(tile["taught"]["X"], 101);
    EXPECT_EQ(tile["contrast"], false);

    // C-No 255, and a C-No beyond the active rows, are no taught colour.
    const unsigned char none[FRAME_LENGTH] = {1, 1, 1, 0, 0, 0, 255};
    view.addFrame(0, 5001, none);
    EXPECT_TRUE(Parse(view.line(5001))["sensors"][0]["taught"].is_null());
    const unsigned char beyond[FRAME_LENGTH] = {1, 1, 1, 0, 0, 0, 2};
    view.addFrame(0, 5002, beyond);
    EXPECT_TRUE(Parse(view.line(5002))["sensors"][0]["taught"].is_null());
    // In a contrast mode only C-No 0 is detected: row 0's limits.
    Table(block, 3);
    view.setTable(0, block);
    const unsigned char contrast[FRAME_LENGTH] = {120, 1, 1, 0, 0, 0, 0};
    view.addFrame(0, 5003, contrast);
    tile = Parse(view.line(5003))["sensors"][0];
    EXPECT_EQ(tile["contrast"], true);
    EXPECT_EQ(tile["taught"]["row"], 0);

    // In step since the first read; out of step since the read that found it; unknown without
    // an approved set.
    view.setMemories(0, approved, approved, approved, 6000);
    view.setMemories(0, approved, approved, approved, 7000);
    unsigned char changed[BLOCK_LENGTH];
    std::copy(approved, approved + BLOCK_LENGTH, changed);
    changed[OFFSET_INTLIM] = 30;
    view.setMemories(0, approved, changed, approved, 8000);
    const auto memories = Parse(view.line(8000))["sensors"][0]["memories"];
    EXPECT_EQ(memories["approved"], "a.dat");
    EXPECT_EQ(memories["RAM"]["inStep"], true);
    EXPECT_EQ(memories["RAM"]["sinceMs"], 6000);
    EXPECT_EQ(memories["EEPROM"]["inStep"], false);
    EXPECT_EQ(memories["EEPROM"]["sinceMs"], 8000);
    // Health to a thousandth, shown from the next update on.
    view.setHealth(0, {{"rows", {{{"row", 1}, {"band_index", 1.23456}, {"frames", 31000}}}}});
    tile = Parse(view.line(8000))["sensors"][0];
    EXPECT_EQ(tile["health"]["rows"][0]["band_index"], 1.235);
    EXPECT_EQ(tile["health"]["rows"][0]["frames"], 31000);
    view.setMemories(1, changed, changed, nullptr, 9000);
    EXPECT_TRUE(Parse(view.line(9000))["sensors"][1]["memories"]["EEPROM"]["inStep"].is_null());
}

TEST(LineView, TheStripChartKeepsTenMinutesAndHandsEachPointOutOnce) {
    LineView view = TwoSensors();
    unsigned char frame[FRAME_LENGTH] = {10, 20, 30, 40, 50, 60, 255};
    // 12 minutes of frames at 100 a second: one point per step, the last 10 minutes kept.
    const long long start = 1'000'000;
    for (long long ms = start; ms < start + 12 * 60'000; ms += 10) {
        frame[M_X] = (unsigned char)(ms / VIEW_HISTORY_STEP_MS);
        view.addFrame(0, ms, frame);
    }
    long long last = 0;
    const auto all = Parse(view.sensor(0, 0, -1, &last));
    const auto &points = all["history"]["points"];
    ASSERT_EQ(points.size(), (size_t)VIEW_HISTORY_POINTS);
    EXPECT_EQ(points.back()[0], start + 12 * 60'000 - VIEW_HISTORY_STEP_MS);
    EXPECT_EQ(points.back()[0].get<long long>() - points.front()[0].get<long long>(),
              10 * 60'000 - VIEW_HISTORY_STEP_MS);
    EXPECT_EQ(last, points.back()[0]);
    EXPECT_EQ(all["recent"].size(), (size_t)VIEW_RECENT_FRAMES);
    EXPECT_EQ(all["frame"]["count"], 12 * 60 * 100);

    // The next call hands out only what came since.
    view.addFrame(0, last + 150, frame);
    view.addFrame(0, last + 250, frame);
    long long after = 0;
    const auto next = Parse(view.sensor(0, 0, last, &after));
    ASSERT_EQ(next["history"]["points"].size(), 1u);
    EXPECT_EQ(after, last + 250);
    EXPECT_EQ(Parse(view.sensor(0, 0, after, &after))["history"]["points"].size(), 0u);

    for (int i = 0; i < VIEW_EVENTS + 5; i++)
        view.addEvent(0, {{"event", "e" + std::to_string(i)}});
    const auto events = Parse(view.sensor(0, 0, after, &after))["events"];
    ASSERT_EQ(events.size(), (size_t)VIEW_EVENTS);
    EXPECT_EQ(events.back()["event"], "e" + std::to_string(VIEW_EVENTS + 4));
}

TEST(LineView, TheChangeLogIsReadAgainOnlyWhenItChanged) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("nvmx-lineview-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string log = (folder / "changes.jsonl").string();
    LineView view = TwoSensors();
    ChangeLogFollower follower(log);
    EXPECT_FALSE(follower.refresh(&view)); // no log yet
    auto entry = [](const std::string &sensor, int n) {
        return "{\"time\":\"2026-12-09T10:00:0" + std::to_string(n % 10) +
               ".000+00:00\",\"entry\":\"e" + std::to_string(n) +
               "\",\"phase\":\"write\",\"sensor\":\"" + sensor +
               "\",\"port\":\"COM1\",\"device\":\"/dev/x\",\"memory\":\"RAM\",\"source\":\"a.dat\","
               "\"backup\":\"\",\"changes\":[{\"name\":\"INTLIM\",\"offset\":5,\"old\":" +
               std::to_string(n) + ",\"new\":" + std::to_string(n + 1) +
               "}]}\n{\"time\":\"2026-12-09T10:00:09.000+00:00\",\"entry\":\"e" +
               std::to_string(n) + "\",\"phase\":\"outcome\",\"sensor\":\"" + sensor +
               "\",\"verify\":\"verified\"}\n";
    };
    {
        std::ofstream out(log);
        for (int n = 0; n < VIEW_CHANGES + 3; n++)
            out << entry("infeed", n);
        out << entry("elsewhere", 99) << "torn line\n";
    }
    EXPECT_TRUE(follower.refresh(&view));
    EXPECT_FALSE(follower.refresh(&view));
    long long last = 0;
    auto changes = Parse(view.sensor(0, 0, -1, &last))["changes"];
    ASSERT_EQ(changes.size(), (size_t)VIEW_CHANGES);
    const std::string newest = changes.back()["text"];
    EXPECT_NE(newest.find("INTLIM 22->23"), std::string::npos) << newest;
    EXPECT_EQ(Parse(view.line(0))["sensors"][0]["lastChange"]["text"], newest);
    EXPECT_TRUE(Parse(view.line(0))["sensors"][1]["lastChange"].is_null());

    std::ofstream(log, std::ios::app) << entry("outfeed", 50);
    EXPECT_TRUE(follower.refresh(&view));
    EXPECT_EQ(Parse(view.sensor(1, 0, -1, &last))["changes"].size(), 1u);
    std::filesystem::remove_all(folder);
}

TEST(WebAccess, ListenAddressesAndPasswords) {
    ListenAddress address;
    std::string why;
    ASSERT_TRUE(ParseListenAddress("8451", &address, &why));
    EXPECT_EQ(ShowAddress(address), "127.0.0.1:8451");
    EXPECT_TRUE(IsLoopback(address));
    ASSERT_TRUE(ParseListenAddress(":0", &address, &why));
    EXPECT_EQ(address.port, 0);
    ASSERT_TRUE(ParseListenAddress("localhost:80", &address, &why));
    EXPECT_TRUE(IsLoopback(address));
    ASSERT_TRUE(ParseListenAddress("0.0.0.0:8451", &address, &why));
    EXPECT_FALSE(IsLoopback(address));
    ASSERT_TRUE(ParseListenAddress("[::1]:8451", &address, &why));
    EXPECT_TRUE(IsLoopback(address));
    EXPECT_EQ(ShowAddress(address), "[::1]:8451");
    ASSERT_TRUE(ParseListenAddress("[::]:8451", &address, &why));
    EXPECT_FALSE(IsLoopback(address));
    for (const char *bad : {"", "hall-pc:8451", "1.2.3.4:", "1.2.3.4:65536", "1.2.3.4:8x",
                            "[::1:8451", "[::1]8451", "300.1.1.1:80"})
        EXPECT_FALSE(ParseListenAddress(bad, &address, &why)) << bad;

    EXPECT_TRUE(SamePassword("line9 secret", "line9 secret"));
    for (const char *other : {"", "line9 secreT", "line9 secret ", "line9"})
        EXPECT_FALSE(SamePassword(other, "line9 secret")) << other;

    std::string password;
    ASSERT_TRUE(BasicPassword("Basic b3BzOmxpbmU5IHNlY3JldA==", &password)); // ops:line9 secret
    EXPECT_EQ(password, "line9 secret");
    ASSERT_TRUE(BasicPassword("Basic OmE6Yg==", &password)); // ":a:b": the password holds a colon
    EXPECT_EQ(password, "a:b");
    for (const char *bad : {"", "Bearer b3BzOng=", "Basic b3Bz", "Basic b3BzOng===", "Basic ?!"})
        EXPECT_FALSE(BasicPassword(bad, &password)) << bad;
}
