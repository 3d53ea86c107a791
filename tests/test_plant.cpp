// The headless commands (check, get, send, record) over pseudo-terminals, against the sensor
// emulator and scripted peers: results, exit codes and the files they leave.
#include "support/command.h"
#include "support/panel_fixture.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const double timeout = 60.0; // a loaded two-core machine

std::string BlockText(const Bytes &block) {
    std::string text;
    char line[16];
    for (unsigned char byte : block) {
        std::snprintf(line, sizeof line, "%5u\n", byte);
        text += line;
    }
    return text;
}

class Plant : public CommandFixture {
  protected:
    Plant() : CommandFixture("nvmx-plant") {}
};

TEST_F(Plant, CheckGetSendAndVerifyAgainstTheEmulator) {
    const std::string device = emulator({"--eeprom-file", (scratch / "eeprom.dat").string()});

    CommandOutput check = run({"check", "--port", device});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_NE(check.out.find("LINE OK"), std::string::npos) << check.out;

    const fs::path ram = scratch / "ram.dat";
    CommandOutput get = run({"get", "--port", device, "--from", "ram", "-o", ram.string()});
    ASSERT_EQ(get.exitCode, 0) << get.err;
    std::string text = ReadText(ram);
    ASSERT_EQ(Lines(text).size(), 84u) << text;

    // One changed teach cell, sent to the EEPROM with a backup of what it held.
    std::vector<std::string> lines = Lines(text);
    lines[20] = lines[20] == "    7" ? "    8" : "    7";
    std::string changed;
    for (const std::string &line : lines)
        changed += line + "\n";
    const fs::path set = scratch / "set.dat", backup = scratch / "backup.dat";
    WriteText(set, changed);
    const std::string eepromBefore = run({"get", "-p", device, "--from", "eeprom"}).out;
    CommandOutput send = run({"send", "--port", device, "--to", "eeprom", set.string(), "--verify",
                              "--backup", backup.string(), "--json"});
    EXPECT_EQ(send.exitCode, 0) << send.out << send.err;
    EXPECT_NE(send.out.find("\"ok\":true"), std::string::npos) << send.out;
    EXPECT_NE(send.out.find("verified"), std::string::npos) << send.out;
    EXPECT_EQ(ReadText(backup), eepromBefore) << "the backup holds the EEPROM before the send";

    // get without -o prints the file's very form on standard output.
    CommandOutput printed = run({"get", "-p", device, "--from", "eeprom"});
    EXPECT_EQ(printed.exitCode, 0) << printed.err;
    EXPECT_EQ(printed.out, changed);
}

TEST_F(Plant, SeveralPortsRunAtOnceAndReportEachInOrder) {
    const std::string first = emulator(), second = emulator();
    PtyPeer silent;
    ASSERT_TRUE(silent.start(SilentPeer()));

    CommandOutput check =
        run({"check", "-p", first, "-p", silent.slavePath(), "-p", second, "--json"});
    EXPECT_EQ(check.exitCode, 1) << "the silent sensor fails the run";
    std::vector<std::string> lines = Lines(check.out);
    ASSERT_EQ(lines.size(), 3u) << check.out;
    EXPECT_NE(lines[0].find("\"device\":\"" + first + "\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("\"ok\":true"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("\"status\":\"TIMEOUT\""), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("\"exit\":1"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("\"ok\":true"), std::string::npos) << lines[2];

    // Each sensor's file carries the sensor's name, taken from its device ("/dev/pts/4" is
    // "pts-4") whatever the order of the ports.
    for (const auto &ports : {std::pair{first, second}, std::pair{second, first}}) {
        CommandOutput get = run({"get", "-p", ports.first, "-p", ports.second, "--from", "ram",
                                 "--json", "-o", (scratch / "line.dat").string()});
        EXPECT_EQ(get.exitCode, 0) << get.err;
        for (const std::string &device : {first, second}) {
            const std::string name = "pts-" + device.substr(device.rfind('/') + 1);
            const fs::path file = scratch / ("line-" + name + ".dat");
            EXPECT_EQ(Lines(ReadText(file)).size(), 84u) << file;
            EXPECT_NE(get.out.find("\"sensor\":\"" + name + "\",\"port\":"), std::string::npos)
                << get.out;
            fs::remove(file);
        }
    }

    EXPECT_EQ(run({"check", "-p", first, "-p", first}).exitCode, 2) << "a port given twice";
    EXPECT_EQ(run({"get", "-p", first, "-p", second, "--from", "ram"}).exitCode, 2)
        << "two blocks cannot both go to standard output";
}

TEST_F(Plant, FailuresAreClearAndLeaveNothingHalfDone) {
    // A bad file is refused before the port is even opened.
    PtyPeer peer;
    ASSERT_TRUE(peer.start(AnswerLikeASensor()));
    const fs::path bad = scratch / "bad.dat";
    WriteText(bad, BlockText(Bytes(83, 1)));
    CommandOutput refused = run({"send", "-p", peer.slavePath(), "--to", "ram", bad.string()});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("PARAMETER FILE NOT LOADED"), std::string::npos) << refused.err;
    EXPECT_TRUE(peer.received().empty()) << "nothing reached the line";

    // A short block: the reply's length is named, and no file is written.
    const std::string shortBlock = emulator({"--param-short"});
    const fs::path out = scratch / "short.dat";
    CommandOutput get = run({"get", "-p", shortBlock, "--from", "ram", "-o", out.string()});
    EXPECT_EQ(get.exitCode, 1);
    EXPECT_NE(get.err.find("83 bytes came back, 84 expected"), std::string::npos) << get.err;
    EXPECT_FALSE(fs::exists(out));

    // The read-back differs in MAXCOL-No.: the first differing parameter is named.
    Bytes sent(84, 2), held = sent;
    held[7] = 9;
    peer.setScript(AnswerLikeASensor(held));
    const fs::path set = scratch / "set.dat";
    WriteText(set, BlockText(sent));
    CommandOutput verify =
        run({"send", "-p", peer.slavePath(), "--to", "ram", set.string(), "--verify"});
    EXPECT_EQ(verify.exitCode, 6);
    EXPECT_NE(verify.err.find("byte 7 (MAXCOL-No.): sent 2"), std::string::npos) << verify.err;

    // The cable is pulled while the backup is read: line lost, nothing sent, no backup file.
    PtyPeer pulled;
    PeerReply late{Bytes(84, 1), 5.0};
    ASSERT_TRUE(pulled.start([late](const PeerRequest &request) {
        if (request.bytes == Bytes{0x55, 0x07})
            return PeerReply{{0xAA}};
        return request.bytes == Bytes{0x55, 0x03} ? late : PeerReply{};
    }));
    const fs::path backup = scratch / "backup.dat";
    CommandRun send;
    ASSERT_TRUE(send.start({Bin("nvmxv451"), "send", "-p", pulled.slavePath(), "--to", "ram",
                            set.string(), "--backup", backup.string()},
                           environment()));
    ASSERT_TRUE(pulled.waitForRequests(2, timeout));
    pulled.stop();
    CommandOutput lost = send.finish(timeout);
    EXPECT_EQ(lost.exitCode, 5) << lost.err;
    EXPECT_NE(lost.err.find("LINE LOST"), std::string::npos) << lost.err;
    EXPECT_FALSE(fs::exists(backup));
}

// The frames of a CSV recording, after checking that every line is whole.
size_t WholeFrames(const fs::path &path) {
    const std::string text = ReadText(path);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "the last line is whole";
    std::vector<std::string> lines = Lines(text);
    EXPECT_EQ(lines.at(0), "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port");
    for (size_t i = 1; i < lines.size(); i++)
        EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','), 9) << lines[i];
    return lines.size() - 1;
}

TEST_F(Plant, RecordingEndsWithItsFileWhole) {
    const std::string device = emulator();
    const fs::path interrupted = scratch / "interrupted.csv";
    CommandRun record;
    ASSERT_TRUE(record.start(
        {Bin("nvmxv451"), "record", "-p", device, "--out", interrupted.string(), "--json"},
        environment()));
    // Interrupted once frames have reached the file.
    for (double waited = 0; waited < timeout && Lines(ReadText(interrupted)).size() < 3;
         waited += 0.05)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    record.signal(SIGINT);
    CommandOutput ended = record.finish(timeout);
    EXPECT_EQ(ended.exitCode, 0) << ended.err;
    const size_t frames = WholeFrames(interrupted);
    EXPECT_GT(frames, 1u);
    EXPECT_NE(ended.out.find("\"frames\":" + std::to_string(frames) + ","), std::string::npos)
        << ended.out << " vs " << frames;

    // A file that exists is never written over.
    EXPECT_EQ(run({"record", "-p", device, "--out", interrupted.string()}).exitCode, 3);
    EXPECT_EQ(WholeFrames(interrupted), frames);

    // The line goes away after 40 frames: exit 5, and the file keeps exactly those.
    const std::string hangsUp = emulator({"--hangup-after", "40"});
    const fs::path lost = scratch / "lost.csv";
    CommandOutput cut = run({"record", "-p", hangsUp, "--out", lost.string()});
    EXPECT_EQ(cut.exitCode, 5) << cut.err;
    EXPECT_EQ(WholeFrames(lost), 40u);
}

// Commands say what happened: a relative link to the device works, get -o leaves an existing
// file alone unless told, every command answers --version, and a signal during a verify's
// settling wait is an interruption, never a mismatch.
TEST_F(Plant, CommandsNeverMislead) {
    const std::string device = emulator();
    const fs::path here = fs::current_path();
    fs::current_path(scratch);
    fs::create_directory("odd");
    fs::create_symlink(device, "odd/plain");
    CommandOutput relative = run({"check", "-p", "odd/plain"});
    fs::current_path(here);
    EXPECT_EQ(relative.exitCode, 0) << relative.err;

    const fs::path out = scratch / "held.dat";
    WriteText(out, "kept\n");
    CommandOutput refused = run({"get", "-p", device, "--from", "ram", "-o", out.string()});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("exists already"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadText(out), "kept\n");
    EXPECT_EQ(run({"get", "-p", device, "--from", "ram", "-o", out.string(), "--force"}).exitCode,
              0);
    EXPECT_EQ(Lines(ReadText(out)).size(), 84u);

    for (const char *command : {"check", "send", "record", "status", "tune"}) {
        CommandOutput version = run({command, "--version"});
        EXPECT_EQ(version.exitCode, 0) << command << ": " << version.err;
        EXPECT_EQ(version.out.rfind("nvmxv451 ", 0), 0u) << command << ": " << version.out;
    }

    // A port that another run holds names that run, not only the sensor's own end of the line.
    CommandRun holder;
    ASSERT_TRUE(holder.start({Bin("nvmxv451"), "record", "-p", device, "--out",
                              (scratch / "held.csv").string(), "--no-mqtt"},
                             environment()));
    for (double waited = 0; waited < timeout && Lines(ReadText(scratch / "held.csv")).size() < 2;
         waited += 0.05)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CommandOutput busy = run({"check", "-p", device, "--no-mqtt"});
    EXPECT_EQ(busy.exitCode, 4);
    EXPECT_NE(busy.err.find("program 'nvmxv451' (pid " + std::to_string(holder.pid()) + ")"),
              std::string::npos)
        << busy.err;
    holder.signal(SIGTERM);
    holder.finish(timeout);

    // The EEPROM settles for 1.5 s before the verify's read; the signal comes within it.
    CommandRun send;
    ASSERT_TRUE(send.start({Bin("nvmxv451"), "send", "-p", device, "--to", "eeprom", out.string(),
                            "--verify", "--json"},
                           environment()));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    send.signal(SIGTERM);
    CommandOutput interrupted = send.finish(timeout);
    EXPECT_EQ(interrupted.exitCode, 11) << interrupted.out << interrupted.err;
    EXPECT_NE(interrupted.out.find("\"status\":\"INTERRUPTED\""), std::string::npos)
        << interrupted.out;
}

// The processes whose parent is pid.
std::vector<int> ChildrenOf(int pid) {
    std::vector<int> children;
    for (const fs::directory_entry &entry : fs::directory_iterator("/proc")) {
        std::ifstream status(entry.path() / "status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("PPid:", 0) == 0 && std::stoi(line.substr(5)) == pid)
                children.push_back(std::stoi(entry.path().filename().string()));
    }
    return children;
}

// Four sensors record in the one process, each on a thread of its own, and one SIGTERM ends
// them all with every file whole.
TEST_F(Plant, SeveralPortsRecordInOneProcessAndOneSignalEndsThemAll) {
    std::vector<std::string> argv = {Bin("nvmxv451"), "record", "--json",
                                     "--no-mqtt",     "--out",  (scratch / "line.csv").string()};
    for (int i = 0; i < 4; i++) {
        argv.push_back("-p");
        argv.push_back(emulator());
    }
    CommandRun record;
    ASSERT_TRUE(record.start(argv, environment()));
    std::vector<fs::path> files;
    auto recordedEverywhere = [&] {
        files.clear();
        for (const fs::directory_entry &entry : fs::directory_iterator(scratch))
            if (entry.path().extension() == ".csv" && Lines(ReadText(entry.path())).size() >= 3)
                files.push_back(entry.path());
        return files.size() == 4;
    };
    for (double waited = 0; waited < timeout && !recordedEverywhere(); waited += 0.05)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(files.size(), 4u) << "every sensor records";
    EXPECT_TRUE(ChildrenOf(record.pid()).empty()) << "no process per port";
    EXPECT_GE(std::distance(
                  fs::directory_iterator(fs::path("/proc") / std::to_string(record.pid()) / "task"),
                  fs::directory_iterator()),
              5)
        << "a thread per port";
    record.signal(SIGTERM);
    CommandOutput ended = record.finish(timeout);
    EXPECT_EQ(ended.exitCode, 0) << ended.err;
    EXPECT_EQ(std::count(ended.out.begin(), ended.out.end(), '\n'), 4) << ended.out;
    for (const fs::path &file : files) {
        const size_t frames = WholeFrames(file);
        EXPECT_NE(ended.out.find("\"frames\":" + std::to_string(frames) + ","), std::string::npos)
            << file << ": " << frames << " frames\n"
            << ended.out;
    }
}

} // namespace
