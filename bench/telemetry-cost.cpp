// What telemetry costs a frame loop: PublishFrame called back to back with telemetry off, with
// a broker up (paced 10 a second, and every frame), and with the broker down (a closed port).
// Prints the time per call and the frames actually sent. Then frame loops on threads of their
// own on one connection: one, and 32 each on a sensor of its own and for comparison all on
// sensor 0 (one lock, as a single set of slots would have), at 100 frames a second each and
// back to back; prints the mean, the 99th percentile and the longest PublishFrameOf call. Starts
// the tests' broker (mosquitto on a free loopback port) unless --port names a broker that runs on
// 127.0.0.1.
//   build/bin/telemetry-cost [--port N] [calls]
#include "support/broker.h"
#include "telemetry/telemetry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

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

enum { LOOPS = 32 };
const double LOOP_INTERVAL = 0.01; // 100 frames a second

// One frame loop: calls PublishFrameOf(sensor) every interval (0: back to back) until end and
// keeps how long each call took, in nanoseconds.
void FrameLoop(int sensor, double interval, Clock::time_point end, std::vector<double> *times) {
    unsigned char values[TELEMETRY_VALUES] = {};
    auto next = Clock::now();
    while (Clock::now() < end) {
        values[0]++;
        const auto before = Clock::now();
        PublishFrameOf(sensor, values);
        times->push_back(std::chrono::duration<double, std::nano>(Clock::now() - before).count());
        if (interval > 0) {
            next += std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(interval));
            std::this_thread::sleep_until(next);
        }
    }
}

// count frame loops at once for seconds, each on a sensor of its own or all on sensor 0.
void MeasureLoops(const char *what, int port, int count, bool ownSensors, double interval,
                  double seconds) {
    TelemetryConfig config;
    DefaultTelemetryConfig(&config);
    std::snprintf(config.host, sizeof config.host, "127.0.0.1");
    config.port = port;
    std::vector<std::string> names;
    std::vector<const char *> sensors;
    for (int i = 0; i < count; i++)
        names.push_back("S" + std::to_string(i + 1));
    for (const std::string &name : names)
        sensors.push_back(name.c_str());
    const bool started = StartTelemetrySensors(&config, sensors.data(), count) == 0;
    for (int sensor = 0; sensor < count; sensor++)
        AnnounceSensorOf(sensor);
    if (!started || !WaitConnected()) {
        std::printf("%-44s no connection: %s\n", what, LastTelemetryError());
        StopTelemetry();
        return;
    }
    std::vector<std::vector<double>> times((size_t)count);
    for (std::vector<double> &loop : times)
        loop.reserve(interval > 0 ? (size_t)(seconds / interval) + 16 : 4000000);
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(seconds));
    std::vector<std::thread> loops;
    for (int i = 0; i < count; i++)
        loops.emplace_back(FrameLoop, ownSensors ? i : 0, interval, end, &times[(size_t)i]);
    for (std::thread &loop : loops)
        loop.join();
    StopTelemetry();
    std::vector<double> all;
    for (const std::vector<double> &loop : times)
        all.insert(all.end(), loop.begin(), loop.end());
    std::sort(all.begin(), all.end());
    double sum = 0;
    for (double time : all)
        sum += time;
    std::printf("%-44s %9zu calls: mean %6.0f ns, 99%% %6.0f ns, longest %7.1f us; %ld sent\n",
                what, all.size(), sum / (double)all.size(), all[all.size() * 99 / 100],
                all.back() / 1000, TelemetryFramesSent());
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
    std::printf("frame loops on one connection, 3 s each\n");
    MeasureLoops("1 loop, 100 a second", port, 1, true, LOOP_INTERVAL, 3);
    MeasureLoops("32 loops, 100 a second, a sensor each", port, LOOPS, true, LOOP_INTERVAL, 3);
    MeasureLoops("32 loops, 100 a second, all on sensor 0", port, LOOPS, false, LOOP_INTERVAL, 3);
    MeasureLoops("32 loops back to back, a sensor each", port, LOOPS, true, 0, 3);
    MeasureLoops("32 loops back to back, all on sensor 0", port, LOOPS, false, 0, 3);
    return 0;
}
