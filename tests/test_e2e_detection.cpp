// Teaching, tuning and checking from recordings, end to end: the emulator presents three noisy
// colours on a pseudo-terminal, the real program records each, tune makes a table from them,
// the table goes to the emulator, and evaluate finds the program's model giving every frame of
// a new recording the C-No the emulator sent.
#include "com232/parameterfile.h"
#include "plant/commands.h"
#include "sensor/wire.h"
#include "support/command.h"
#include "support/panel_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

const double timeout = 60.0; // a loaded two-core machine
const int colours[3][3] = {{200, 60, 40}, {60, 180, 60}, {50, 60, 190}};

// Runs a command in this process with argv after "nvmxv451"; its standard output in *out.
int RunHere(int (*command)(int, char **), std::vector<std::string> args, std::string *out) {
    args.insert(args.begin(), "nvmxv451");
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    testing::internal::CaptureStdout();
    const int code = command((int)argv.size(), argv.data());
    *out = testing::internal::GetCapturedStdout();
    return code;
}

class TuneAndEvaluate : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch = MakeScratchDirectory("nvmx-e2e-detection-");
        ASSERT_FALSE(scratch.empty());
        std::vector<std::string> argv = {Bin("sensor-emulator"), "--noise", "4", "--seed", "3"};
        for (const auto &rgb : colours) {
            argv.push_back("--colour");
            argv.push_back(std::to_string(rgb[0]) + "," + std::to_string(rgb[1]) + "," +
                           std::to_string(rgb[2]));
        }
        ASSERT_TRUE(emulator.start(argv, {}));
        device = emulator.waitForFirstLine(timeout);
        ASSERT_FALSE(device.empty()) << "the emulator did not start";
    }
    void TearDown() override { fs::remove_all(scratch); }

    // No mapped ports, no broker, settings of the test's own.
    std::vector<std::string> environment() const {
        return {"NVMX_COM1=", "DISPLAY=", "QT_QPA_PLATFORM=", "XDG_CONFIG_HOME=" + scratch,
                "HOME=" + scratch};
    }
    std::vector<std::string> record(const std::string &file, const char *seconds) const {
        return {Bin("nvmxv451"), "record", "-p", device,     "--seconds",
                seconds,         "--out",  file, "--no-mqtt"};
    }
    // The emulator presents its next colour.
    void nextColour() {
        emulator.signal(SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }

    std::string scratch, device;
    CommandRun emulator;
};

TEST_F(TuneAndEvaluate, ATableTunedFromRecordingsDetectsEveryFrameTheEmulatorSends) {
    std::vector<std::string> files;
    for (int row = 0; row < 3; ++row) {
        files.push_back(scratch + "/colour" + std::to_string(row) + ".csv");
        CommandOutput recorded = RunCommand(record(files.back(), "1"), environment(), timeout);
        ASSERT_EQ(recorded.exitCode, 0) << recorded.out << recorded.err;
        nextColour();
    }

    const std::string tuned = scratch + "/tuned.dat";
    std::string out;
    ASSERT_EQ(RunHere(RunTuneCommand,
                      {"tune", "--row", "0", files[0], "--row", "1", files[1], "--row", "2",
                       files[2], "-o", tuned},
                      &out),
              0)
        << out;
    std::printf("%s", out.c_str());
    unsigned char block[BLOCK_LENGTH];
    ASSERT_EQ(ReadParameterFile(tuned.c_str(), block), 0) << LastParameterFileError();
    for (int row = 0; row < 3; ++row) {
        // The means lie within a unit of the noiseless colour's X, Y and INT.
        const int sum = colours[row][0] + colours[row][1] + colours[row][2];
        EXPECT_NEAR(block[TeachCellOffset(row + 1, COL_X)], 255 * colours[row][0] / sum, 1);
        EXPECT_NEAR(block[TeachCellOffset(row + 1, COL_Y)], 255 * colours[row][1] / sum, 1);
        EXPECT_NEAR(block[TeachCellOffset(row + 1, COL_INT)], sum / 4 + sum / 16, 1);
        // Every frame of the row's own recording lies inside its tolerances.
        ASSERT_EQ(RunHere(RunEvaluateCommand,
                          {"evaluate", "--parameters", tuned, files[row], "--json"}, &out),
                  0);
        EXPECT_NE(out.find("\"distribution\":{\"" + std::to_string(row) + "\":"), std::string::npos)
            << out;
        EXPECT_EQ(out.find("\"255\":"), std::string::npos) << out;
    }

    // The tuned table in the emulator's RAM; a recording through all three colours agrees frame
    // for frame with the program's model.
    CommandOutput sent =
        RunCommand({Bin("nvmxv451"), "send", "-p", device, "--to", "ram", tuned, "--no-mqtt"},
                   environment(), timeout);
    ASSERT_EQ(sent.exitCode, 0) << sent.out << sent.err;
    const std::string mixed = scratch + "/mixed.csv";
    CommandRun recording;
    ASSERT_TRUE(recording.start(record(mixed, "2"), environment()));
    for (int step = 0; step < 2; ++step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        nextColour();
    }
    CommandOutput recorded = recording.finish(timeout);
    ASSERT_EQ(recorded.exitCode, 0) << recorded.out << recorded.err;
    ASSERT_EQ(RunHere(RunEvaluateCommand, {"evaluate", "--parameters", tuned, mixed}, &out), 0);
    std::printf("%s", out.c_str());
    EXPECT_NE(out.find("frames, 100.00 %"), std::string::npos) << out;
    EXPECT_EQ(out.find("first frames that differ"), std::string::npos) << out;

    // A file is never replaced without --force; colours that collide write nothing.
    EXPECT_EQ(RunHere(RunTuneCommand, {"tune", "--row", "0", files[0], "-o", tuned}, &out), 3);
    EXPECT_EQ(
        RunHere(RunTuneCommand, {"tune", "--row", "0", files[0], "-o", tuned, "--force"}, &out), 0);
    const std::string clash = scratch + "/clash.dat";
    EXPECT_EQ(
        RunHere(RunTuneCommand,
                {"tune", "--row", "0", files[0], "--row", "1", files[0], "-o", clash, "--json"},
                &out),
        PLANT_EXIT_NOT_SEPARATED);
    EXPECT_NE(out.find("\"colliding\":[{\"row\":0,\"intruder\":{\"file\":\"" + files[0]),
              std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists(clash));
}

} // namespace
