// The headless commands given inputs that are not what they seem: paths and options longer than
// the program holds, names that are not UTF-8, FIFOs, devices and endless files where a file is
// wanted, broker settings that cannot work. Each is refused at once with its true reason and a
// non-zero exit, or taken exactly as given; none is cut, waited on or read without end.
#include "platform/system/arguments.h"
#include "platform/system/settings.h"
#include "platform/system/telemetrysettings.h"
#include "support/command.h"
#include "support/panel_fixture.h"
#include "telemetry/telemetry.h"
#include "textforms/dumpjson.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const double timeout = 60.0; // a loaded two-core machine

class OddInputs : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch = MakeScratchDirectory("nvmx-inputs");
        ASSERT_FALSE(scratch.empty());
    }
    void TearDown() override {
        emulatorRun.reset();
        fs::remove_all(scratch);
    }

    std::string emulator() {
        emulatorRun = std::make_unique<CommandRun>();
        EXPECT_TRUE(emulatorRun->start({Bin("sensor-emulator")}, {}));
        std::string device = emulatorRun->waitForFirstLine(timeout);
        EXPECT_FALSE(device.empty()) << "the emulator did not start";
        return device;
    }

    CommandOutput run(const std::vector<std::string> &args) {
        std::vector<std::string> argv = {Bin("nvmxv451")};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunCommand(argv,
                          {"NVMX_COM1=", "DISPLAY=", "QT_QPA_PLATFORM=",
                           "XDG_CONFIG_HOME=" + scratch, "HOME=" + scratch},
                          timeout);
    }

    std::string scratch;
    std::unique_ptr<CommandRun> emulatorRun;
};

// The remembered broker password is the user's alone, also after other settings are saved.
TEST_F(OddInputs, TheRememberedPasswordIsReadableByTheUserAlone) {
    setenv("XDG_CONFIG_HOME", scratch.c_str(), 1);
    InitSettings("Quarnet", "nvmxv451-private");
    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    std::snprintf(config.password, sizeof config.password, "secret");
    SaveTelemetrySettings(&config);
    SetSettingText("recording/folder", "/tmp");
    struct stat facts {};
    const std::string file = QSettings().fileName().toStdString();
    ASSERT_EQ(stat(file.c_str(), &facts), 0) << file;
    EXPECT_EQ(facts.st_mode & 077, 0u) << std::oct << facts.st_mode;
    TelemetryConfig loaded;
    LoadTelemetrySettings(&loaded);
    EXPECT_STREQ(loaded.password, "secret");
}

// A path or an option that does not fit is refused whole: cut, it would name another file.
TEST_F(OddInputs, TooLongPathsAndOptionsAreRefusedNotCut) {
    const std::string folder = scratch + "/" + std::string(200, 'd');
    ASSERT_TRUE(fs::create_directory(folder));
    const std::string longPath = folder + "/" + std::string(100, 'f') + ".dat";
    // What the first 259 bytes would name: an existing file that must stay as it is.
    const std::string cut = longPath.substr(0, 259);
    WriteText(cut, "keep\n");
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"get", "--port", "/dev/ttyS0", "--from", "ram", "-o", longPath},
             {"send", "--port", "/dev/ttyS0", "--to", "ram", longPath},
             {"send", "--port", "/dev/ttyS0", "--to", "ram", "--backup", longPath, cut},
             {"record", "--port", "/dev/ttyS0", "--out", longPath},
             {"check", "--port", "/dev/ttyS0", "--mqtt-prefix", std::string(300, 'p')},
             {"check", "--port", "/dev/ttyS0", "--mqtt-client-id", std::string(300, 'c')}}) {
        CommandOutput result = run(args);
        EXPECT_EQ(result.exitCode, 2)
            << args[0] << " " << args[args.size() - 2] << ": " << result.err;
        EXPECT_NE(result.err.find("is too long"), std::string::npos) << result.err;
    }
    EXPECT_EQ(ReadText(cut), "keep\n");
}

// Names that are not UTF-8 reach the file system byte for byte: the file sent is the one named,
// the file written has the name given.
TEST_F(OddInputs, NamesThatAreNotUtf8AreOpenedAndWrittenAsGiven) {
    const std::string device = emulator();
    const std::string got = scratch + "/out\xff.dat";
    CommandOutput get = run({"get", "--port", device, "--from", "ram", "-o", got, "--json"});
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_TRUE(fs::is_regular_file(got));
    // The JSON line stays valid UTF-8: the byte travels as the escape of U+DC00 + byte.
    EXPECT_NE(get.out.find("out\\udcff.dat\""), std::string::npos) << get.out;
    ASSERT_EQ(rename(got.c_str(), (scratch + "/good\xfe.dat").c_str()), 0);
    CommandOutput send = run({"send", "--port", device, "--to", "ram", scratch + "/good\xfe.dat"});
    EXPECT_EQ(send.exitCode, 0) << send.err;
    size_t files = 0;
    for (const auto &entry : fs::directory_iterator(scratch))
        files += entry.path().filename() == "good\xfe.dat";
    EXPECT_EQ(files, 1u);

    // The arguments' text form keeps every byte.
    const char bytes[] = "a\xff\xc3\xa9\xed\xa0\x80\xf0\x9f\x99\x82z";
    EXPECT_EQ(ArgumentBytes(ArgumentText(bytes)).toStdString(), std::string(bytes));
    EXPECT_EQ(DumpJson(bytes), "\"a\\udcff\xc3\xa9\\udced\\udca0\\udc80\xf0\x9f\x99\x82z\"");
}

// Where a file is wanted, a FIFO, a device or an endless file is refused at once with its kind.
TEST_F(OddInputs, FifosDevicesAndHugeFilesAreRefusedAtOnce) {
    const std::string fifo = scratch + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CommandOutput send = run({"send", "--port", emulator(), "--to", "ram", fifo});
    EXPECT_EQ(send.exitCode, 3) << send.err;
    EXPECT_NE((send.out + send.err).find("a FIFO, not a file"), std::string::npos) << send.err;

    const std::string huge = scratch + "/huge";
    WriteText(huge, "secret\n");
    ASSERT_EQ(truncate(huge.c_str(), 300L * 1024 * 1024), 0); // sparse: costs no disk
    for (const auto &[file, reason] :
         std::vector<std::pair<std::string, std::string>>{{"/dev/zero", "a device, not a file"},
                                                          {fifo, "a FIFO, not a file"},
                                                          {huge, "larger than 4096 bytes"}}) {
        CommandOutput result = run({"check", "--port", "/dev/ttyS0", "--mqtt-password-file", file});
        EXPECT_EQ(result.exitCode, 2) << file << ": " << result.err;
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    }
}

// Broker settings that cannot work say why before any connection is tried.
TEST_F(OddInputs, BrokerSettingsThatCannotWorkSayWhy) {
    CommandOutput rate = run({"check", "--port", "/dev/ttyS0", "--mqtt-rate", "nan"});
    EXPECT_EQ(rate.exitCode, 2) << rate.err;
    EXPECT_NE(rate.err.find("--mqtt-rate"), std::string::npos) << rate.err;

    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    std::snprintf(config.host, sizeof config.host, "127.0.0.1");
    std::snprintf(config.clientId, sizeof config.clientId, "line\x01one");
    EXPECT_NE(StartTelemetry(&config, "COM1"), 0);
    EXPECT_NE(std::string(LastTelemetryError()).find("client id holds a control character"),
              std::string::npos)
        << LastTelemetryError();
    config.clientId[0] = '\0';
    for (const auto &[file, reason] : std::vector<std::pair<std::string, std::string>>{
             {scratch, "a directory, not a file"}, {"/dev/zero", "a device, not a file"}}) {
        std::snprintf(config.caFile, sizeof config.caFile, "%s", file.c_str());
        EXPECT_NE(StartTelemetry(&config, "COM1"), 0) << file;
        EXPECT_NE(std::string(LastTelemetryError()).find(reason), std::string::npos)
            << LastTelemetryError();
    }
}

} // namespace
