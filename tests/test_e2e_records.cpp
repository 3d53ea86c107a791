// The round trip of a recording: the real program records the emulator's frames, the emulator
// replays the file, the program records the replay, and both files hold the same frames.
#include "support/panel_fixture.h"
#include "support/xsession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace {

const char panelTitle[] = "Nevalometrix V4.51";
const double timeout = 30.0;
const size_t minimumFrames = 200;

namespace fs = std::filesystem;

std::vector<std::string> Lines(const fs::path &path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The seven values of a frame line: the fields after time and seconds, before the port.
std::string Values(const std::string &line) {
    size_t from = line.find(',', line.find(',') + 1) + 1;
    return line.substr(from, line.rfind(',') - from);
}

bool PollUntil(const std::function<bool()> &done, double seconds) {
    double end = MonotonicSeconds() + seconds;
    while (!done()) {
        if (MonotonicSeconds() > end)
            return false;
        usleep(20000);
    }
    return true;
}

class RecordRoundTrip : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch = MakeScratchDirectory("nvmx-records-");
        ASSERT_FALSE(scratch.empty());
        // The recording folder as the program remembers it.
        fs::create_directories(scratch / "config/Quarnet");
        std::ofstream(scratch / "config/Quarnet/nvmxv451.conf")
            << "[recording]\nfolder=" << (scratch / "records").string() << "\n";
        ASSERT_TRUE(x.start());
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    }

    // The recordings in the folder, oldest name first.
    std::vector<fs::path> Recordings() const {
        std::vector<fs::path> files;
        if (fs::is_directory(scratch / "records"))
            for (const auto &entry : fs::directory_iterator(scratch / "records"))
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    // Runs the program against an emulator with these options and records one transfer: F8,
    // F11, then F12 once the file holds enough frames, or, for a transfer that ends by itself,
    // the time-out report closed; F8 again. Returns the new file.
    fs::path RecordTransfer(const std::vector<std::string> &emulatorOptions, bool endsByItself) {
        ChildProcess emulator;
        ChildProcess program;
        std::vector<std::string> argv = {BinDir() + "/sensor-emulator"};
        argv.insert(argv.end(), emulatorOptions.begin(), emulatorOptions.end());
        std::string device;
        EXPECT_TRUE(emulator.startReadingFirstLine(argv, {}, &device));
        EXPECT_TRUE(
            program.start({BinDir() + "/nvmxv451"},
                          {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=", "NVMX_COM1=" + device,
                           "XDG_CONFIG_HOME=" + (scratch / "config").string()}));
        unsigned long panel = x.waitForWindow(panelTitle, timeout);
        EXPECT_NE(panel, 0u);
        if (panel == 0)
            return {};
        const size_t before = Recordings().size();
        EXPECT_TRUE(x.pressKey(panel, "F8"));
        EXPECT_TRUE(PollUntil([&] { return Recordings().size() == before + 1; }, timeout));
        fs::path file = Recordings().empty() ? fs::path() : Recordings().back();
        EXPECT_TRUE(x.pressKey(panel, "F11"));
        if (endsByItself) {
            // After the last replayed frame the sensor falls silent: the time-out report.
            unsigned long report = x.waitForWindow("INFO", timeout);
            EXPECT_NE(report, 0u) << "the replay did not end";
            x.closeWindow(report);
            EXPECT_TRUE(PollUntil([&] { return x.findWindow("INFO") == 0; }, timeout));
        } else {
            EXPECT_TRUE(PollUntil([&] { return Lines(file).size() > minimumFrames; }, timeout));
            EXPECT_TRUE(x.pressKey(panel, "F12"));
        }
        EXPECT_TRUE(x.pressKey(panel, "F8"));
        EXPECT_TRUE(x.closeWindow(panel));
        EXPECT_EQ(program.wait(timeout), 0);
        return file;
    }

    fs::path scratch;
    XSession x;
};

TEST_F(RecordRoundTrip, AReplayedRecordingRecordsTheSameFrames) {
    fs::create_directories(scratch / "records");
    fs::path original = RecordTransfer({"--seed", "7"}, false);
    std::vector<std::string> first = Lines(original);
    ASSERT_GT(first.size(), minimumFrames);

    fs::path replayed = RecordTransfer({"--replay", original.string()}, true);
    std::vector<std::string> second = Lines(replayed);
    ASSERT_EQ(second.size(), first.size());
    EXPECT_EQ(second[0], first[0]);
    for (size_t i = 1; i < first.size(); i++)
        ASSERT_EQ(Values(second[i]), Values(first[i])) << "line " << i + 1;
    std::printf("frames recorded and replayed: %zu\n", first.size() - 1);
}

} // namespace
