// The sensor emulator as the program sees it: a child process of the test whose first output
// line names its pseudo-terminal, and that line's slave end opened raw at 9600 baud. POSIX.
#pragma once

#include "support/sensor_bytes.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start);

// The emulator of the build under test (NVMX_BIN_DIR, else the working directory).
std::string EmulatorBinary();

// One emulator child with its slave end opened raw, as the program opens it.
struct Emulator {
    pid_t pid = -1;
    int out = -1;  // the child's standard output
    int line = -1; // our end of its line
    std::string path;
    std::string firstLine;

    Emulator() = default;
    Emulator(const Emulator &) = delete;
    Emulator &operator=(const Emulator &) = delete;
    ~Emulator();

    // Starts the emulator and reads its first output line. Returns false when it printed none.
    bool start(const std::vector<std::string> &arguments);
    // start() for a pseudo-terminal, then opens its slave.
    bool open(const std::vector<std::string> &arguments = {});
    // SIGTERM, then the exit code (or -1 when it did not end by itself within 5 s).
    int stop();
    // The exit code once the child has ended, polled for up to seconds; -1 if still running.
    int Wait(double seconds);

    static std::string ReadLine(int fd, double seconds);
    static int OpenRaw(const std::string &device);

    void send(const Bytes &bytes) const;
    // Collects bytes until want have come or nothing more arrived for quietSeconds.
    Bytes receive(size_t want, double quietSeconds = 2.0) const;
    // A request of the header alone, and whatever comes back within a quiet gap.
    Bytes ask(unsigned char command, double quietSeconds = 0.15) const;
    Bytes askExactly(unsigned char command, size_t length) const;
    void write(unsigned char command, const Bytes &block) const;
};

// Lengths of the block and the frame, and block offsets of the parameters the tests change.
enum { BLOCK = 84, FRAME = 7, INTLIM = 5, EVALMODE = 4, MAXCOL = 7 };
inline const Bytes lineOk{0xAA};

// X, Y and INT of a frame by the formulas, scaled to 0..255.
void ExpectCoordinatesMatchRGB(const Bytes &frame);

// A path in the temporary folder, unique to this test process, with no file there yet.
std::string TempPath(const std::string &name);
