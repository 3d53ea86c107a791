// The JSON of the reports and payloads: texts that hold quotes, backslashes, control characters
// and bytes that are not UTF-8 come out as valid JSON that reads back to the same bytes.
#include "plant/results.h"
#include "telemetry/payloads.h"
#include "telemetry/setup.h"
#include "textforms/dumpjson.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using nlohmann::ordered_json;

// Each private character U+F780..U+F7FF (EF 9E 80 to EF 9F BF) of value's texts as its byte.
void Unmark(ordered_json &value) {
    if (value.is_structured())
        for (ordered_json &item : value)
            Unmark(item);
    if (!value.is_string())
        return;
    const std::string text = value.get<std::string>();
    std::string bytes;
    for (size_t i = 0; i < text.size(); i++) {
        if (text.compare(i, 2, "\xef\x9e") == 0 || text.compare(i, 2, "\xef\x9f") == 0) {
            bytes += (char)(((text[i + 1] & 0x03) << 6) | (text[i + 2] & 0x3F));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    value = bytes;
}

// text read as a reader that takes the escape of U+DC00 + byte for the byte (Python's
// surrogateescape). nlohmann's strict reader refuses a lone surrogate, so each such escape is
// made that of U+F700 + byte first; the reader also refuses bad UTF-8 and raw control characters.
ordered_json ReadBack(const std::string &text) {
    std::string marked;
    for (size_t i = 0; i < text.size(); i++) {
        const bool byteEscape = text.compare(i, 4, "\\udc") == 0;
        marked += byteEscape ? std::string("\\uf7") : text.substr(i, text[i] == '\\' ? 2 : 1);
        i += byteEscape ? 3 : text[i] == '\\';
    }
    ordered_json value = ordered_json::parse(marked);
    Unmark(value);
    return value;
}

const char controls[] = "tab\tnewline\nNUL\0unit\x1f del\x7f";
const std::string awkward[] = {
    "quote \" backslash \\ slash /",
    std::string(controls, sizeof controls - 1),
    "caf\xc3\xa9 \xf0\x9f\x99\x82 out\xff.dat \xfe",
    "cut \xe2\x82, surrogate \xed\xa0\x80, overlong \xc0\xaf, too high \xf4\x90\x80\x80",
    "text \\udcff that is no escape, then \\\xff",
    "",
};

TEST(Json, AwkwardTextsReadBackByteForByte) {
    for (const std::string &text : awkward)
        EXPECT_EQ(ReadBack(DumpJson(text)), text) << DumpJson(text);
    EXPECT_EQ(DumpJson("\xe2\x82z"), "\"\\udce2\\udc82z\"") << "a cut character is its bytes";

    ordered_json nested = {{"zeta", {1, 2.5, true, nullptr}},
                           {"alpha \"key\"", {{"list", {awkward[1], awkward[2]}}}}};
    EXPECT_EQ(ReadBack(DumpJson(nested)), nested);
    EXPECT_EQ(DumpJson(nested).find("{\"zeta\":[1,2.5,true,null],\"alpha \\\"key\\\"\":{"), 0u);
    nested["file \xfe"] = "x";
    EXPECT_NE(DumpJson(nested).find(",\"file \\udcfe\":\"x\"}"), std::string::npos);
}

std::string PrintedJson(const PortResult &result, const char *command) {
    FILE *stream = std::tmpfile();
    PrintResultJson(stream, command, &result);
    std::string text((size_t)std::ftell(stream), '\0');
    std::rewind(stream);
    text.resize(std::fread(text.data(), 1, text.size(), stream));
    std::fclose(stream);
    return text;
}

TEST(Json, AResultLineKeepsItsTextsAndTheOrderOfItsFields) {
    static PortResult result;
    BeginResult(&result, "COM3", awkward[0].c_str(), "/dev/pts/7");
    SetResult(&result, 3, "NOT SAVED", "cannot write %s", awkward[1].c_str());
    std::snprintf(result.file, sizeof result.file, "%s", awkward[2].c_str());
    result.seconds = 2.0004;
    EXPECT_TRUE(AddResultField(&result, "changelog", DumpJson(awkward[3])));
    EXPECT_TRUE(AddResultField(&result, "in_step", "false"));

    const std::string line = PrintedJson(result, "record");
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line";
    const ordered_json read = ReadBack(line);
    std::vector<std::string> keys;
    for (const auto &item : read.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"command", "sensor", "port", "device", "ok", "exit",
                                              "status", "message", "file", "frames", "seconds",
                                              "changelog", "in_step"}));
    EXPECT_EQ(read["sensor"], awkward[0]);
    EXPECT_EQ(read["message"], "cannot write tab\tnewline\nNUL");
    EXPECT_EQ(read["file"], awkward[2]);
    EXPECT_EQ(read["seconds"], 2.0);
    EXPECT_EQ(read["changelog"], awkward[3]);
    EXPECT_EQ(read["in_step"], false);
}

TEST(Json, PayloadsCarryTheSensorsNameAndTheStatesTextsExactly) {
    const char *sensors[] = {"line \"7\" \\ caf\xc3\xa9"};
    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    std::snprintf(config.host, sizeof config.host, "127.0.0.1");
    static TelemetrySetup setup;
    char why[256] = "";
    ASSERT_TRUE(PrepareTelemetrySetup(config, sensors, 1, &setup, why, sizeof why)) << why;

    const unsigned char values[TELEMETRY_VALUES] = {1, 2, 3, 4, 5, 6, 255};
    Payload frame{};
    FormatFramePayload(values, 42, 1765000000125LL, setup.sensors[0].portJson, frame);
    const ordered_json frameRead = ReadBack(std::string(frame.text, frame.length));
    EXPECT_EQ(frameRead["port"], sensors[0]);
    EXPECT_EQ(frameRead["C-No"], 255);

    const std::string message = awkward[0] + awkward[2] + awkward[3];
    Payload state{};
    FormatStatePayload("LINE LOST", message.c_str(), 1765000000125LL, setup.sensors[0].name, state);
    ASSERT_FALSE(state.overflow);
    const ordered_json stateRead = ReadBack(std::string(state.text, state.length));
    EXPECT_EQ(stateRead.begin().key(), "time");
    EXPECT_EQ(stateRead["port"], sensors[0]);
    EXPECT_EQ(stateRead["state"], "LINE LOST");
    EXPECT_EQ(stateRead["message"], message);
}

} // namespace
