// The JSON of the reports and payloads: texts that hold quotes, backslashes, control characters
// and bytes that are not UTF-8 come out as valid JSON that reads back to the same bytes.
#include "plant/results.h"
#include "telemetry/payloads.h"
#include "telemetry/setup.h"
#include "textforms/dumpjson.h"
#include "textforms/utf8.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

// The private characters U+F780..U+F7FF stand for the bytes 0x80..0xFF while nlohmann reads.
enum { BYTE_MARK = 0xF700 };

// value with each private character U+F780..U+F7FF made its byte again.
std::string Unmark(const std::string &value) {
    std::string bytes;
    for (size_t i = 0; i < value.size();) {
        char32_t codePoint = 0;
        const int length = Utf8SequenceLength((const unsigned char *)value.c_str() + i, &codePoint);
        if (length == 0)
            return "(not UTF-8 at " + std::to_string(i) + ")";
        if (codePoint >= BYTE_MARK + 0x80 && codePoint <= BYTE_MARK + 0xFF)
            bytes += (char)(codePoint - BYTE_MARK);
        else
            bytes.append(value, i, (size_t)length);
        i += (size_t)length;
    }
    return bytes;
}

void UnmarkTexts(ordered_json &value) {
    if (value.is_string())
        value = Unmark(value.get<std::string>());
    else if (value.is_structured())
        for (ordered_json &item : value)
            UnmarkTexts(item);
}

// A JSON text read back as a reader that takes the escape of U+DC00 + byte for the byte
// (Python's surrogateescape): nlohmann's reader refuses a lone surrogate, so the escape is made
// that of a private character first and its texts' private characters bytes afterwards.
ordered_json ReadBack(const std::string &text) {
    std::string marked;
    for (size_t i = 0; i < text.size(); i++) {
        if (text.compare(i, 4, "\\udc") == 0) {
            marked += "\\uf7";
            i += 3;
            continue;
        }
        marked += text[i];
        if (text[i] == '\\') // an escaped character, "\\" above all, is taken as it is
            marked += text[++i];
    }
    ordered_json value = ordered_json::parse(marked);
    UnmarkTexts(value);
    return value;
}

bool IsValidUtf8WithoutControls(const std::string &text) {
    for (size_t i = 0; i < text.size();) {
        char32_t codePoint = 0;
        const int length = Utf8SequenceLength((const unsigned char *)text.c_str() + i, &codePoint);
        if (length == 0 || codePoint < 0x20)
            return false;
        i += (size_t)length;
    }
    return true;
}

const std::string awkward[] = {
    std::string("quote \" backslash \\ slash /"),
    [] {
        const char controls[] = "tab\tnewline\nNUL\0unit\x1f del\x7f";
        return std::string(controls, sizeof controls - 1);
    }(),
    "caf\xc3\xa9 \xf0\x9f\x99\x82",
    "out\xff.dat",
    "cut \xe2\x82 short, \xed\xa0\x80 surrogate, \xc0\xaf overlong, \xf4\x90\x80\x80 too high",
    "\xff\xfe",
    "text \\udcff that is no escape, then \\\xff",
    "\xe2\x82",
    "",
};

TEST(Json, AwkwardTextsAreValidJsonAndReadBackByteForByte) {
    for (const std::string &text : awkward) {
        const std::string dumped = DumpJson(text);
        EXPECT_TRUE(IsValidUtf8WithoutControls(dumped)) << dumped;
        EXPECT_EQ(ReadBack(dumped), text) << dumped;
        EXPECT_LE(dumped.size(), JSON_TEXT_GROWTH * text.size() + 2) << dumped;
    }
    EXPECT_EQ(DumpJson(std::string("a\"\\\n\x01")), "\"a\\\"\\\\\\n\\u0001\"");
    EXPECT_EQ(DumpJson(std::string("\xe2\x82z")), "\"\\udce2\\udc82z\"")
        << "a cut sequence is its bytes, the character after it kept";

    // Keys in the order given, texts inside arrays and objects and keys themselves alike.
    ordered_json nested = {{"zeta", {1, 2.5, true, nullptr}},
                           {"alpha", {{"inner \"key\"", awkward[1]}, {"list", {awkward[2], ""}}}}};
    EXPECT_EQ(ordered_json::parse(DumpJson(nested)), nested);
    EXPECT_EQ(DumpJson(nested).find("{\"zeta\":[1,2.5,true,null],\"alpha\":{"), 0u);
    nested["alpha"]["file \xfe"] = {"a\xff"};
    EXPECT_NE(DumpJson(nested).find(",\"file \\udcfe\":[\"a\\udcff\"]}"), std::string::npos)
        << DumpJson(nested);
}

std::string PrintedJson(const PortResult &result, const char *command) {
    FILE *stream = std::tmpfile();
    PrintResultJson(stream, command, &result);
    std::string text(std::ftell(stream), '\0');
    std::rewind(stream);
    const size_t read = std::fread(text.data(), 1, text.size(), stream);
    std::fclose(stream);
    text.resize(read);
    return text;
}

TEST(Json, AResultLineKeepsEveryTextAndItsFieldsInOrder) {
    static PortResult result;
    BeginResult(&result, "COM3", "line \"A\"", "/dev/pts/\\7");
    SetResult(&result, 3, "NOT SAVED", "cannot write %s: %s", "a\tb", "No space");
    std::snprintf(result.file, sizeof result.file, "%s", "/tmp/caf\xc3\xa9\n.dat");
    result.frames = 12;
    result.seconds = 2.0004;
    result.hasBlock = 1;
    for (int i = 0; i < BLOCK_LENGTH; i++)
        result.block[i] = (unsigned char)(3 * i);
    EXPECT_TRUE(AddResultField(&result, "changelog", DumpJson(awkward[0])));
    EXPECT_TRUE(AddResultField(&result, "in_step", "false"));

    const std::string line = PrintedJson(result, "record");
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line";
    const ordered_json read = ordered_json::parse(line);
    std::vector<std::string> keys;
    for (const auto &item : read.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"command", "sensor", "port", "device", "ok", "exit",
                                              "status", "message", "file", "frames", "seconds",
                                              "block", "changelog", "in_step"}));
    EXPECT_EQ(read["sensor"], "line \"A\"");
    EXPECT_EQ(read["device"], "/dev/pts/\\7");
    EXPECT_EQ(read["ok"], false);
    EXPECT_EQ(read["exit"], 3);
    EXPECT_EQ(read["message"], "cannot write a\tb: No space");
    EXPECT_EQ(read["file"], "/tmp/caf\xc3\xa9\n.dat");
    EXPECT_EQ(read["seconds"], 2.0);
    EXPECT_EQ(read["block"].size(), (size_t)BLOCK_LENGTH);
    EXPECT_EQ(read["block"][BLOCK_LENGTH - 1], 3 * (BLOCK_LENGTH - 1));
    EXPECT_EQ(read["changelog"], awkward[0]);
    EXPECT_EQ(read["in_step"], false);

    // A file name that is not UTF-8 keeps its byte; a command other than record has no frames.
    std::snprintf(result.file, sizeof result.file, "%s", "/tmp/out\xff.dat");
    const std::string get = PrintedJson(result, "get");
    EXPECT_NE(get.find("\"file\":\"/tmp/out\\udcff.dat\""), std::string::npos) << get;
    EXPECT_EQ(ReadBack(get)["file"], "/tmp/out\xff.dat");
    EXPECT_EQ(get.find("\"frames\""), std::string::npos) << get;
}

TEST(Json, PayloadsCarryTheSensorsNameAndTextsExactly) {
    const char *sensors[] = {"line \"7\" \\ \xc3\xa9"};
    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    std::snprintf(config.host, sizeof config.host, "127.0.0.1");
    static TelemetrySetup setup;
    char why[256] = "";
    ASSERT_TRUE(PrepareTelemetrySetup(config, sensors, 1, &setup, why, sizeof why)) << why;
    const SensorTopics &topics = setup.sensors[0];

    const unsigned char values[TELEMETRY_VALUES] = {1, 2, 3, 4, 5, 6, 255};
    Payload frame{};
    FormatFramePayload(values, 42, 1765000000125LL, topics.portJson, frame);
    ASSERT_FALSE(frame.overflow);
    const json frameRead = json::parse(std::string(frame.text, frame.length));
    EXPECT_EQ(frameRead["port"], sensors[0]);
    EXPECT_EQ(frameRead["frame"], 42);
    EXPECT_EQ(frameRead["C-No"], 255);

    const std::string message = awkward[0] + "\t\n" + awkward[2] + " in " + awkward[3];
    Payload state{};
    FormatStatePayload("LINE LOST", message.c_str(), 1765000000125LL, topics.name, state);
    ASSERT_FALSE(state.overflow);
    const std::string stateText(state.text, state.length);
    EXPECT_TRUE(IsValidUtf8WithoutControls(stateText)) << stateText;
    const ordered_json stateRead = ReadBack(stateText);
    EXPECT_EQ(stateRead.begin().key(), "time");
    EXPECT_EQ(stateRead["port"], sensors[0]);
    EXPECT_EQ(stateRead["state"], "LINE LOST");
    EXPECT_EQ(stateRead["message"], message);

    Payload quiet{};
    FormatStatePayload("LINE OK", "", 1765000000125LL, topics.name, quiet);
    EXPECT_EQ(json::parse(std::string(quiet.text, quiet.length)).count("message"), 0u);
}

} // namespace
