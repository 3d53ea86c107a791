// Shared parts of the telemetry client's tests against a real broker: a configuration for the
// local broker, the client's state polled, the members of its JSON payloads, frames and blocks
// of known values, and a fixture that stops the client after every test.
#pragma once

#include "support/broker.h"
#include "telemetry/telemetry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;
const double WAIT_S = 20; // ends as soon as the condition holds

// The defaults, aimed at 127.0.0.1:port, with reconnect pauses of 0.2 s doubling up to 1 s.
TelemetryConfig LocalConfig(int port);
// The client's state line; its code goes into code when given.
std::string TelemetryState(int *code = nullptr);
// Polls the state until it is code and its text holds part; text gets the last one seen.
bool WaitForState(int code, const std::string &part, std::string *text = nullptr);

// The integers of a JSON member: one for a number, all of them in order for an array (nested
// arrays flattened); none when the member is absent.
std::vector<long> JsonIntegers(const std::string &json, const std::string &key);
// A member that is one integer; -1 otherwise.
long JsonInteger(const std::string &json, const std::string &key);
// A string member; "" when it is absent.
std::string JsonText(const std::string &json, const std::string &key);

// A frame whose values count up in tens from seed.
void SetFrame(unsigned char values[TELEMETRY_VALUES], int seed);
// A block whose bytes count up in sevens from seed.
void MakeBlock(unsigned char block[TELEMETRY_BLOCK], int seed);

// The retained state of a sensor's state topic, as a late subscriber is handed it.
MessageMatch StateIs(const std::string &topic, const std::string &state);

// Every test ends with the client stopped, also when an assertion ended it early.
class Telemetry : public ::testing::Test {
  protected:
    void TearDown() override { StopTelemetry(); }
};
