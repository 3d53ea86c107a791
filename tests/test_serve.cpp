// The line service against emulators behind stable names and a real broker: a sensor pulled is
// told at once and offline meanwhile, plugged back it is served again by itself, and the other
// sensor of the line never stops; every connection and loss is an event.
#include "support/serve_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

TEST_F(Serve, APulledSensorIsToldAtOnceAndServedAgainWhenItIsBack) {
    CommandRun serve;
    std::vector<std::string> environment = this->environment();
    ASSERT_TRUE(serve.start({Bin("nvmxv451"), "serve", "--line", lineFile}, environment));
    for (const char *name : {"infeed", "outfeed"}) {
        EXPECT_TRUE(subscriber.waitFor(Message(Topic(name, "status"), "online"), timeout)) << name;
        EXPECT_TRUE(subscriber.waitFor(Message(Topic(name, "frame")), timeout)) << name;
    }

    // Pulled: the emulator ends and its stable name dangles.
    emulators[0]->signal(SIGTERM);
    emulators[0]->finish(timeout);
    fs::remove(Stable("infeed"));
    fs::create_symlink(Stable("infeed") + "-gone", Stable("infeed"));
    EXPECT_TRUE(subscriber.waitFor(Message(Topic("infeed", "status"), "offline"), timeout));
    EXPECT_TRUE(subscriber.waitFor(
        [](const ReceivedMessage &m) {
            return m.topic == Topic("infeed", "state") &&
                   m.payload.find("\"LINE LOST\"") != std::string::npos;
        },
        timeout));
    // The loss is an event on the broker and an alarm, retained, until the sensor is back.
    EXPECT_TRUE(subscriber.waitFor(
        [](const ReceivedMessage &m) {
            return m.topic == Topic("infeed", "events") &&
                   m.payload.find("\"event\":\"lost\"") != std::string::npos;
        },
        timeout));
    EXPECT_TRUE(subscriber.waitFor(
        [](const ReceivedMessage &m) {
            return m.topic == Topic("infeed", "alarms") &&
                   m.payload.find("\"alarm\":\"lost\"") != std::string::npos;
        },
        timeout));
    // The other sensor goes on meanwhile.
    const int outfeedBefore = Frames("outfeed");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_GT(Frames("outfeed"), outfeedBefore) << "the other sensor stopped";

    // Plugged back, another pseudo-terminal behind the same stable name. Frames are not
    // retained: what a new subscriber gets of them came after the plug.
    TestSubscriber afterPlug;
    ASSERT_TRUE(afterPlug.start(broker.port(), Topic("infeed", "frame")));
    const auto plugged = Clock::now();
    Plug("infeed", emulator({"--pace"}));
    ASSERT_TRUE(afterPlug.waitFor(Message(Topic("infeed", "frame")), timeout));
    const double back = std::chrono::duration<double>(Clock::now() - plugged).count();
    std::printf("served again %.2f s after the device was back\n", back);
    EXPECT_LT(back, 2.0 * 2) << "about 2 s at most, with room for a loaded machine";
    EXPECT_TRUE(subscriber.waitFor(Message(Topic("infeed", "status"), "online"), timeout));
    EXPECT_TRUE(subscriber.waitFor(Message(Topic("infeed", "alarms"), ""), timeout))
        << "the alarm cleared";

    serve.signal(SIGTERM);
    const CommandOutput ended = serve.finish(timeout);
    EXPECT_EQ(ended.exitCode, 0) << ended.err;
    EXPECT_NE(ended.out.find("infeed"), std::string::npos) << ended.out;
    EXPECT_NE(ended.out.find("2 connections"), std::string::npos) << ended.out;

    std::vector<std::string> events;
    for (const std::string &line : Lines(ReadText((scratch / "line9-events.jsonl").string()))) {
        const nlohmann::json event = nlohmann::json::parse(line);
        if (event["sensor"] == "infeed")
            events.push_back(event["event"]);
    }
    EXPECT_EQ(events,
              (std::vector<std::string>{"connected", "lost", "not connected", "connected"}));
    // Every frame of both sensors went to whole files under recordings/SENSOR/.
    for (const char *name : {"infeed", "outfeed"}) {
        ASSERT_TRUE(fs::is_directory(scratch / "recordings" / name)) << name;
        for (const auto &file : fs::directory_iterator(scratch / "recordings" / name))
            EXPECT_EQ(ReadText(file.path().string()).back(), '\n') << file.path();
    }
}

// A unit swapped in behind the stable name while the service was away, whose port shows no
// identity of its own, holds another EEPROM: a replacement, restored to the approved set by the
// default policy, logged ahead in the change log; the state folder holds what it holds now.
TEST_F(Serve, AReplacedSensorIsRestoredToTheApprovedSet) {
    const std::string approved = TakeApproved();
    ASSERT_FALSE(HasFailure());
    CommandRun serve;
    ASSERT_TRUE(serve.start({Bin("nvmxv451"), "serve", "--line", lineFile, "--sensor", "infeed",
                             "--state", (scratch / "service").string()},
                            environment()));
    ASSERT_TRUE(subscriber.waitFor(Message(Topic("infeed", "frame")), timeout));

    emulators[0]->signal(SIGTERM);
    emulators[0]->finish(timeout);
    EXPECT_TRUE(subscriber.waitFor(Message(Topic("infeed", "status"), "offline"), timeout));
    const std::string other = (scratch / "other-eeprom.dat").string();
    WriteText(other, WithLine(ReadText(approved), 5, 30)); // INTLIM 30
    TestSubscriber afterPlug;
    ASSERT_TRUE(afterPlug.start(broker.port(), Topic("infeed", "frame")));
    Plug("infeed", emulator({"--pace", "--eeprom", other}));
    ASSERT_TRUE(afterPlug.waitFor(Message(Topic("infeed", "frame")), timeout));
    serve.signal(SIGTERM);
    const CommandOutput ended = serve.finish(timeout);
    EXPECT_EQ(ended.exitCode, 0) << ended.err;

    EXPECT_EQ(ReadText(other), ReadText(approved)) << "the unit's EEPROM holds the approved set";
    std::vector<std::string> events;
    std::string replaced;
    for (const std::string &line :
         Lines(ReadText((scratch / "service" / "line9-events.jsonl").string()))) {
        const nlohmann::json event = nlohmann::json::parse(line);
        // Whether the service looked before the unit was plugged in is a matter of timing.
        if (event["event"] != "not connected")
            events.push_back(event["event"]);
        if (event["event"] == "replaced")
            replaced = event["message"];
    }
    EXPECT_EQ(events,
              (std::vector<std::string>{"connected", "lost", "connected", "replaced", "restored"}));
    EXPECT_NE(replaced.find("EEPROM: INTLIM 10->30"), std::string::npos) << replaced;
    const CommandOutput told = run({"events", "--line", lineFile, "--state",
                                    (scratch / "service").string(), "--sensor", "infeed"});
    EXPECT_EQ(told.exitCode, 0) << told.err;
    EXPECT_NE(told.out.find(" infeed replaced: EEPROM: INTLIM 10->30"), std::string::npos)
        << told.out;
    const CommandOutput log = run({"log", "--sensor", "infeed"});
    EXPECT_NE(log.out.find("EEPROM from " + approved), std::string::npos) << log.out;
    EXPECT_NE(log.out.find("INTLIM 30->10; verified"), std::string::npos) << log.out;
    const std::string state = ReadText((scratch / "service" / "state" / "infeed.json").string());
    EXPECT_NE(state.find("\"eeprom\":["), std::string::npos) << state;
}

// Killed at random moments while both sensors record, again and again: every recording file
// holds whole lines only, and every state file can be read.
TEST_F(Serve, AKillAtAnyMomentLeavesRecordingsAndStateWhole) {
    const unsigned seed = (unsigned)std::chrono::system_clock::now().time_since_epoch().count();
    std::printf("seed %u\n", seed);
    std::mt19937 random(seed);
    const fs::path state = scratch / "service";
    for (int kill = 0; kill < 8; kill++) {
        CommandRun serve;
        ASSERT_TRUE(
            serve.start({Bin("nvmxv451"), "serve", "--line", lineFile, "--state", state.string()},
                        environment()));
        if (kill == 0) {
            ASSERT_TRUE(subscriber.waitFor(Message(Topic("outfeed", "frame")), timeout));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1200));
        serve.signal(SIGKILL);
        serve.finish(timeout);
    }
    int files = 0;
    for (const char *name : {"infeed", "outfeed"}) {
        for (const auto &file : fs::directory_iterator(state / "recordings" / name)) {
            const std::string text = ReadText(file.path().string());
            ++files;
            if (text.empty())
                continue;
            EXPECT_EQ(text.back(), '\n') << file.path();
            const std::vector<std::string> lines = Lines(text);
            const auto fields = std::count(lines[0].begin(), lines[0].end(), ',');
            for (const std::string &line : lines)
                EXPECT_EQ(std::count(line.begin(), line.end(), ','), fields) << file.path();
        }
        const std::string seen =
            ReadText((state / "state" / (std::string(name) + ".json")).string());
        EXPECT_TRUE(nlohmann::json::parse(seen, nullptr, false).is_object()) << seen;
    }
    EXPECT_GE(files, 2);
}

} // namespace
