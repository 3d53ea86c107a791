#include "support/emulator_child.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string EmulatorBinary() {
    const char *dir = getenv("NVMX_BIN_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/sensor-emulator";
}

bool Emulator::start(const std::vector<std::string> &arguments) {
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

bool Emulator::open(const std::vector<std::string> &arguments) {
    if (!start(arguments)) {
        return false;
    }
    path = firstLine;
    line = OpenRaw(path);
    return line >= 0;
}

int Emulator::stop() {
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

int Emulator::Wait(double seconds) {
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

Emulator::~Emulator() {
    stop();
    if (out >= 0) {
        close(out);
    }
}

std::string Emulator::ReadLine(int fd, double seconds) {
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

int Emulator::OpenRaw(const std::string &device) {
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

void Emulator::send(const Bytes &bytes) const {
    ASSERT_EQ(::write(line, bytes.data(), bytes.size()), (ssize_t)bytes.size());
}

Bytes Emulator::receive(size_t want, double quietSeconds) const {
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

Bytes Emulator::ask(unsigned char command, double quietSeconds) const {
    send({0x55, command});
    return receive(4096, quietSeconds);
}

Bytes Emulator::askExactly(unsigned char command, size_t length) const {
    send({0x55, command});
    return receive(length);
}

void Emulator::write(unsigned char command, const Bytes &block) const {
    Bytes request(2 + block.size());
    request[0] = 0x55;
    request[1] = command;
    std::copy(block.begin(), block.end(), request.begin() + 2);
    send(request);
}

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
