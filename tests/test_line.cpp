// The line: a line file of four emulated sensors (one silent, one drifted from its approved
// file, one that fails its verify), and the line commands status, snapshot, diff, restore and
// log on it, each checked through its JSON; snapshots whole after a SIGKILL; the change log of
// send.
#include "support/command.h"
#include "support/panel_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <thread>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const double timeout = 60.0;

// The JSON objects of a command's output, by sensor.
std::map<std::string, json> BySensor(const std::string &out) {
    std::map<std::string, json> objects;
    for (const std::string &line : Lines(out)) {
        json object = json::parse(line);
        objects[object.value("sensor", "")] = object;
    }
    return objects;
}

class Line : public CommandFixture {
  protected:
    Line() : CommandFixture("nvmx-line") {}

    std::string eeprom(const std::string &device) {
        return run({"get", "-p", device, "--from", "eeprom"}).out;
    }

    // infeed as approved, silent, drifted (its approved file has another X in row 0), outfeed
    // (its approved file has another MAXCOL-No., and its first write is stored spoilt).
    void makeLine() {
        for (const char *name : {"infeed", "silent", "drifted", "outfeed"}) {
            std::vector<std::string> options = {
                "--eeprom-file", (scratch / (std::string(name) + ".eeprom")).string()};
            if (std::string(name) == "silent")
                options.push_back("--silent");
            if (std::string(name) == "outfeed")
                options.insert(options.end(), {"--spoil-write", "1"});
            devices[name] = emulator(options);
            ASSERT_FALSE(devices[name].empty());
        }
        held = eeprom(devices["infeed"]);
        ASSERT_EQ(Lines(held).size(), 84u);
        approved = {{"infeed", held},
                    {"silent", held},
                    {"drifted", WithLine(held, 9, 100)},
                    {"outfeed", WithLine(held, 7, 5)}};
        fs::create_directory(scratch / "approved");
        std::string text = "# line 7 of hall 1\n[line]\nname = \"hall1-line7\"\n"
                           "log = \"line7.jsonl\"\n";
        for (const char *name : {"infeed", "silent", "drifted", "outfeed"}) {
            WriteText(scratch / "approved" / (std::string(name) + ".dat"), approved[name]);
            text += std::string("\n[[sensor]]\nname = \"") + name + "\"\nport = \"" +
                    devices[name] + "\"\napproved = \"approved/" + name + ".dat\"\n";
        }
        lineFile = (scratch / "line.toml").string();
        WriteText(lineFile, text);
    }

    std::map<std::string, std::string> devices, approved;
    std::string held, lineFile;
};

// The SHA-256 of a .dat file's 84 bytes, by the system's sha256sum.
std::string BlockSha256(const fs::path &file, const fs::path &scratch) {
    std::string bytes;
    for (const std::string &line : Lines(ReadText(file)))
        bytes += (char)std::stoi(line);
    WriteText(scratch / "block.bin", bytes);
    return RunCommand({"/usr/bin/sha256sum", (scratch / "block.bin").string()}, {}, timeout)
        .out.substr(0, 64);
}

TEST_F(Line, StatusSnapshotDiffRestoreAndLogOnFourSensors) {
    makeLine();
    CommandOutput status = run({"status", "--line", lineFile, "--json"});
    EXPECT_EQ(status.exitCode, 1) << "the silent sensor is the first failure";
    std::map<std::string, json> sensors = BySensor(status.out);
    ASSERT_EQ(sensors.size(), 4u) << status.out;
    EXPECT_EQ(sensors["infeed"]["status"], "IN STEP");
    EXPECT_EQ(sensors["infeed"]["in_step"], true);
    EXPECT_EQ(sensors["silent"]["status"], "TIMEOUT");
    EXPECT_EQ(sensors["drifted"]["exit"], 9);
    const json drift = sensors["drifted"]["eeprom_vs_approved"];
    ASSERT_EQ(drift.size(), 1u) << drift;
    EXPECT_EQ(drift[0]["name"], "COLOR TEACH TABLE row 0 X");
    EXPECT_EQ(drift[0]["old"], 100);
    EXPECT_EQ(drift[0]["new"], std::stoi(Lines(held)[9]));
    EXPECT_EQ(sensors["drifted"]["ram_vs_eeprom"].size(), 0u);

    // A snapshot of the three that answer; a second one never replaces it.
    const fs::path snap1 = scratch / "snap1";
    CommandOutput snapshot = run({"snapshot", "--line", lineFile, "-o", snap1.string(), "--json"});
    EXPECT_EQ(snapshot.exitCode, 1) << snapshot.err;
    const json manifest = json::parse(ReadText(snap1 / "manifest.json"));
    EXPECT_EQ(manifest["line"], "hall1-line7");
    ASSERT_EQ(manifest["sensors"].size(), 3u) << manifest;
    EXPECT_EQ(manifest["missing"][0]["name"], "silent");
    for (const json &sensor : manifest["sensors"]) {
        EXPECT_EQ(sensor["device"], devices[sensor["name"]]);
        EXPECT_EQ(sensor["identity"], "path:" + devices[sensor["name"]]);
        for (const char *memory : {"ram", "eeprom"})
            EXPECT_EQ(sensor[memory]["sha256"],
                      BlockSha256(snap1 / sensor[memory]["file"].get<std::string>(), scratch));
    }
    EXPECT_EQ(ReadText(snap1 / "drifted-eeprom.dat"), held);
    const std::string firstManifest = ReadText(snap1 / "manifest.json");
    EXPECT_EQ(
        run({"snapshot", "--line", lineFile, "--sensor", "infeed", "-o", snap1.string()}).exitCode,
        3);
    EXPECT_EQ(ReadText(snap1 / "manifest.json"), firstManifest);

    // diff: the sensors against their approved files, and two files.
    CommandOutput diff =
        run({"diff", "--line", lineFile, "--sensor", "infeed", "--sensor", "drifted", "--json"});
    EXPECT_EQ(diff.exitCode, 9);
    sensors = BySensor(diff.out);
    EXPECT_EQ(sensors["infeed"]["differences"].size(), 0u);
    EXPECT_EQ(sensors["drifted"]["differences"], drift);
    CommandOutput files = run({"diff", (scratch / "approved/infeed.dat").string(),
                               (scratch / "approved/outfeed.dat").string()});
    EXPECT_EQ(files.exitCode, 9);
    EXPECT_NE(files.out.find("MAXCOL-No.: " + std::to_string(std::stoi(Lines(held)[7])) + " -> 5"),
              std::string::npos)
        << files.out;
    EXPECT_EQ(run({"diff", (scratch / "approved/infeed.dat").string(),
                   (scratch / "approved/silent.dat").string()})
                  .exitCode,
              0);

    // A dry run writes nothing and logs nothing.
    const std::vector<std::string> movers = {"--line",   lineFile,  "--sensor", "drifted",
                                             "--sensor", "outfeed", "--json"};
    std::vector<std::string> dry = {"restore", "--dry-run"};
    dry.insert(dry.end(), movers.begin(), movers.end());
    CommandOutput dryRun = run(dry);
    EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err;
    EXPECT_EQ(BySensor(dryRun.out)["drifted"]["status"], "WOULD RESTORE");
    EXPECT_EQ(eeprom(devices["drifted"]), held);
    EXPECT_FALSE(fs::exists(scratch / "data/nvmxv451/changes.jsonl"));

    // Without a backup kept on disk nothing is written.
    const fs::path backups = scratch / "data/nvmxv451/backups";
    fs::create_directories(backups.parent_path());
    WriteText(backups, "in the way");
    CommandOutput unkept = run({"restore", "--line", lineFile, "--sensor", "drifted", "--json"});
    EXPECT_EQ(unkept.exitCode, 3) << unkept.out;
    EXPECT_EQ(BySensor(unkept.out)["drifted"]["status"], "NOT RESTORED");
    EXPECT_EQ(eeprom(devices["drifted"]), held);
    fs::remove(backups);

    // drifted takes its approved file into EEPROM and RAM; outfeed stores it spoilt in its
    // EEPROM, gets its backup back and its RAM is left alone.
    std::vector<std::string> restore = {"restore"};
    restore.insert(restore.end(), movers.begin(), movers.end());
    CommandOutput restored = run(restore);
    EXPECT_EQ(restored.exitCode, 10) << restored.out << restored.err;
    sensors = BySensor(restored.out);
    EXPECT_EQ(sensors["drifted"]["status"], "RESTORED");
    EXPECT_EQ(sensors["drifted"]["eeprom"]["status"], "RESTORED");
    EXPECT_EQ(sensors["drifted"]["ram"]["status"], "RESTORED");
    EXPECT_EQ(sensors["outfeed"]["status"], "ROLLED BACK");
    EXPECT_FALSE(sensors["outfeed"].contains("ram"));
    EXPECT_NE(sensors["outfeed"]["message"].get<std::string>().find("put back and verified"),
              std::string::npos);
    EXPECT_EQ(eeprom(devices["drifted"]), approved["drifted"]);
    EXPECT_EQ(run({"get", "-p", devices["drifted"], "--from", "ram"}).out, approved["drifted"]);
    EXPECT_EQ(eeprom(devices["outfeed"]), held);
    for (const char *sensor : {"drifted", "outfeed"})
        EXPECT_EQ(ReadText(sensors[sensor]["eeprom_backup"].get<std::string>()), held) << sensor;
    EXPECT_EQ(fs::path(sensors["outfeed"]["eeprom_backup"].get<std::string>()).parent_path(),
              backups);
    CommandOutput inStep = run({"status", "--line", lineFile, "--sensor", "drifted"});
    EXPECT_EQ(inStep.exitCode, 0) << inStep.out << inStep.err;

    // The log: four writes, in the user's log and the line's alike.
    CommandOutput log = run({"log", "--json"});
    EXPECT_EQ(log.exitCode, 0) << log.err;
    std::vector<std::string> entries = Lines(log.out);
    ASSERT_EQ(entries.size(), 4u) << log.out;
    EXPECT_EQ(run({"log", "--json", "--line", lineFile}).out, log.out);
    // The sensors are written at once: their lines come in either order.
    std::map<std::string, json> bySource;
    for (const std::string &entry : entries) {
        const json object = json::parse(entry);
        bySource[object.value("sensor", "") + " " + object.value("memory", "") + " " +
                 object.value("source", "")] = object;
    }
    const json
        first = bySource["drifted EEPROM " + (scratch / "approved/drifted.dat").string()],
        spoilt = bySource["outfeed EEPROM " + (scratch / "approved/outfeed.dat").string()],
        back = bySource["outfeed EEPROM " + sensors["outfeed"]["eeprom_backup"].get<std::string>()];
    EXPECT_EQ(first["changes"][0]["old"], drift[0]["new"]) << "the log goes from held to sent";
    EXPECT_EQ(first["verify"], "verified");
    EXPECT_EQ(spoilt["verify"].get<std::string>().rfind("failed", 0), 0u) << spoilt;
    EXPECT_EQ(back["verify"], "verified");
    EXPECT_EQ(back["changes"][0]["name"], "MAXCOL-No.");
    for (const char *field : {"time", "host", "user", "version", "port", "device", "memory"})
        EXPECT_TRUE(first.contains(field)) << field;
    EXPECT_EQ(Lines(run({"log", "--sensor", "outfeed"}).out).size(), 2u);
    EXPECT_EQ(run({"log", "--since", "2999-01-01"}).out, "");
    EXPECT_EQ(Lines(run({"log", "--until", "2999-01-01T00:00+01:00"}).out).size(), 4u);

    // The snapshot taken before the restore tells what it changed.
    const fs::path snap2 = scratch / "snap2";
    EXPECT_EQ(
        run({"snapshot", "--line", lineFile, "--sensor", "drifted", "-o", snap2.string()}).exitCode,
        0);
    CommandOutput snapshots = run({"diff", snap1.string(), snap2.string(), "--json"});
    EXPECT_EQ(snapshots.exitCode, 9);
    sensors = BySensor(snapshots.out);
    EXPECT_EQ(sensors["drifted"]["eeprom"][0]["new"], 100);
    EXPECT_EQ(sensors["drifted"]["ram"][0]["new"], 100) << "restore brought the RAM along";
    EXPECT_EQ(sensors["infeed"]["only_in"], "old");
}

TEST_F(Line, ASnapshotKilledAtAnyMomentIsWholeOrAbsent) {
    std::mt19937 random(20261208);
    int whole = 0;
    for (int attempt = 0; attempt < 6; attempt++) {
        // Sensors of their own: a run killed while it holds a pseudo-terminal leaves the line's
        // exclusive mode behind, since the emulator keeps its own end open.
        const std::string first = emulator({"--pace"}), second = emulator({"--pace"});
        const fs::path folder = scratch / ("snap" + std::to_string(attempt));
        CommandRun snapshot;
        ASSERT_TRUE(snapshot.start(
            {Bin("nvmxv451"), "snapshot", "-p", first, "-p", second, "-o", folder.string()},
            environment()));
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 700));
        snapshot.signal(SIGKILL);
        snapshot.finish(timeout);
        if (!fs::exists(folder))
            continue;
        const json manifest = json::parse(ReadText(folder / "manifest.json"));
        ASSERT_EQ(manifest["sensors"].size(), 2u);
        for (const json &sensor : manifest["sensors"])
            for (const char *memory : {"ram", "eeprom"})
                EXPECT_EQ(sensor[memory]["sha256"],
                          BlockSha256(folder / sensor[memory]["file"].get<std::string>(), scratch));
        whole++;
    }
    std::printf("%d of 6 killed snapshots were whole, the others absent\n", whole);
}

TEST_F(Line, ALineFileIsCheckedAndSensorsArePickedByName) {
    const std::string device = emulator();
    const fs::path file = scratch / "line.toml";
    auto refused = [&](const std::string &text, const std::string &why) {
        WriteText(file, text);
        CommandOutput check = run({"check", "--line", file.string()});
        EXPECT_EQ(check.exitCode, 2) << text;
        EXPECT_NE(check.err.find(why), std::string::npos) << check.err;
    };
    const std::string head = "[line]\nname = \"l7\"\n";
    const std::string sensor =
        "[[sensor]]\nname = \"a\"\nport = \"" + device + "\"\napproved = \"a.dat\"\n";
    refused(head + "[[sensor]\n", "line.toml:3:");
    refused(head + sensor + "speed = 3\n", "line.toml:7: unknown key 'speed'");
    refused(head + sensor + sensor, "a second sensor named 'a'");
    refused(head + "[[sensor]]\nname = \"a/b\"\nport = \"x\"\napproved = \"a.dat\"\n",
            "line.toml:4: the sensor name 'a/b' is not a plain word");
    refused(head + "[[sensor]]\nname = \"a\"\napproved = \"a.dat\"\n", "'port' is missing");

    WriteText(file, head + sensor);
    CommandOutput check = run({"check", "--line", file.string(), "--sensor", "a", "--json"});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_NE(check.out.find("\"sensor\":\"a\""), std::string::npos) << check.out;
    EXPECT_EQ(run({"check", "--line", file.string(), "--sensor", "b"}).exitCode, 2);
    EXPECT_EQ(run({"check", "--line", file.string(), "-p", device}).exitCode, 2);
}

TEST_F(Line, EverySendIsLoggedAndALogThatCannotBeWrittenIsTold) {
    const std::string device = emulator();
    const std::string block = eeprom(device);
    const fs::path set = scratch / "set.dat";
    WriteText(set, WithLine(block, 7, 9));
    CommandOutput send = run({"send", "-p", device, "--to", "ram", set.string(), "--backup",
                              (scratch / "before.dat").string(), "--verify"});
    EXPECT_EQ(send.exitCode, 0) << send.err;
    EXPECT_EQ(run({"send", "-p", device, "--to", "ram", set.string()}).exitCode, 0);
    std::vector<std::string> entries = Lines(run({"log", "--json"}).out);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(json::parse(entries[0])["changes"][0]["new"], 9);
    EXPECT_EQ(json::parse(entries[0])["verify"], "verified");
    EXPECT_EQ(json::parse(entries[1])["changes"], "unknown") << "no read preceded it";
    EXPECT_EQ(json::parse(entries[1])["verify"], "not verified");

    // The data folder is a file: the write stands, the lost log entry is told.
    fs::remove_all(scratch / "data");
    WriteText(scratch / "data", "");
    CommandOutput unlogged = run({"send", "-p", device, "--to", "ram", set.string(), "--json"});
    EXPECT_EQ(unlogged.exitCode, 0);
    EXPECT_NE(unlogged.err.find("the change log was not written"), std::string::npos);
    EXPECT_NE(unlogged.out.find("\"changelog\":\"the change log was not written"),
              std::string::npos)
        << unlogged.out;
}

} // namespace
