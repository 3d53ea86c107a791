// Inputs that once broke the line commands: device names longer than a sensor name may be, NULs,
// deep nesting and characters the TOML parser mishandles in a line file, a recording far beyond
// the size limit or opened by a byte-order mark, a topic prefix under the broker's own '$'.
#include "detection/readrecording.h"
#include "files/regularfile.h"
#include "line/linefile.h"
#include "line/sensorname.h"
#include "support/command.h"
#include "telemetry/setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

class LineInputs : public CommandFixture {
  protected:
    LineInputs() : CommandFixture("nvmx-line-inputs") {}

    // The line file text parsed as scratch/line.toml; why is "" when it was taken.
    std::string refusal(const std::string &text) {
        LineFile line;
        std::string why;
        return ParseLineFile(text, (scratch / "line.toml").c_str(), &line, &why) ? "" : why;
    }
};

const std::string lineHead = "[line]\nname = \"l7\"\n";
const std::string oneSensor =
    "[[sensor]]\nname = \"a\"\nport = \"/dev/ttyS0\"\napproved = \"a.dat\"\n";

// Two CP2102N adapters whose 98-byte by-id names differ only in the serial number's middle.
std::string ById(const char *serialMiddle) {
    return std::string("usb-Silicon_Labs_CP2102N_USB_to_UART_Bridge_Controller_a8b3d9b2") +
           serialMiddle + "b0f0c1e0a1b2c3d4-if00-port0";
}

TEST_F(LineInputs, LongDeviceNamesGiveFittingDistinctStableNames) {
    const fs::path byId = scratch / "dev" / "serial" / "by-id";
    fs::create_directories(byId);
    const std::string first = ById("e4c1ed11"), second = ById("e4c1ed12");
    ASSERT_EQ(first.size(), 98u);
    for (const char *tty : {"ttyUSB0", "ttyUSB1", "ttyUSB2"})
        WriteText(scratch / "dev" / tty, "");
    fs::create_symlink("../../ttyUSB0", byId / first);
    fs::create_symlink("../../ttyUSB1", byId / second);
    const std::string root = scratch.string();

    const std::string a = SensorNameOfDevice((scratch / "dev" / "ttyUSB0").string(), root);
    const std::string b = SensorNameOfDevice((scratch / "dev" / "ttyUSB1").string(), root);
    for (const std::string &name : {a, b}) {
        EXPECT_TRUE(IsSensorName(name)) << name << " (" << name.size() << " bytes)";
        EXPECT_EQ(name.rfind("usb-Silicon_Labs_CP2102N", 0), 0u) << name;
        EXPECT_EQ(name.substr(name.size() - 11), "-if00-port0") << name;
    }
    EXPECT_NE(a, b);
    // Pinned: a sensor keeps its name in logs and topics across versions and machines.
    EXPECT_EQ(a, "usb-Silicon_Labs_CP2102N_USB.7bb20d1b.f0c1e0a1b2c3d4-if00-port0");
    // The same device by its by-id path, and again: the same name.
    EXPECT_EQ(SensorNameOfDevice((byId / first).string(), root), a);
    EXPECT_EQ(SensorNameOfDevice((scratch / "dev" / "ttyUSB0").string(), root), a);
    EXPECT_EQ(SensorNameOfDevice((scratch / "dev" / "ttyUSB2").string(), root), "ttyUSB2");

    // Short names stay as they were; a long one fits and differs from those it differs from
    // anywhere, also in a character that becomes '_'.
    const std::string longest(63, 'x');
    EXPECT_EQ(FittingSensorName(longest), longest);
    EXPECT_EQ(FittingSensorName(""), "sensor");
    EXPECT_EQ(FittingSensorName(".x y"), "_x_y");
    const std::string over = FittingSensorName(longest + "x");
    EXPECT_TRUE(IsSensorName(over)) << over;
    const std::string wide(2000, 'w');
    const std::string spaced = FittingSensorName(wide + " " + wide);
    const std::string underscored = FittingSensorName(wide + "_" + wide);
    EXPECT_TRUE(IsSensorName(spaced)) << spaced;
    EXPECT_NE(spaced, underscored);
    EXPECT_NE(FittingSensorName("-" + wide), FittingSensorName("." + wide));
    EXPECT_TRUE(IsSensorName(FittingSensorName("-" + wide)));
}

TEST_F(LineInputs, ANulInALineFileIsRefusedOrShownNeverCut) {
    const std::string key = refusal(lineHead + "\"a\\u0000b\" = 1\n" + oneSensor);
    EXPECT_NE(key.find("line.toml:3: unknown key 'a\\u0000b' in [line]"), std::string::npos) << key;
    const std::string name = refusal("[line]\nname = \"x\\u0000y\"\n" + oneSensor);
    EXPECT_NE(name.find("line.toml:2: 'name' holds a NUL ('x\\u0000y')"), std::string::npos)
        << name;
    const std::string control = refusal("[line]\nname = \"x\\u0001y\"\n" + oneSensor);
    EXPECT_NE(control.find("the line name 'x\\u0001y' is not a plain word"), std::string::npos)
        << control;
    const std::string port =
        refusal(lineHead + "[[sensor]]\nname = \"a\"\nport = \"/dev/ttyS0\\u0000x\"\n"
                           "approved = \"a.dat\"\n");
    EXPECT_NE(port.find("line.toml:5: 'port' holds a NUL ('/dev/ttyS0\\u0000x')"),
              std::string::npos)
        << port;
    for (const std::string &why : {key, name, port})
        EXPECT_EQ(why.find('\0'), std::string::npos);

    // The program's own message, whole.
    WriteText(scratch / "line.toml", lineHead + "\"a\\u0000b\" = 1\n" + oneSensor);
    CommandOutput check = run({"check", "--line", (scratch / "line.toml").string()});
    EXPECT_EQ(check.exitCode, 2);
    EXPECT_NE(check.err.find("unknown key 'a\\u0000b' in [line]"), std::string::npos) << check.err;
}

// Each of these once crashed the parser (a stack overflow, or an unreachable point reached).
TEST_F(LineInputs, DeepNestingAndCharactersTheParserMishandlesAreRefusedFirst) {
    auto levels = [](int count, const char *sep) {
        std::string key = "x";
        for (int i = 1; i < count; i++)
            key += std::string(sep) + "x";
        return key;
    };
    const std::string deep = "nested too deeply (more than 32 levels)";
    EXPECT_NE(refusal(lineHead + "[" + levels(150000, ".") + "]\n").find("line.toml:3: " + deep),
              std::string::npos);
    EXPECT_NE(
        refusal(lineHead + oneSensor + levels(520000, ".") + " = 1\n").find("line.toml:7: " + deep),
        std::string::npos);
    EXPECT_NE(refusal("a = " + std::string(100000, '[') + "\n").find(deep), std::string::npos);
    // 32 levels pass to the checks of the keys; 33 do not, however they add up.
    const std::string base = lineHead + oneSensor;
    EXPECT_NE(refusal(base + "[" + levels(32, ".") + "]\n").find("unknown key 'x'"),
              std::string::npos);
    EXPECT_NE(refusal(base + "[" + levels(33, ".") + "]\n").find(deep), std::string::npos);
    EXPECT_NE(refusal(base + "[" + levels(20, ".") + "]\n" + levels(12, ".") + " = 1\n")
                  .find("unknown key 'x'"),
              std::string::npos);
    EXPECT_NE(refusal(base + "[" + levels(20, ".") + "]\n" + levels(13, ".") + " = 1\n").find(deep),
              std::string::npos);
    // Under [[sensor]] (2 levels) a key in an inline table in an array sits 7 levels deep.
    auto inArrays = [&](int count) {
        return refusal(base + "x = [[{y = [{" + levels(count, ".") + " = 1}]}]]\n");
    };
    EXPECT_NE(inArrays(25).find("unknown key 'x' in [[sensor]]"), std::string::npos)
        << inArrays(25);
    EXPECT_NE(inArrays(26).find(deep), std::string::npos) << inArrays(26);

    // The parser's whitespace test reaches an unreachable point on U+FB26 to U+FEFE (and on
    // U+0484, U+00E9, ...): outside quotes, in what only looks like a string or an array ("2"...",
    // found by the fuzzer), in a header, after a backslash and after a line-ending backslash.
    auto refusedAt = [&](const std::string &text, int line, const char *what) {
        const std::string why = refusal(text);
        EXPECT_EQ(why, (scratch / "line.toml").string() + ":" + std::to_string(line) + ": " + what)
            << text;
    };
    const char *outside = "a character other than ASCII outside quotes and comments";
    refusedAt(lineHead + "\n\xEF\xAC\xA6 = 1\n", 4, outside);
    refusedAt(lineHead + "n = \"x\"\xEF\xBB\xBE\n", 3, outside);
    refusedAt("j=2\"r\\\\$\\\xEF\xBB\x9F\\i0", 1, outside);
    refusedAt("a = 1.\"\xC3\xA9\"\n", 1, outside);
    refusedAt("a = 1[\"\xC3\xA9\"]\n", 1, outside);
    refusedAt(lineHead + "[x.x\xD2\x84.x]\n", 3, outside);
    refusedAt(lineHead + "n = \"\"\"x\\\xEF\xAC\xA6\"\"\"\n", 3,
              "a character other than ASCII right after a backslash");
    refusedAt(lineHead + "n = \"\"\"x\\\n  \n \xEF\xBB\xBE\"\"\"\n", 5,
              "a character other than ASCII right after a line-ending backslash");
    // The same characters in strings and comments, and a byte-order mark, are a line file's own.
    LineFile line;
    std::string why;
    ASSERT_TRUE(ParseLineFile("\xEF\xBB\xBF[line] # \xEF\xAC\xA6\xC3\xA9\nname = \"l7\"\n"
                              "log = '\xEF\xAC\xA6\xD2\x84.jsonl'\n[broker]\nhost = \"\"\"h\\\n  x"
                              "\xEF\xBB\xBE\"\"\"\n" +
                                  oneSensor,
                              "line.toml", &line, &why))
        << why;
    EXPECT_EQ(line.broker.host, "hx\xEF\xBB\xBE");
    EXPECT_EQ(line.logPath, "\xEF\xAC\xA6\xD2\x84.jsonl");

    // The program, on the file that overflowed its stack.
    WriteText(scratch / "deep.toml", "[" + levels(150000, ".") + "]\n");
    CommandOutput check = run({"check", "--line", (scratch / "deep.toml").string()});
    EXPECT_EQ(check.exitCode, 2) << check.err;
    EXPECT_NE(check.err.find("deep.toml:1: " + deep), std::string::npos) << check.err;
}

TEST_F(LineInputs, ARecordingFarTooLargeIsRefusedUnreadAndAByteOrderMarkIsTaken) {
    const std::string frames = "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\n"
                               "2026-12-07T22:41:18.052+00:00,0.013,145,98,61,114,77,248,255,COM1\n"
                               "2026-12-07T22:41:18.102+00:00,0.063,1,2,3,4,5,6,7,COM1\n";
    WriteText(scratch / "bom.csv", "\xEF\xBB\xBF" + frames);
    std::vector<RecordedFrame> read;
    RecordingError error{};
    long firstLine = 0;
    ASSERT_EQ(ReadRecordingFile((scratch / "bom.csv").c_str(), &read, &error, &firstLine), 0)
        << error.line << ": " << error.reason;
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(firstLine, 2);
    EXPECT_EQ(read[1].values[6], 7);

    // 2 GB with no block behind them: refused before any is read, so the peak memory stays.
    const fs::path huge = scratch / "huge.csv";
    WriteText(huge, frames);
    fs::resize_file(huge, 2000000000ull);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(ReadRecordingFile(huge.c_str(), &read, &error, &firstLine), -1);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(error.line, 0);
    EXPECT_STREQ(error.reason, "larger than 1073741824 bytes");
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64L * 1024) << "KiB more at the peak";
    EXPECT_EQ(read.size(), 2u);

    // At the limit a file is read, a byte beyond it not.
    std::string text, why;
    WriteText(scratch / "ten", "0123456789");
    EXPECT_TRUE(ReadSmallFile((scratch / "ten").c_str(), 10, &text, &why)) << why;
    EXPECT_EQ(text, "0123456789");
    EXPECT_FALSE(ReadSmallFile((scratch / "ten").c_str(), 9, &text, &why));
    EXPECT_EQ(why, "larger than 9 bytes");
}

TEST_F(LineInputs, APrefixUnderTheBrokersOwnTopicsIsToldSo) {
    static TelemetrySetup setup;
    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    std::snprintf(config.host, sizeof config.host, "127.0.0.1");
    const char *sensors[] = {"a"};
    char why[256] = "";
    auto refused = [&](const char *prefix) {
        std::snprintf(config.topicPrefix, sizeof config.topicPrefix, "%s", prefix);
        EXPECT_FALSE(PrepareTelemetrySetup(config, sensors, 1, &setup, why, sizeof why)) << prefix;
        return std::string(why);
    };
    EXPECT_EQ(refused("$SYS/x"), "The MQTT topic prefix \"$SYS/x\" starts with '$': topics that "
                                 "start with '$' are the broker's own");
    EXPECT_EQ(refused("plant/+"), "The MQTT topic prefix \"plant/+\" has a wildcard (+, #)");
    EXPECT_EQ(refused("plant//x"), "The MQTT topic prefix \"plant//x\" has an empty level");
    std::snprintf(config.topicPrefix, sizeof config.topicPrefix, "plant/x$");
    EXPECT_TRUE(PrepareTelemetrySetup(config, sensors, 1, &setup, why, sizeof why)) << why;
}

} // namespace
