// A line of two emulated sensors, "infeed" and "outfeed", behind stable names that a test can
// unplug and plug again, with a real broker and a subscriber to the line's topics: the ground of
// the line service's tests.
#pragma once

#include "support/broker.h"
#include "support/command.h"

#include <filesystem>
#include <string>

inline const double timeout = 20.0; // a loaded two-core machine
inline const char prefix[] = "plant/line9";

inline std::string Topic(const char *sensor, const char *leaf) {
    return std::string(prefix) + "/" + sensor + "/" + leaf;
}

class Serve : public CommandFixture {
  protected:
    Serve() : CommandFixture("nvmx-serve") {}
    void SetUp() override {
        CommandFixture::SetUp();
        ASSERT_TRUE(broker.start()) << broker.error();
        ASSERT_TRUE(subscriber.start(broker.port(), std::string(prefix) + "/#"));
        std::string text = "[line]\nname = \"line9\"\n\n[broker]\nhost = \"127.0.0.1\"\nport = " +
                           std::to_string(broker.port()) + "\nprefix = \"" + prefix + "\"\n";
        for (const char *name : {"infeed", "outfeed"}) {
            Plug(name, emulator({"--pace"}));
            text += std::string("\n[[sensor]]\nname = \"") + name + "\"\nport = \"" + Stable(name) +
                    "\"\napproved = \"approved.dat\"\n";
        }
        lineFile = (scratch / "line.toml").string();
        WriteText(lineFile, text);
    }
    void TearDown() override {
        subscriber.stop();
        broker.stop();
        CommandFixture::TearDown();
    }
    // The sensor's stable name, as /dev/serial/by-id gives one to an adapter.
    std::string Stable(const char *name) const { return (scratch / name).string(); }
    void Plug(const char *name, const std::string &device) {
        std::filesystem::remove(Stable(name));
        std::filesystem::create_symlink(device, Stable(name));
    }
    int Frames(const char *sensor) { return subscriber.count(Message(Topic(sensor, "frame"))); }
    // The line's approved.dat taken from the infeed's EEPROM; its path.
    std::string TakeApproved() {
        const std::string approved = (scratch / "approved.dat").string();
        EXPECT_EQ(
            run({"get", "--port", Stable("infeed"), "--from", "eeprom", "-o", approved}).exitCode,
            0);
        return approved;
    }

    TestBroker broker;
    TestSubscriber subscriber;
    std::string lineFile;
};
