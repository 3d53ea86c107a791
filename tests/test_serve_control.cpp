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
        approved = (scratch / "approved.dat").string();
        ASSERT_EQ(run({"get", "--port", Stable("infeed"), "--from", "eeprom", "-o", approved})
                      .exitCode,
                  0);
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
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const std::string &e) { return e.rfind("lent: to nvmxv451", 0) == 0; }),
              3)
        << ::testing::PrintToString(events);
}

TEST_F(ServedLine, ABorrowedSensorStaysOutOfTheServiceUntilGivenBack) {
    CommandRun serve;
    ASSERT_TRUE(startService(&serve));
    ASSERT_TRUE(subscriber.waitFor(Message(Topic("infeed", "frame")), timeout));
    const std::string control = (scratch / "line9-control.sock").string();
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

} // namespace
