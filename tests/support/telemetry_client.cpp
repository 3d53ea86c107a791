#include "support/telemetry_client.h"

#include <cctype>
#include <cstdio>
#include <thread>

TelemetryConfig LocalConfig(int port) {
    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    std::snprintf(config.host, sizeof config.host, "127.0.0.1");
    config.port = port;
    config.reconnectMin = 0.2;
    config.reconnectMax = 1;
    return config;
}

std::string TelemetryState(int *code) {
    char text[TELEMETRY_TEXT_LEN * 2];
    const int state = GetTelemetryState(text, sizeof text);
    if (code != nullptr)
        *code = state;
    return text;
}

bool WaitForState(int code, const std::string &part, std::string *text) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(WAIT_S);
    int state = -1;
    std::string line;
    while (Clock::now() < deadline) {
        line = TelemetryState(&state);
        if (state == code && line.find(part) != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (text != nullptr)
        *text = line;
    return state == code && line.find(part) != std::string::npos;
}

std::vector<long> JsonIntegers(const std::string &json, const std::string &key) {
    std::vector<long> numbers;
    const std::string member = "\"" + key + "\":";
    size_t at = json.find(member);
    if (at == std::string::npos)
        return numbers;
    int depth = 0;
    for (at += member.size(); at < json.size(); ++at) {
        const char c = json[at];
        if (c == '[') {
            ++depth;
        } else if (c == ']' && --depth <= 0) {
            break;
        } else if (std::isdigit((unsigned char)c)) {
            size_t used = 0;
            numbers.push_back(std::stol(json.substr(at), &used));
            at += used - 1;
            if (depth == 0)
                break;
        } else if (depth == 0) {
            break;
        }
    }
    return numbers;
}

long JsonInteger(const std::string &json, const std::string &key) {
    const std::vector<long> numbers = JsonIntegers(json, key);
    return numbers.size() == 1 ? numbers[0] : -1;
}

std::string JsonText(const std::string &json, const std::string &key) {
    const std::string member = "\"" + key + "\":\"";
    const size_t at = json.find(member);
    if (at == std::string::npos)
        return "";
    const size_t start = at + member.size();
    return json.substr(start, json.find('"', start) - start);
}

void SetFrame(unsigned char values[TELEMETRY_VALUES], int seed) {
    for (int i = 0; i < TELEMETRY_VALUES; i++)
        values[i] = (unsigned char)(seed + 10 * i);
}

void MakeBlock(unsigned char block[TELEMETRY_BLOCK], int seed) {
    for (int i = 0; i < TELEMETRY_BLOCK; i++)
        block[i] = (unsigned char)(seed + 7 * i);
}

MessageMatch StateIs(const std::string &topic, const std::string &state) {
    return [topic, state](const ReceivedMessage &m) {
        return m.topic == topic && m.retained && JsonText(m.payload, "state") == state;
    };
}
