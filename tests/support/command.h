// A program run to its end (or stopped) from a test, with its standard output and standard
// error kept whole. POSIX.
#pragma once

#include <string>
#include <vector>

struct CommandOutput {
    int exitCode = -1; // 0..255; -1 after a time-out or a signal
    std::string out;
    std::string err;
};

class CommandRun {
  public:
    CommandRun() = default;
    CommandRun(const CommandRun &) = delete;
    CommandRun &operator=(const CommandRun &) = delete;
    ~CommandRun();

    // Starts argv; environment entries "NAME=value" are added, "NAME=" removes NAME.
    bool start(const std::vector<std::string> &argv, const std::vector<std::string> &environment);
    void signal(int number) const;
    // What the program has written to its standard output so far.
    std::string outputSoFar() const;
    // Polls until the first line of standard output is complete (at most seconds); "" if not.
    std::string waitForFirstLine(double seconds) const;
    // Waits at most seconds for the end (then kills it) and collects its output.
    CommandOutput finish(double seconds);
    int pid() const { return pid_; }

  private:
    int pid_ = -1;
    std::string outPath_, errPath_;
};

// A program of the build under test (NVMX_BIN_DIR, else the working directory).
std::string Bin(const char *name);
// Runs argv to its end, at most seconds.
CommandOutput RunCommand(const std::vector<std::string> &argv,
                         const std::vector<std::string> &environment, double seconds);
// In a freshly forked child: drops the test's own descriptors (a pseudo-terminal master held
// there would keep a pulled line up), applies environment ("NAME=value" sets, "NAME=" removes)
// and runs argv; exits 127 when it cannot.
[[noreturn]] void ExecInChild(const std::vector<std::string> &argv,
                              const std::vector<std::string> &environment);
// A whole file as text ("" when it cannot be read), and a text written as a whole file.
std::string ReadText(const std::string &path);
void WriteText(const std::string &path, const std::string &text);
// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string &text);
// A .dat file's text with its line index (counted from 0) set to value.
std::string WithLine(const std::string &text, size_t index, int value);

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

// A test of the headless commands: a scratch folder of its own, sensor emulators that end with
// the test, and runs of the program with no mapped ports, no display and settings and data in
// the scratch folder.
class CommandFixture : public ::testing::Test {
  protected:
    explicit CommandFixture(const char *scratchName) : scratchName_(scratchName) {}
    void SetUp() override;
    void TearDown() override;

    // Starts a sensor emulator with options; returns its device path.
    std::string emulator(const std::vector<std::string> &options = {});
    std::vector<std::string> environment() const;
    // Runs the program with args to its end.
    CommandOutput run(const std::vector<std::string> &args);

    std::filesystem::path scratch;
    std::vector<std::unique_ptr<CommandRun>> emulators;

  private:
    const char *scratchName_;
};
