// Records that are never lost or misreported: the change log written ahead of a write that is
// killed, the readers of the program's own JSON files against values of the wrong kind and torn
// lines, snapshots that were tampered with, restore of both memories, and reports that say what
// happened (sensors never run, differences by side, impossible times, where telemetry goes).
#include "changes/changelog.h"
#include "changes/changelogread.h"
#include "changes/manifest.h"
#include "support/command.h"
#include "support/panel_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <random>
#include <sys/stat.h>
#include <thread>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool Contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

TEST(ChangeLogRead, LinesOfTheWrongKindAreReportedAndAWriteIsJoinedWithItsOutcome) {
    const std::string ahead = R"({"time":"2026-12-08T09:15:02.125+01:00","entry":"a1","phase":)"
                              R"("write","sensor":"s1","port":"COM1","device":"/dev/x",)"
                              R"("memory":"EEPROM","source":"/a.dat","backup":"/b.dat",)"
                              R"("changes":[{"name":"INTLIM","offset":9,"old":1e300,"new":4}]})";
    const std::string text =
        ahead + "\n" +
        R"({"time":"2026-12-08T09:15:03+01:00","entry":"a1","phase":"outcome","verify":"verified"})"
        "\n"
        // Values of the wrong kind, a line without changes, an array, a torn line.
        R"({"time":7,"sensor":"s1","port":"COM1","memory":"RAM","source":"","changes":[],"verify":""})"
        "\n"
        R"({"time":"t","sensor":null,"port":"COM1","memory":"RAM","source":"","changes":[],"verify":""})"
        "\n"
        R"({"time":"t","sensor":"s1","port":"COM1","memory":"RAM","source":"","verify":"x"})"
        "\n[1,2]\n"
        R"({"time":"2026-12-08T09:16:00+01:00","entry":"b2","phase":"write","sensor":"s2","port")"
        "\n"
        // A write whose outcome never came, and an outcome of no write.
        R"({"time":"2026-12-08T09:17:00+01:00","entry":"c3","phase":"write","sensor":"s3",)"
        R"("port":"COM3","device":"/dev/y","memory":"RAM","source":"/c.dat","changes":"unknown"})"
        "\n"
        R"({"time":"2026-12-08T09:17:01+01:00","entry":"zz","phase":"outcome","verify":"verified"})"
        "\n";
    const ChangeLogRead log = ReadChangeLog(text);
    ASSERT_EQ(log.writes.size(), 2u);
    EXPECT_EQ(DescribeLoggedWrite(log.writes[0]),
              "2026-12-08T09:15:02.125+01:00 s1 COM1 EEPROM from /a.dat (backup /b.dat): "
              "INTLIM 1e+300->4; verified");
    EXPECT_EQ(log.writes[0].json["outcome_time"], "2026-12-08T09:15:03+01:00");
    EXPECT_FALSE(log.writes[0].json.contains("phase"));
    EXPECT_EQ(log.writes[1].verify, outcomeUnknown);
    EXPECT_EQ(log.writes[1].line, 8);
    ASSERT_EQ(log.problems.size(), 6u);
    for (long line : {3, 4, 5, 6, 7, 9})
        EXPECT_TRUE(std::any_of(log.problems.begin(), log.problems.end(),
                                [&](const std::string &problem) {
                                    return problem.rfind("line " + std::to_string(line) +
                                                             ": not a change-log entry",
                                                         0) == 0;
                                }))
            << line;
}

TEST(ChangeLogAppend, ATornLastLineKeepsTheNextEntryOnALineOfItsOwn) {
    const fs::path folder = MakeScratchDirectory("nvmx-torn");
    const std::string path = (folder / "changes.jsonl").string();
    WriteText(path, R"({"time":"2026-12-08T09:15:02+01:00","entry":"a1","phase":"wri)");
    ChangeEntry entry;
    entry.sensor = "s1";
    entry.memory = MEMORY_RAM;
    entry.id = "b2";
    std::string why;
    ASSERT_TRUE(AppendLogLine(path, WriteAheadLine(entry), &why)) << why;
    ASSERT_TRUE(AppendLogLine(path, OutcomeLine(entry, "verified"), &why)) << why;
    const ChangeLogRead log = ReadChangeLog(ReadText(path));
    ASSERT_EQ(log.writes.size(), 1u);
    EXPECT_EQ(log.writes[0].verify, "verified");
    ASSERT_EQ(log.problems.size(), 1u);
    EXPECT_EQ(log.problems[0].rfind("line 1:", 0), 0u);

    ASSERT_EQ(mkfifo((folder / "fifo.jsonl").c_str(), 0600), 0);
    EXPECT_FALSE(AppendLogLine((folder / "fifo.jsonl").string(), "{}\n", &why));
    EXPECT_TRUE(Contains(why, "FIFO")) << why;
    fs::remove_all(folder);
}

TEST(SnapshotManifest, AManifestIsTakenOnlyWithValuesOfItsKindAndTheSnapshotsOwnNames) {
    const std::string sha(64, 'a');
    auto manifest = [&](const std::string &name, const std::string &file) {
        return R"({"line":"l7","sensors":[{"name":")" + name +
               R"(","port":"COM1","device":"/dev/x","ram":{"file":")" + file + R"(","sha256":")" +
               sha + R"("},"eeprom":{"file":")" + name + R"(-eeprom.dat","sha256":")" + sha +
               R"("}}]})";
    };
    SnapshotManifestRead read;
    std::string why;
    EXPECT_TRUE(ParseSnapshotManifest(manifest("infeed", "infeed-ram.dat"), &read, &why)) << why;
    ASSERT_EQ(read.sensors.size(), 1u);
    EXPECT_EQ(read.sensors[0].sha256[1], sha);
    for (const std::string &bad :
         {std::string(R"({"line":"l7","sensors":null})"), std::string(R"({"sensors":[]})"),
          std::string(R"({"line":"l7","sensors":[3]})"), manifest("..", "..-ram.dat"),
          manifest("infeed", "../../etc/passwd"), manifest("infeed", "outfeed-ram.dat"),
          std::string("[]")})
        EXPECT_FALSE(ParseSnapshotManifest(bad, &read, &why)) << bad;
    std::string twice = manifest("a", "a-ram.dat");
    twice.insert(twice.rfind(']'),
                 "," + twice.substr(twice.find('[') + 1, twice.rfind(']') - twice.find('[') - 1));
    EXPECT_FALSE(ParseSnapshotManifest(twice, &read, &why));
    EXPECT_TRUE(Contains(why, "listed twice")) << why;
}

class LineRecords : public CommandFixture {
  protected:
    LineRecords() : CommandFixture("nvmx-records") {}

    std::string memory(const std::string &device, const char *which) {
        return run({"get", "-p", device, "--from", which}).out;
    }

    // A line of one sensor on device whose approved file holds MAXCOL-No. value.
    std::string lineOf(const std::string &name, const std::string &device, int value,
                       const std::string &lineName = "l7") {
        const std::string held = memory(device, "eeprom");
        EXPECT_EQ(Lines(held).size(), 84u);
        WriteText(scratch / (name + ".dat"), WithLine(held, 7, value));
        const fs::path file = scratch / (name + ".toml");
        WriteText(file, "[line]\nname = \"" + lineName + "\"\nlog = \"" + name +
                            ".jsonl\"\n\n[[sensor]]\nname = \"" + name + "\"\nport = \"" + device +
                            "\"\napproved = \"" + name + ".dat\"\n");
        return file.string();
    }
};

TEST_F(LineRecords, AWriteKilledAtAnyMomentIsInTheLogAheadOfIt) {
    std::mt19937 random(20261209);
    int reached = 0, interrupted = 0;
    for (int attempt = 0; attempt < 8; attempt++) {
        const std::string name = "s" + std::to_string(attempt);
        const fs::path eepromFile = scratch / (name + ".eeprom");
        const std::string device = emulator({"--pace", "--eeprom-file", eepromFile.string()});
        const std::string line = lineOf(name, device, 7);
        CommandRun restore;
        ASSERT_TRUE(restore.start({Bin("nvmxv451"), "restore", "--line", line, "--to", "eeprom"},
                                  environment()));
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 900));
        restore.signal(SIGKILL);
        restore.finish(60);
        // The sensor holds the new block once its EEPROM file does.
        if (!fs::exists(eepromFile) || ReadText(eepromFile) != ReadText(scratch / (name + ".dat")))
            continue;
        reached++;
        const ChangeLogRead log = ReadChangeLog(ReadText(scratch / (name + ".jsonl")));
        ASSERT_EQ(log.writes.size(), 1u) << "attempt " << attempt;
        EXPECT_EQ(log.writes[0].source, (scratch / (name + ".dat")).string());
        EXPECT_TRUE(Contains(log.writes[0].backup, "/backups/" + name + "-EEPROM-"));
        interrupted += log.writes[0].verify == outcomeUnknown;
        if (log.writes[0].verify == outcomeUnknown) {
            CommandOutput shown = run({"log", "--line", line});
            EXPECT_TRUE(Contains(shown.out, "; interrupted: outcome unknown")) << shown.out;
        }
    }
    std::printf("%d of 8 killed restores had reached the sensor (%d before their outcome), "
                "each in the log\n",
                reached, interrupted);
}

TEST_F(LineRecords, ATamperedOrForeignSnapshotIsRefusedWithItsReason) {
    const std::string device = emulator();
    const std::string line = lineOf("infeed", device, 7);
    const fs::path snap = scratch / "snap";
    ASSERT_EQ(run({"snapshot", "--line", line, "-o", snap.string()}).exitCode, 0);
    const std::string manifest = ReadText(snap / "manifest.json");
    const std::string ram = ReadText(snap / "infeed-ram.dat");
    auto restoreFails = [&](const std::vector<std::string> &more, const std::string &why) {
        std::vector<std::string> args = {"restore", "--snapshot", snap.string()};
        args.insert(args.end(), more.begin(), more.end());
        CommandOutput restore = run(args);
        EXPECT_EQ(restore.exitCode, 3) << why << ": " << restore.out << restore.err;
        EXPECT_TRUE(Contains(restore.out + restore.err, why)) << restore.out << restore.err;
    };
    // The sensor moves away from the snapshot, so a restore that is let through writes.
    ASSERT_EQ(
        run({"send", "-p", device, "--to", "ram", (scratch / "infeed.dat").string()}).exitCode, 0);

    WriteText(snap / "infeed-ram.dat", WithLine(ram, 7, 1));
    restoreFails({"--line", line}, "its checksum is not the manifest's");
    restoreFails({"--line", line, "--force"}, "its checksum is not the manifest's");
    WriteText(snap / "infeed-ram.dat", ram);

    std::string wrong = manifest;
    const size_t sha = wrong.find("\"sha256\": \"") + 11;
    wrong[sha] = wrong[sha] == '0' ? '1' : '0';
    WriteText(snap / "manifest.json", wrong);
    restoreFails({"--line", line}, "its checksum is not the manifest's");

    fs::remove(snap / "manifest.json");
    restoreFails({"--line", line}, "has no manifest.json");
    ASSERT_EQ(mkfifo((snap / "manifest.json").c_str(), 0600), 0);
    restoreFails({"--line", line}, "FIFO");
    CommandOutput fifo = run({"diff", snap.string(), snap.string()});
    EXPECT_EQ(fifo.exitCode, 3) << "a FIFO is never waited on";
    fs::remove(snap / "manifest.json");

    // Another line's snapshot is taken only with --force.
    WriteText(snap / "manifest.json", manifest);
    const std::string other = lineOf("infeed", device, 7, "l8");
    restoreFails({"--line", other}, "the snapshot is of line 'l7', not of 'l8' (--force takes it)");
    // Given from the snapshot's own folder, its files are logged by their absolute paths.
    std::vector<std::string> env = environment();
    CommandOutput forced =
        RunCommand({"/bin/sh", "-c",
                    "cd '" + scratch.string() + "' && exec '" + Bin("nvmxv451") +
                        "' restore --snapshot snap --line '" + other + "' --force"},
                   env, 60);
    EXPECT_EQ(forced.exitCode, 0) << forced.out << forced.err;
    EXPECT_EQ(memory(device, "ram"), ram);
    const ChangeLogRead log = ReadChangeLog(ReadText(scratch / "infeed.jsonl"));
    ASSERT_FALSE(log.writes.empty());
    EXPECT_EQ(log.writes.back().source, (snap / "infeed-ram.dat").string());
}

TEST_F(LineRecords, RestoreBringsBothMemoriesAndReportsTellWhatHappened) {
    const std::string device = emulator(), silent = emulator({"--silent"}), third = emulator();
    const std::string line = lineOf("infeed", device, 9);
    const std::string approved = ReadText(scratch / "infeed.dat");

    CommandOutput differs = run({"status", "--line", line});
    EXPECT_EQ(differs.exitCode, 9);
    EXPECT_TRUE(Contains(differs.out, "DIFFERS")) << "the finding is the report: " << differs.err;
    EXPECT_TRUE(Contains(differs.out, "EEPROM vs approved: MAXCOL-No. approved 9 -> EEPROM "))
        << differs.out;

    CommandOutput restored = run({"restore", "--line", line, "--json"});
    EXPECT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    const json result = json::parse(restored.out);
    EXPECT_EQ(result["eeprom"]["status"], "RESTORED");
    EXPECT_EQ(result["ram"]["status"], "RESTORED");
    EXPECT_TRUE(Contains(result["message"], "1 difference,")) << result["message"];
    EXPECT_EQ(memory(device, "ram"), approved);
    EXPECT_EQ(memory(device, "eeprom"), approved);
    EXPECT_EQ(run({"status", "--line", line}).exitCode, 0);

    // A sensor after a failure is not run, and says so in its exit code.
    WriteText(scratch / "three.toml",
              "[line]\nname = \"l7\"\n\n[[sensor]]\nname = \"a\"\nport = \"" + silent +
                  "\"\napproved = \"infeed.dat\"\n\n[[sensor]]\nname = \"b\"\nport = \"" + third +
                  "\"\napproved = \"infeed.dat\"\n");
    CommandOutput stopped = run(
        {"restore", "--line", (scratch / "three.toml").string(), "--stop-on-failure", "--json"});
    EXPECT_EQ(stopped.exitCode, 1);
    std::map<std::string, json> sensors;
    for (const std::string &text : Lines(stopped.out))
        sensors[json::parse(text)["sensor"]] = json::parse(text);
    EXPECT_EQ(sensors["b"]["status"], "NOT RUN");
    EXPECT_EQ(sensors["b"]["ok"], false);
    EXPECT_EQ(sensors["b"]["exit"], 12);

    // Times that cannot be are refused.
    for (const char *time : {"2026-13-45", "2026-12-08T25:99", "2026-02-30", "2026-12-08T09:15x"})
        EXPECT_EQ(run({"log", "--since", time}).exitCode, 2) << time;
    EXPECT_EQ(run({"log", "--since", "2026-12-08T23:59:59+01:00"}).exitCode, 0);

    // A broker remembered by the panel is named with where it was remembered.
    fs::create_directories(scratch / "Quarnet");
    WriteText(scratch / "Quarnet/nvmxv451.conf", "[mqtt]\nhost=127.0.0.1\nport=1\n");
    CommandOutput told = run({"check", "-p", device});
    EXPECT_TRUE(Contains(told.err, "telemetry to 127.0.0.1:1 (set by the panel's remembered "
                                   "settings in " +
                                       (scratch / "Quarnet/nvmxv451.conf").string()))
        << told.err;
    EXPECT_FALSE(Contains(run({"check", "-p", device, "--no-mqtt"}).err, "telemetry to"));
}

TEST_F(LineRecords, LogAndDiffReportWhatTheyCannotUseAndNeverAbort) {
    const fs::path logFile = scratch / "odd.jsonl";
    WriteText(logFile, "{\"time\":[1],\"sensor\":2}\nnull\n{\"sensor\":\"a\"}\n");
    CommandOutput log = run({"log", "--file", logFile.string()});
    EXPECT_EQ(log.exitCode, 0) << log.err;
    EXPECT_EQ(Lines(log.err).size(), 3u) << log.err;
    EXPECT_TRUE(Contains(log.err, "line 3: not a change-log entry (no time), skipped")) << log.err;

    for (const char *manifest : {R"({"line":"l","sensors":null})", R"({"line":1,"sensors":[]})",
                                 R"({"line":"l","sensors":[{"name":"../../x"}]})"}) {
        for (const char *folder : {"m1", "m2"}) {
            fs::create_directories(scratch / folder);
            WriteText(scratch / folder / "manifest.json", manifest);
        }
        CommandOutput diff = run({"diff", (scratch / "m1").string(), (scratch / "m2").string()});
        EXPECT_EQ(diff.exitCode, 3) << manifest << diff.out;
        EXPECT_TRUE(Contains(diff.err, "no snapshot manifest")) << diff.err;
    }
}

} // namespace
