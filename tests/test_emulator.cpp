// The sensor emulator as the program sees it: spawned as a child, spoken to over its
// pseudo-terminal with raw termios.
#include "support/sensor_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string EmulatorBinary() {
    const char *dir = getenv("NVMX_BIN_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/sensor-emulator";
}

// One emulator child with its slave end opened raw, as the program opens it.
struct Emulator {
    pid_t pid = -1;
    int out = -1;  // the child's standard output
    int line = -1; // our end of its line
    std::string path;
    std::string firstLine;

    // Starts the emulator and reads its first output line. Returns false when it printed none.
    bool start(const std::vector<std::string> &arguments) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) {
            return false;
        }
        std::string binary = EmulatorBinary();
        std::vector<char *> argv{binary.data()};
        std::vector<std::string> copies = arguments;
        for (std::string &argument : copies) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            dup2(pipeFds[1], STDOUT_FILENO);
            close(pipeFds[0]);
            close(pipeFds[1]);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
        close(pipeFds[1]);
        out = pipeFds[0];
        firstLine = ReadLine(out, 5.0);
        return !firstLine.empty();
    }

    // start() for a pseudo-terminal, then opens its slave.
    bool open(const std::vector<std::string> &arguments = {}) {
        if (!start(arguments)) {
            return false;
        }
        path = firstLine;
        line = OpenRaw(path);
        return line >= 0;
    }

    // SIGTERM, then the exit code (or -1 when it did not end by itself within 5 s).
    int stop() {
        if (line >= 0) {
            close(line);
            line = -1;
        }
        if (pid <= 0) {
            return -1;
        }
        kill(pid, SIGTERM);
        int code = Wait(5.0);
        if (code == -1) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
        return code;
    }

    // The exit code once the child has ended, polled for up to seconds; -1 if still running.
    int Wait(double seconds) {
        auto start = Clock::now();
        do {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(5000);
        } while (SecondsSince(start) < seconds);
        return -1;
    }

    ~Emulator() {
        stop();
        if (out >= 0) {
            close(out);
        }
    }

    static std::string ReadLine(int fd, double seconds) {
        std::string text;
        auto start = Clock::now();
        char c = 0;
        while (SecondsSince(start) < seconds) {
            struct pollfd entry = {fd, POLLIN, 0};
            if (poll(&entry, 1, 50) > 0) {
                if (read(fd, &c, 1) != 1 || c == '\n') {
                    break;
                }
                text += c;
            }
        }
        return text;
    }

    static int OpenRaw(const std::string &device) {
        int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        struct termios settings;
        if (fd < 0 || tcgetattr(fd, &settings) != 0) {
            return -1;
        }
        cfmakeraw(&settings);
        cfsetispeed(&settings, B9600);
        cfsetospeed(&settings, B9600);
        tcsetattr(fd, TCSANOW, &settings);
        return fd;
    }

    void send(const Bytes &bytes) const {
        ASSERT_EQ(::write(line, bytes.data(), bytes.size()), (ssize_t)bytes.size());
    }

    // Collects bytes until want have come or nothing more arrived for quietSeconds.
    Bytes receive(size_t want, double quietSeconds = 2.0) const {
        Bytes got;
        unsigned char buffer[1024];
        while (got.size() < want) {
            struct pollfd entry = {line, POLLIN, 0};
            if (poll(&entry, 1, (int)(quietSeconds * 1000)) <= 0 || (entry.revents & POLLIN) == 0) {
                break;
            }
            ssize_t count = read(line, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            got.insert(got.end(), buffer, buffer + count);
        }
        return got;
    }

    // A request of the header alone, and whatever comes back within a quiet gap.
    Bytes ask(unsigned char command, double quietSeconds = 0.15) const {
        send({0x55, command});
        return receive(4096, quietSeconds);
    }

    Bytes askExactly(unsigned char command, size_t length) const {
        send({0x55, command});
        return receive(length);
    }

    void write(unsigned char command, const Bytes &block) const {
        Bytes request{0x55, command};
        request.insert(request.end(), block.begin(), block.end());
        send(request);
    }
};

enum { BLOCK = 84, FRAME = 7, INTLIM = 5, EVALMODE = 4, MAXCOL = 7 };
const Bytes lineOk{0xAA};

// Block offset of teach row (0..14), column (1..5).
int CellAt(int row, int column) {
    return 9 + 5 * row + (column - 1);
}

void SetRow(Bytes &block, int row, std::array<unsigned char, 5> cells) {
    for (int column = 1; column <= 5; ++column) {
        block[CellAt(row, column)] = cells[column - 1];
    }
}

// What the sensor should report as C-No for a frame under the block, from the frame's own X, Y
// and INT.
int ExpectedColourNumber(const Bytes &frame, const Bytes &block) {
    if (frame[5] < block[INTLIM]) {
        return 255;
    }
    for (int row = 0; row < std::min<int>(block[MAXCOL], 15); ++row) {
        int dx = frame[3] - block[CellAt(row, 1)];
        int dy = frame[4] - block[CellAt(row, 2)];
        int cto = block[CellAt(row, 3)];
        int di = frame[5] - block[CellAt(row, 4)];
        int ito = block[CellAt(row, 5)];
        if (dx * dx + dy * dy <= cto * cto && di >= -ito && di <= ito) {
            return row;
        }
    }
    return 255;
}

// X, Y and INT of a frame by the formulas, scaled to 0..255.
void ExpectCoordinatesMatchRGB(const Bytes &frame) {
    int sum = frame[0] + frame[1] + frame[2];
    EXPECT_EQ(frame[3], sum == 0 ? 0 : 255 * frame[0] / sum);
    EXPECT_EQ(frame[4], sum == 0 ? 0 : 255 * frame[1] / sum);
    EXPECT_EQ(frame[5], std::min(255, sum / 4 + sum / 16));
}

std::string TempPath(const std::string &name) {
    std::string path = (std::filesystem::temp_directory_path() /
                        ("nvmx-emulator-" + std::to_string(getpid()) + "-" + name))
                           .string();
    std::filesystem::remove(path);
    return path;
}

TEST(Emulator, AnswersLineCheckSkipsNoiseAndSurvivesReopen) {
    Emulator emulator;
    ASSERT_TRUE(emulator.open());
    EXPECT_EQ(emulator.ask(7), lineOk);

    // Noise before a request, an unknown command and a doubled sync byte.
    emulator.send({0x00, 0x13, 0xAA, 0xFF});
    EXPECT_EQ(emulator.ask(7), lineOk);
    EXPECT_TRUE(emulator.ask(6).empty());
    emulator.send({0x55});
    EXPECT_EQ(emulator.ask(7), lineOk);

    // The program closes and reopens the port: the line must still be there.
    close(emulator.line);
    emulator.line = Emulator::OpenRaw(emulator.path);
    ASSERT_GE(emulator.line, 0);
    EXPECT_EQ(emulator.ask(7), lineOk);
    EXPECT_EQ(emulator.stop(), 0);
}

TEST(Emulator, KeepsRamAndEepromApartAndDropsIncompleteWrites) {
    Emulator emulator;
    ASSERT_TRUE(emulator.open());
    Bytes factory = emulator.askExactly(3, BLOCK);
    ASSERT_EQ(factory.size(), (size_t)BLOCK);
    EXPECT_EQ(emulator.askExactly(4, BLOCK), factory);
    EXPECT_GT(factory[MAXCOL], 0);

    // Sync and command values inside a block are data, not new requests.
    Bytes ram(BLOCK);
    for (int i = 0; i < BLOCK; ++i) {
        ram[i] = (unsigned char)(i % 3 == 0 ? 0x55 : 200 - i);
    }
    ram[1] = 0x07;
    emulator.write(1, ram);
    EXPECT_EQ(emulator.askExactly(3, BLOCK), ram);
    EXPECT_EQ(emulator.askExactly(4, BLOCK), factory);

    Bytes eeprom(BLOCK, 17);
    emulator.write(2, eeprom);
    EXPECT_EQ(emulator.askExactly(4, BLOCK), eeprom);
    EXPECT_EQ(emulator.askExactly(3, BLOCK), ram);

    // Half a block, then silence: nothing of it may reach RAM, and the line goes on working.
    emulator.write(1, Bytes(40, 99));
    usleep(1300 * 1000);
    EXPECT_EQ(emulator.askExactly(3, BLOCK), ram);
    EXPECT_EQ(emulator.ask(7), lineOk);
}

TEST(Emulator, EepromFilePersistsAcrossRunsAsFiveWideText) {
    std::string file = TempPath("eeprom.dat");
    Bytes eeprom(BLOCK);
    for (int i = 0; i < BLOCK; ++i) {
        eeprom[i] = (unsigned char)((i * 37) % 256);
    }
    eeprom[0] = 255;
    eeprom[1] = 0;
    {
        Emulator first;
        ASSERT_TRUE(first.open({"--eeprom-file", file}));
        Bytes ram = first.askExactly(3, BLOCK);
        EXPECT_EQ(first.askExactly(4, BLOCK), ram) << "without a file EEPROM starts as RAM";
        first.write(2, eeprom);
        EXPECT_EQ(first.askExactly(4, BLOCK), eeprom);
        EXPECT_EQ(first.stop(), 0);
    }
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string expected;
    for (unsigned char value : eeprom) {
        char field[8];
        snprintf(field, sizeof field, "%5d\n", value);
        expected += field;
    }
    EXPECT_EQ(text, expected);
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));

    {
        Emulator second;
        ASSERT_TRUE(second.open({"--eeprom-file", file}));
        EXPECT_EQ(second.askExactly(4, BLOCK), eeprom);
        EXPECT_NE(second.askExactly(3, BLOCK), eeprom) << "RAM does not load the EEPROM";
    }

    // A file that is not a parameter file is refused and left as it was.
    std::ofstream(file) << "  12\n abc\n";
    Emulator refused;
    EXPECT_FALSE(refused.start({"--eeprom-file", file}));
    EXPECT_EQ(refused.Wait(5.0), 1);
    std::ifstream again(file);
    std::string kept((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "  12\n abc\n");
    std::filesystem::remove(file);
}

TEST(Emulator, DataFramesFollowTheFormulasAndTheTaughtRows) {
    Emulator emulator;
    ASSERT_TRUE(emulator.open());
    Bytes block = emulator.askExactly(3, BLOCK);
    ASSERT_EQ(block.size(), (size_t)BLOCK);
    int low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
    int detected = 0;
    for (int n = 0; n < 600; ++n) {
        Bytes frame = emulator.askExactly(5, FRAME);
        ASSERT_EQ(frame.size(), (size_t)FRAME) << "frame " << n;
        ExpectCoordinatesMatchRGB(frame);
        ASSERT_EQ(frame[6], ExpectedColourNumber(frame, block)) << "frame " << n;
        detected += frame[6] != 255;
        for (int i = 0; i < 3; ++i) {
            low[i] = std::min<int>(low[i], frame[3 + i]);
            high[i] = std::max<int>(high[i], frame[3 + i]);
        }
    }
    EXPECT_GT(high[0] - low[0], 100) << "X must move across the plane";
    EXPECT_GT(high[1] - low[1], 100) << "Y must move across the plane";
    EXPECT_GT(high[2] - low[2], 50) << "INT must move";
    EXPECT_GT(detected, 0) << "the colour passes through the taught rows";
}

TEST(Emulator, ColourNumberOfAFixedColour) {
    // 100, 50, 30: X 141, Y 70, INT 45 + 11 = 56.
    Emulator emulator;
    ASSERT_TRUE(emulator.open({"--fixed", "100,50,30"}));
    auto colourNumber = [&](const Bytes &block) {
        emulator.write(1, block);
        Bytes frame = emulator.askExactly(5, FRAME);
        EXPECT_EQ(frame.size(), (size_t)FRAME);
        return frame.size() == FRAME ? frame[6] : -1;
    };
    Bytes frame = emulator.askExactly(5, FRAME);
    EXPECT_EQ(frame, (Bytes{100, 50, 30, 141, 70, 56, frame[6]}));

    Bytes block = SensorBlock({55, 0, 0, 1, 0, 10, 0, 3, 2}, 0);
    SetRow(block, 0, {141, 70, 5, 100, 10}); // in the circle, out of the band
    SetRow(block, 1, {144, 74, 5, 60, 4});   // on the rim, at the band's edge
    SetRow(block, 3, {141, 70, 9, 56, 9});
    EXPECT_EQ(colourNumber(block), 1);
    block[INTLIM] = 56;
    EXPECT_EQ(colourNumber(block), 1);
    block[INTLIM] = 57;
    EXPECT_EQ(colourNumber(block), 255) << "INT below INTLIM";
    block[INTLIM] = 10;
    block[CellAt(1, 3)] = 4;
    EXPECT_EQ(colourNumber(block), 255) << "just outside the circle; row 3 is inactive";
    block[MAXCOL] = 4;
    EXPECT_EQ(colourNumber(block), 3);
    block[MAXCOL] = 200;
    EXPECT_EQ(colourNumber(block), 3) << "more than 15 active rows means all of them";
    block[EVALMODE] = 1;
    EXPECT_EQ(colourNumber(block), 0) << "EVALMODE 1 evaluates the position only";

    Bytes contrast = SensorBlock({55, 0, 0, 1, 4, 10, 0, 1, 2}, 0); // CONTRAST G, GREEN 50
    SetRow(contrast, 0, {60, 50, 1, 1, 1});
    EXPECT_EQ(colourNumber(contrast), 0);
    SetRow(contrast, 0, {49, 40, 1, 1, 1});
    EXPECT_EQ(colourNumber(contrast), 255);
    contrast[EVALMODE] = 3; // CONTRAST R, RED 100
    SetRow(contrast, 0, {100, 100, 1, 1, 1});
    EXPECT_EQ(colourNumber(contrast), 0);
}

TEST(Emulator, SilentAndWrongLineCheckFaults) {
    Emulator silent;
    ASSERT_TRUE(silent.open({"--silent"}));
    EXPECT_TRUE(silent.ask(7, 0.3).empty());
    EXPECT_TRUE(silent.ask(5, 0.3).empty());
    EXPECT_TRUE(silent.ask(3, 0.3).empty());

    Emulator wrong;
    ASSERT_TRUE(wrong.open({"--wrong-linecheck"}));
    EXPECT_EQ(wrong.ask(7), Bytes{0x55});
    EXPECT_EQ(wrong.ask(5).size(), (size_t)FRAME);

    Emulator chosen;
    ASSERT_TRUE(chosen.open({"--linecheck-byte", "0x12"}));
    EXPECT_EQ(chosen.ask(7), Bytes{0x12});
}

TEST(Emulator, ShortLongAndGarbledReplies) {
    Emulator shortBy;
    ASSERT_TRUE(shortBy.open({"--short", "1"}));
    EXPECT_EQ(shortBy.ask(7), lineOk);
    Bytes cut = shortBy.ask(5);
    ASSERT_EQ(cut.size(), (size_t)FRAME - 1);
    ExpectCoordinatesMatchRGB(cut);
    EXPECT_EQ(shortBy.ask(3).size(), (size_t)BLOCK - 1);

    Emulator longBy;
    ASSERT_TRUE(longBy.open({"--long", "1"}));
    EXPECT_EQ(longBy.ask(7), lineOk);
    Bytes grown = longBy.ask(5);
    ASSERT_EQ(grown.size(), (size_t)FRAME + 1);
    ExpectCoordinatesMatchRGB(grown);
    EXPECT_EQ(longBy.ask(4).size(), (size_t)BLOCK + 1);

    Emulator paramShort;
    ASSERT_TRUE(paramShort.open({"--param-short"}));
    EXPECT_EQ(paramShort.ask(3).size(), (size_t)BLOCK - 1);
    EXPECT_EQ(paramShort.ask(5).size(), (size_t)FRAME);

    Emulator garbled;
    ASSERT_TRUE(garbled.open({"--garble", "--fixed", "100,50,30"}));
    Bytes reply = garbled.ask(7);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_NE(reply[0], 0xAA);
    Bytes frame = garbled.ask(5);
    ASSERT_EQ(frame.size(), (size_t)FRAME);
    EXPECT_NE(frame, (Bytes{100, 50, 30, 141, 70, 56, 255}));
}

TEST(Emulator, LateRepliesAndHangUp) {
    Emulator late;
    ASSERT_TRUE(late.open({"--late", "200"}));
    auto start = Clock::now();
    EXPECT_EQ(late.askExactly(7, 1), lineOk);
    EXPECT_GE(SecondsSince(start), 0.19);

    Emulator hangup;
    ASSERT_TRUE(hangup.open({"--hangup-after", "3"}));
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(hangup.askExactly(5, FRAME).size(), (size_t)FRAME) << "frame " << n;
    }
    hangup.send({0x55, 0x05});
    // The line goes dead: the slave reports a hang-up instead of a frame.
    struct pollfd entry = {hangup.line, POLLIN, 0};
    ASSERT_EQ(poll(&entry, 1, 2000), 1);
    unsigned char byte = 0;
    ssize_t count = read(hangup.line, &byte, 1);
    EXPECT_TRUE(count == 0 || (count < 0 && errno == EIO)) << "count " << count;
    EXPECT_LT(Emulator::OpenRaw(hangup.path), 0) << "the line cannot be opened again";
    EXPECT_EQ(hangup.Wait(0.2), -1) << "the emulator itself stays until it is stopped";
    EXPECT_EQ(hangup.stop(), 0);
}

TEST(Emulator, PacedRepliesKeepTheLineRate) {
    auto timeFrames = [](const std::vector<std::string> &arguments, int frames) {
        Emulator emulator;
        EXPECT_TRUE(emulator.open(arguments));
        auto start = Clock::now();
        for (int n = 0; n < frames; ++n) {
            EXPECT_EQ(emulator.askExactly(5, FRAME).size(), (size_t)FRAME);
        }
        return SecondsSince(start);
    };
    double paced = timeFrames({"--pace"}, 50);
    double unpaced = timeFrames({}, 200);
    printf("paced: 50 frames in %.3f s (%.0f frames/s); unpaced: 200 frames in %.3f s "
           "(%.0f frames/s)\n",
           paced, 50 / paced, unpaced, 200 / unpaced);
    // Request and frame are 9 bytes of 10 bits each at 9600 baud.
    EXPECT_GE(paced, 50 * 9 * 10 / 9600.0 - 0.02);
}

TEST(Emulator, ReplaysARecordingInOrderAtItsPaceAndLoops) {
    std::string recording = TempPath("replay.csv");
    std::ofstream(recording) << "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\r\n"
                                "t,10.0,1,2,3,4,5,6,7,COM1\r\n"
                                "t,10.4,11,12,13,14,15,16,17,COM1\r\n";
    const Bytes first = {1, 2, 3, 4, 5, 6, 7};
    const Bytes second = {11, 12, 13, 14, 15, 16, 17};

    Emulator once;
    ASSERT_TRUE(once.open({"--replay", recording}));
    EXPECT_EQ(once.ask(5), first);
    EXPECT_EQ(once.ask(5), second);
    EXPECT_TRUE(once.ask(5, 0.3).empty()); // the recording is over: silence
    EXPECT_EQ(once.ask(7), Bytes{0xAA});

    Emulator looping;
    ASSERT_TRUE(looping.open({"--replay", recording, "--loop", "--replay-timing"}));
    auto start = Clock::now();
    EXPECT_EQ(looping.askExactly(5, FRAME), first);
    EXPECT_EQ(looping.askExactly(5, FRAME), second);
    EXPECT_GE(SecondsSince(start), 0.4); // recorded 0.4 s apart
    EXPECT_EQ(looping.askExactly(5, FRAME), first);
    std::filesystem::remove(recording);
}

TEST(Emulator, RefusesABadRecordingNamingFileAndLine) {
    std::string bad = TempPath("bad.csv");
    for (const std::string &text :
         {std::string("time,seconds\nt,0,1,2,3,4,5,6,300,COM1\n"), std::string("")}) {
        std::ofstream(bad, std::ios::trunc) << text;
        std::string command = EmulatorBinary() + " --replay " + bad + " 2>&1";
        FILE *output = popen(command.c_str(), "r");
        ASSERT_NE(output, nullptr);
        char message[512] = "";
        size_t length = fread(message, 1, sizeof message - 1, output);
        message[length] = '\0';
        int status = pclose(output);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << message;
        const std::string expected = bad + (text.empty() ? ":1: the file is empty" : ":2: C-No");
        EXPECT_NE(std::string(message).find(expected), std::string::npos) << message;
    }
    std::filesystem::remove(bad);
}

TEST(Emulator, HelpAndUsageErrors) {
    Emulator help;
    EXPECT_TRUE(help.start({"--help"}));
    EXPECT_EQ(help.firstLine.rfind("Usage: sensor-emulator", 0), 0u);
    EXPECT_EQ(help.Wait(5.0), 0);

    for (const std::vector<std::string> &bad : std::vector<std::vector<std::string>>{
             {"--short", "x"}, {"--fixed", "1,2"}, {"--fixed", "1,2,256"}, {"--bogus"}}) {
        Emulator emulator;
        EXPECT_FALSE(emulator.start(bad)) << bad[0];
        EXPECT_EQ(emulator.Wait(5.0), 2) << bad[0];
    }
}

} // namespace
