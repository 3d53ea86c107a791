#include "support/command.h"

#include "support/panel_fixture.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A new empty file of the test's own, for one of the child's output streams.
std::string TemporaryPath() {
    char pattern[] = "/tmp/nvmx-command-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd >= 0)
        close(fd);
    return pattern;
}

} // namespace

CommandRun::~CommandRun() {
    if (pid_ > 0)
        finish(0);
}

bool CommandRun::start(const std::vector<std::string> &argv,
                       const std::vector<std::string> &environment) {
    outPath_ = TemporaryPath();
    errPath_ = TemporaryPath();
    pid_ = fork();
    if (pid_ == 0) {
        int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        int none = open("/dev/null", O_RDONLY);
        dup2(none, STDIN_FILENO);
        ExecInChild(argv, environment);
    }
    return pid_ > 0;
}

void CommandRun::signal(int number) const {
    if (pid_ > 0)
        kill(pid_, number);
}

std::string CommandRun::outputSoFar() const {
    return ReadText(outPath_);
}

std::string CommandRun::waitForFirstLine(double seconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        const std::string out = outputSoFar();
        const size_t end = out.find('\n');
        if (end != std::string::npos)
            return out.substr(0, end);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return "";
}

CommandOutput CommandRun::finish(double seconds) {
    CommandOutput output;
    if (pid_ <= 0)
        return output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(pid_, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (ended == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    } else if (WIFEXITED(status)) {
        output.exitCode = WEXITSTATUS(status);
    }
    pid_ = -1;
    output.out = ReadText(outPath_);
    output.err = ReadText(errPath_);
    std::remove(outPath_.c_str());
    std::remove(errPath_.c_str());
    return output;
}

CommandOutput RunCommand(const std::vector<std::string> &argv,
                         const std::vector<std::string> &environment, double seconds) {
    CommandRun run;
    if (!run.start(argv, environment))
        return {};
    return run.finish(seconds);
}

// Puts environment entries into this process's environment.
static void ApplyEnvironment(const std::vector<std::string> &environment) {
    for (const std::string &entry : environment) {
        size_t equals = entry.find('=');
        std::string name = entry.substr(0, equals);
        std::string value = equals == std::string::npos ? "" : entry.substr(equals + 1);
        if (value.empty())
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
}

void ExecInChild(const std::vector<std::string> &argv,
                 const std::vector<std::string> &environment) {
    for (int fd = STDERR_FILENO + 1; fd < 1024; fd++)
        close(fd);
    ApplyEnvironment(environment);
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

std::string ReadText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string WithLine(const std::string &text, size_t index, int value) {
    std::vector<std::string> lines = Lines(text);
    char field[16];
    std::snprintf(field, sizeof field, "%5d", value);
    lines.at(index) = field;
    std::string changed;
    for (const std::string &line : lines)
        changed += line + "\n";
    return changed;
}

std::string Bin(const char *name) {
    const char *dir = std::getenv("NVMX_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + name;
}

namespace {
const double commandTimeout = 60.0; // a loaded two-core machine
} // namespace

void CommandFixture::SetUp() {
    scratch = MakeScratchDirectory(scratchName_);
    ASSERT_FALSE(scratch.empty());
}

void CommandFixture::TearDown() {
    emulators.clear();
    std::filesystem::remove_all(scratch);
}

std::string CommandFixture::emulator(const std::vector<std::string> &options) {
    std::vector<std::string> argv = {Bin("sensor-emulator")};
    argv.insert(argv.end(), options.begin(), options.end());
    emulators.push_back(std::make_unique<CommandRun>());
    EXPECT_TRUE(emulators.back()->start(argv, {}));
    std::string device = emulators.back()->waitForFirstLine(commandTimeout);
    EXPECT_FALSE(device.empty()) << "the emulator did not start";
    return device;
}

std::vector<std::string> CommandFixture::environment() const {
    return {"NVMX_COM1=",
            "DISPLAY=",
            "QT_QPA_PLATFORM=",
            "XDG_CONFIG_HOME=" + scratch.string(),
            "XDG_DATA_HOME=" + (scratch / "data").string(),
            "HOME=" + scratch.string()};
}

CommandOutput CommandFixture::run(const std::vector<std::string> &args) {
    std::vector<std::string> argv = {Bin("nvmxv451")};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, environment(), commandTimeout);
}
