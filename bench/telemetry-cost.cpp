// What telemetry costs a frame loop: PublishFrame called back to back with telemetry off, with
// a broker up (paced 10 a second, and every frame), and with the broker down (a closed port).
// Prints the time per call and the frames actually sent. Starts the tests' broker (mosquitto on
// a free loopback port) unless --port names a broker that runs on 127.0.0.1.
//   build/bin/telemetry-cost [--port N] [calls]
#include "support/broker.h"
#include "telemetry/telemetry.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

bool WaitConnected() {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        if (GetTelemetryState(nullptr, 0) == TELEMETRY_CONNECTED)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// calls back-to-back PublishFrame calls; prints ns a call and, with a client, frames sent.
void Measure(const char *what, int port, double maxRate, long calls) {
    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    config.maxRate = maxRate;
    if (port > 0) {
        std::snprintf(config.host, sizeof config.host, "127.0.0.1");
        config.port = port;
    }
    if (StartTelemetry(&config, "COM1") != 0) {
        std::printf("%-34s cannot start: %s\n", what, LastTelemetryError());
        return;
    }
    if (port > 0 && std::strstr(what, "down") == nullptr && !WaitConnected()) {
        std::printf("%-34s no connection\n", what);
        StopTelemetry();
        return;
    }
    unsigned char values[TELEMETRY_VALUES] = {};
    const auto start = Clock::now();
    for (long i = 0; i < calls; i++) {
        values[0] = (unsigned char)i;
        PublishFrame(values);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    StopTelemetry();
    std::printf("%-34s %7.1f ns a call, %ld frames sent in %.2f s\n", what,
                1e9 * seconds / (double)calls, TelemetryFramesSent(), seconds);
}

} // namespace

int main(int argc, char **argv) {
    int port = 0;
    long calls = 1000000;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc)
            port = std::atoi(argv[++i]);
        else
            calls = std::atol(argv[i]);
    }
    TestBroker broker;
    if (port == 0) {
        if (!broker.start()) {
            std::fprintf(stderr, "telemetry-cost: %s\n", broker.error().c_str());
            return 1;
        }
        port = broker.port();
    }
    std::printf("%ld PublishFrame calls back to back\n", calls);
    Measure("telemetry off", 0, 10, calls);
    Measure("broker up, at most 10 a second", port, 10, calls);
    Measure("broker up, every frame (rate 0)", port, 0, calls);
    Measure("broker down (a closed port)", FreeLoopbackPort(), 10, calls);
    return 0;
}
