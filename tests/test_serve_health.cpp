// Health on the live line: the service watches a drifting emulator, raises the health's alarms
// on the broker and in its events with the frames' time stamps, publishes the figures retained,
// and evaluate --health on the service's own recording raises the same alarms at the same frames.
#include "support/serve_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

using Finding = std::tuple<std::string, std::string, std::string>; // time, alarm, level

TEST_F(Serve, TheLiveHealthAndTheCheckOfItsRecordingAgree) {
    // One taught colour, RED 90, GREEN 100, BLUE 110: X 75, Y 84, INT 93, band 83..103.
    const std::string taught = (scratch / "taught.dat").string();
    ASSERT_EQ(run({"get", "--port", Stable("infeed"), "--from", "ram", "-o", taught}).exitCode, 0);
    std::string text = ReadText(taught);
    for (const auto &[index, value] : std::vector<std::pair<size_t, int>>{
             {5, 5}, {7, 1}, {9, 75}, {10, 84}, {11, 8}, {12, 93}, {13, 10}})
        text = WithLine(text, index, value);
    WriteText(taught, text);
    // INT falls 30 units a minute after 6 s; windows of seconds, so that a test sees it.
    Plug("infeed", emulator({"--pace", "--fixed", "90,100,110", "--noise", "2", "--seed", "3",
                             "--drift-int", "-30", "--drift-after", "0.1"}));
    ASSERT_EQ(run({"send", "--port", Stable("infeed"), "--to", "ram", taught}).exitCode, 0);
    WriteText(lineFile, ReadText(lineFile) +
                            "\n[health]\nwindow_minutes = 0.05\nstable_minutes = 0.05\n"
                            "min_frames = 50\n");

    CommandRun serve;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(serve.start({Bin("nvmxv451"), "serve", "--line", lineFile, "--sensor", "infeed",
                             "--state", (scratch / "service").string()},
                            environment()));
    EXPECT_TRUE(subscriber.waitFor(
        [](const ReceivedMessage &m) {
            return m.topic == Topic("infeed", "health") &&
                   m.payload.find("\"band_index\":") != std::string::npos;
        },
        timeout));
    EXPECT_TRUE(subscriber.waitFor(
        [](const ReceivedMessage &m) {
            return m.topic == Topic("infeed", "alarms") &&
                   m.payload.find("\"alarm\":\"row 0 band margin\"") != std::string::npos &&
                   m.payload.find("clean the lens or check the LED") != std::string::npos;
        },
        60));
    serve.signal(SIGTERM);
    ASSERT_EQ(serve.finish(timeout).exitCode, 0);
    // At most once a second.
    const double served =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int healths = subscriber.count(Message(Topic("infeed", "health")));
    EXPECT_LE(healths, served + 1) << healths << " health payloads in " << served << " s";

    std::vector<Finding> live;
    for (const std::string &line :
         Lines(ReadText((scratch / "service" / "line9-events.jsonl").string()))) {
        const nlohmann::json event = nlohmann::json::parse(line);
        if (event.contains("level"))
            live.emplace_back(event["time"], event["event"], event["level"]);
    }
    std::vector<std::string> args = {"evaluate",     "--health", "--line", lineFile,
                                     "--parameters", taught,     "--json"};
    for (const auto &file : fs::directory_iterator(scratch / "service" / "recordings" / "infeed"))
        args.push_back(file.path().string());
    std::sort(args.begin() + 7, args.end());
    const CommandOutput checked = run(args);
    ASSERT_EQ(checked.exitCode, 0) << checked.err;
    std::vector<Finding> offline;
    const nlohmann::json report = nlohmann::json::parse(checked.out);
    for (const nlohmann::json &change : report["health"])
        offline.emplace_back(change["time"], change["alarm"], change["level"]);
    ASSERT_FALSE(live.empty());
    EXPECT_EQ(live, offline) << checked.out.substr(0, 3000);
}

} // namespace
