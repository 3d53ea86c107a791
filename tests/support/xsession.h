// A private X server and child processes, for tests that run the real program in a real window.
#pragma once

#include "com232/link.h" // MonotonicSeconds
#include "support/pty_peer.h"

#include <string>
#include <vector>

// An Xvfb server of its own for the test program; stopped by the destructor.
class XSession {
  public:
    XSession() = default;
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;
    ~XSession();

    // Starts the server with one screen of the given size ("1280x1024").
    bool start(const std::string &screen = "1280x1024");
    const std::string &display() const { return display_; }
    // The viewable top-level window with exactly this title, or 0.
    unsigned long findWindow(const std::string &title) const;
    // Polls for the window; returns it, or 0 after the time-out.
    unsigned long waitForWindow(const std::string &title, double seconds) const;
    // Asks the window to close, as a window manager's close button does.
    bool closeWindow(unsigned long window) const;
    // Gives the window the keyboard focus and types one key (xdotool key name, e.g. "F11").
    bool pressKey(unsigned long window, const std::string &key) const;
    // Gives the window the focus and types the keys (xdotool names) delayMs apart, in one
    // xdotool run so that the gaps are the given ones.
    bool typeKeys(unsigned long window, const std::vector<std::string> &keys, int delayMs) const;
    // The window's size and the smallest size it asks the window manager for (0 x 0 when it
    // asks none).
    bool windowSize(unsigned long window, int *width, int *height, int *minWidth,
                    int *minHeight) const;
    // Writes a PNG of the window.
    bool screenshot(unsigned long window, const std::string &path) const;

  private:
    int pid_ = -1;
    std::string display_;
    void *connection_ = nullptr;
};

// A child process with its own environment additions; killed by the destructor if still running.
class ChildProcess {
  public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess();

    // environment entries "NAME=value" are added; entries "NAME=" remove NAME.
    bool start(const std::vector<std::string> &argv, const std::vector<std::string> &environment);
    // As start, and reads the child's first line of standard output into firstLine.
    bool startReadingFirstLine(const std::vector<std::string> &argv,
                               const std::vector<std::string> &environment, std::string *firstLine);
    // Waits for the end; returns the exit status (0..255), or -1 on time-out or a signal.
    int wait(double seconds);
    bool running();
    // User plus system CPU seconds the child has spent so far.
    double cpuSeconds() const;
    int pid() const { return pid_; }

  private:
    bool startWithOutput(const std::vector<std::string> &argv,
                         const std::vector<std::string> &environment, int outputFd);
    int pid_ = -1;
    int status_ = -1;
};

// Starts the program with its COM1 on peer, which answers as a sensor holding block (RAM and
// EEPROM alike), in x's display; waits for its window (into *panel) and for the start-up's line
// check and parameter read. False when any of it does not come within seconds.
bool StartProgramOnSensor(const XSession &x, PtyPeer &peer, ChildProcess &program,
                          const Bytes &block, double seconds, unsigned long *panel);

// The directory of the program under test ($NVMX_BIN_DIR).
std::string BinDir();
