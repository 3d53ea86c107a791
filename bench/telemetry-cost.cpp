// What telemetry costs a frame loop: PublishFrame called back to back with telemetry off, with
// a broker up (paced 10 a second, and every frame), and with the broker down (a closed port).
// Prints the time per call and the frames actually sent. Starts /usr/sbin/mosquitto on a free
// loopback port unless --port names a broker that runs on 127.0.0.1.
//   build/bin/telemetry-cost [--port N] [calls]
#include "telemetry/telemetry.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons((uint16_t)port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A loopback port that nothing listens on: bound to port 0, released.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    int port = -1;
    if (bind(fd, (const sockaddr *)&address, sizeof address) == 0 &&
        getsockname(fd, (sockaddr *)&address, &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    const bool accepted = connect(fd, (const sockaddr *)&address, sizeof address) == 0;
    close(fd);
    return accepted;
}

// The broker in its local-only mode: loopback, anonymous clients.
pid_t StartBroker(int port) {
    const std::string text = std::to_string(port);
    const pid_t pid = fork();
    if (pid == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execl("/usr/sbin/mosquitto", "mosquitto", "-p", text.c_str(), (char *)nullptr);
        _exit(127);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (pid > 0 && Clock::now() < deadline) {
        if (Accepts(port))
            return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

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
    pid_t broker = -1;
    if (port == 0) {
        port = FreePort();
        broker = StartBroker(port);
        if (broker < 0) {
            std::fprintf(stderr, "telemetry-cost: the broker does not start\n");
            return 1;
        }
    }
    std::printf("%ld PublishFrame calls back to back\n", calls);
    Measure("telemetry off", 0, 10, calls);
    Measure("broker up, at most 10 a second", port, 10, calls);
    Measure("broker up, every frame (rate 0)", port, 0, calls);
    Measure("broker down (a closed port)", FreePort(), 10, calls);
    if (broker > 0) {
        kill(broker, SIGTERM);
        waitpid(broker, nullptr, 0);
    }
    return 0;
}
