// The line's commands and a borrower on a line that its service serves: the service lends them
// the sensors and takes them back by itself, what they changed is taken as the sensor's state,
// and a borrow holds across a restart of the service until the sensor is given back.
#include "gui/linepanel.h"
#include "support/serve_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

class ServedLine : public Serve {
  protected:
    void SetUp() override {
        Serve::SetUp();
        approved = TakeApproved();
    }
    bool startService(CommandRun *serve) {
        return serve->start({Bin("nvmxv451"), "serve", "--line", lineFile, "--state",
                             (scratch / "service").string()},
                            environment());
    }
    // The infeed's events, in order, as "event: message".
    std::vector<std::string> infeedEvents() {
        std::vector<std::string> events;
        for (const std::string &line :
             Lines(ReadText((scratch / "service" / "line9-events.jsonl").string()))) {
            const nlohmann::json event = nlohmann::json::parse(line);
            if (event["sensor"] == "infeed" && event["event"] != "not connected")
                events.push_back(event["event"].get<std::string>() + ": " +
                                 event["message"].get<std::string>());
        }
        return events;
    }
    // Frames of the sensor that come from now on.
    bool framesComeAgain(const char *sensor) {
        TestSubscriber fresh;
        return fresh.start(broker.port(), Topic(sensor, "frame")) &&
               fresh.waitFor(Message(Topic(sensor, "frame")), timeout);
    }
    std::string approved;
};

TEST_F(ServedLine, LineCommandsAreLentTheirSensorsWithTheSameOutput) {
    const CommandOutput unserved = run({"status", "--line", lineFile});
    CommandRun serve;
    ASSERT_TRUE(startService(&serve));
    for (const char *name : {"infeed", "outfeed"})
        ASSERT_TRUE(subscriber.waitFor(Message(Topic(name, "frame")), timeout)) << name;

    const CommandOutput served = run({"status", "--line", lineFile});
    EXPECT_EQ(served.exitCode, unserved.exitCode) << served.err;
    EXPECT_EQ(served.out, unserved.out);
    EXPECT_EQ(served.err, unserved.err);

    const std::string other = (scratch / "intlim30.dat").string();
    WriteText(other, WithLine(ReadText(approved), 5, 30)); // INTLIM 30
    const CommandOutput sent =
        run({"send", "--line", lineFile, "--sensor", "infeed", "--to", "ram", other});
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_TRUE(framesComeAgain("infeed")) << "served again after the send";
    const CommandOutput differs = run({"status", "--line", lineFile, "--sensor", "infeed"});
    EXPECT_EQ(differs.exitCode, 9) << differs.err;
    EXPECT_NE(differs.out.find("INTLIM"), std::string::npos) << differs.out;

    serve.signal(SIGTERM);
    EXPECT_EQ(serve.finish(timeout).exitCode, 0);
    // Lent and taken back twice (status, send, status); the send's change is the sensor's
    // state now, not a change made elsewhere.
    const std::vector<std::string> events = infeedEvents();
    int returnedChanged = 0;
    for (const std::string &event : events) {
        EXPECT_EQ(event.find("changed elsewhere"), std::string::npos) << event;
        EXPECT_EQ(event.find("replaced"), std::string::npos) << event;
        returnedChanged += event.find("returned: ") == 0 &&
                           event.find("changed: RAM: INTLIM 10->30") != std::string::npos;
    }
    EXPECT_EQ(returnedChanged, 1) << ::testing::PrintToString(events);
    EXPECT_EQ(
        std::count_if(events.begin(), events.end(),
                      [](const std::string &e) { return e.rfind("lent: to nvmxv451", 0) == 0; }),
        3)
        << ::testing::PrintToString(events);
}

TEST_F(ServedLine, ABorrowedSensorStaysOutOfTheServiceUntilGivenBack) {
    CommandRun serve;
    ASSERT_TRUE(startService(&serve));
    ASSERT_TRUE(subscriber.waitFor(Message(Topic("infeed", "frame")), timeout));
    const std::string control = (scratch / "line9-control.sock").string();
    const CommandOutput second = run({"serve", "--line", lineFile});
    EXPECT_EQ(second.exitCode, 4) << "a served line is not served twice";
    EXPECT_NE(second.err.find("the line is served already"), std::string::npos) << second.err;
    const std::string note = ServedSensorNote(control, lineFile, "infeed");
    EXPECT_NE(note.find("held by the line service"), std::string::npos) << note;
    EXPECT_NE(note.find("nvmxv451 borrow --line " + lineFile + " --sensor infeed"),
              std::string::npos)
        << note;

    const CommandOutput borrowed = run({"borrow", "--line", lineFile, "--sensor", "infeed"});
    EXPECT_EQ(borrowed.exitCode, 0) << borrowed.err;
    EXPECT_NE(borrowed.out.find("infeed: BORROWED: "), std::string::npos) << borrowed.out;
    EXPECT_EQ(ServedSensorNote(control, lineFile, "infeed"), "") << "lent, not held";
    EXPECT_EQ(run({"get", "--port", Stable("infeed"), "--from", "ram"}).exitCode, 0)
        << "the port is free for the borrower";
    const CommandOutput again = run({"borrow", "--line", lineFile, "--sensor", "infeed"});
    EXPECT_EQ(again.exitCode, 4);
    EXPECT_NE(again.err.find("borrowed already"), std::string::npos) << again.err;

    // A restart of the service leaves the borrowed sensor alone.
    serve.signal(SIGTERM);
    ASSERT_EQ(serve.finish(timeout).exitCode, 0);
    CommandRun restarted;
    ASSERT_TRUE(startService(&restarted));
    ASSERT_TRUE(framesComeAgain("outfeed"));
    EXPECT_EQ(run({"get", "--port", Stable("infeed"), "--from", "ram"}).exitCode, 0)
        << "still the borrower's after the restart";

    const CommandOutput given = run({"return", "--line", lineFile, "--sensor", "infeed"});
    EXPECT_EQ(given.exitCode, 0) << given.err;
    EXPECT_NE(given.out.find("infeed: RETURNED: "), std::string::npos) << given.out;
    EXPECT_TRUE(framesComeAgain("infeed"));
    const CommandOutput twice = run({"return", "--line", lineFile, "--sensor", "infeed"});
    EXPECT_EQ(twice.exitCode, 4);
    EXPECT_NE(twice.err.find("not borrowed"), std::string::npos) << twice.err;
    restarted.signal(SIGTERM);
    EXPECT_EQ(restarted.finish(timeout).exitCode, 0);

    // Without a service there is nobody to borrow from.
    const CommandOutput unserved = run({"borrow", "--line", lineFile, "--sensor", "infeed"});
    EXPECT_EQ(unserved.exitCode, 4);
    EXPECT_NE(unserved.err.find("is not served"), std::string::npos) << unserved.err;
    EXPECT_NE(infeedEvents().back().find("returned: from nvmxv451 borrow"), std::string::npos)
        << ::testing::PrintToString(infeedEvents());
}

// Changed while the service was away, on a port that shows no identity: the service cannot tell
// a swapped unit from a changed one, and a line that wants to hear of it first says
// on_replace = "alarm". The change is reported with its parameters and logged, the sensor left as
// it is; snapshot and restore then work through the running service, and the restore clears it.
TEST_F(ServedLine, AChangeWhileTheServiceWasAwayIsReportedAndLeftAlone) {
    WriteText(lineFile, ReadText(lineFile) + "\n[service]\non_replace = \"alarm\"\n");
    {
        CommandRun first;
        ASSERT_TRUE(startService(&first));
        ASSERT_TRUE(subscriber.waitFor(Message(Topic("infeed", "frame")), timeout));
        first.signal(SIGTERM);
        ASSERT_EQ(first.finish(timeout).exitCode, 0);
    }
    const std::string other = (scratch / "intlim30.dat").string();
    WriteText(other, WithLine(ReadText(approved), 5, 30)); // INTLIM 30
    ASSERT_EQ(
        run({"send", "--line", lineFile, "--sensor", "infeed", "--to", "eeprom", other}).exitCode,
        0);

    CommandRun serve;
    ASSERT_TRUE(startService(&serve));
    EXPECT_TRUE(subscriber.waitFor(
        [](const ReceivedMessage &m) {
            return m.topic == Topic("infeed", "alarms") &&
                   m.payload.find("\"alarm\":\"replaced\"") != std::string::npos &&
                   m.payload.find("EEPROM: INTLIM 10->30") != std::string::npos;
        },
        timeout));
    const CommandOutput held =
        run({"get", "--line", lineFile, "--sensor", "infeed", "--from", "eeprom"});
    EXPECT_EQ(held.exitCode, 0) << held.err;
    EXPECT_EQ(held.out, ReadText(other)) << "the EEPROM was left as it was found";

    const std::string snapshot = (scratch / "snapshot").string();
    const CommandOutput taken = run({"snapshot", "--line", lineFile, "-o", snapshot});
    EXPECT_EQ(taken.exitCode, 0) << taken.err;
    EXPECT_TRUE(fs::exists(fs::path(snapshot) / "manifest.json"));
    const CommandOutput restored = run({"restore", "--line", lineFile, "--sensor", "infeed"});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_TRUE(subscriber.waitFor(Message(Topic("infeed", "alarms"), ""), timeout))
        << "the approved set back, the alarm cleared";
    serve.signal(SIGTERM);
    EXPECT_EQ(serve.finish(timeout).exitCode, 0);

    const CommandOutput log = run({"log", "--sensor", "infeed"});
    EXPECT_NE(log.out.find("EEPROM from another unit (found by the line service): INTLIM 10->30; "
                           "left as it is, alarm raised"),
              std::string::npos)
        << log.out;
    EXPECT_NE(log.out.find("INTLIM 30->10; verified"), std::string::npos) << log.out;
}

} // namespace
