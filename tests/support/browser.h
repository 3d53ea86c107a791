// A headless Chromium for tests, driven through ChromeDriver's WebDriver protocol on a free
// loopback port. The browser reaches 127.0.0.1 only: every other host name or address, localhost
// included, fails to resolve. Its profile, home and temporary files live in a scratch folder of
// its own that stop() removes. One thread at a time. POSIX.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <sys/types.h>
#include <vector>

class Browser {
  public:
    Browser() = default;
    Browser(const Browser &) = delete;
    Browser &operator=(const Browser &) = delete;
    ~Browser();

    // Starts ChromeDriver, waits until it is ready and opens a session with a fresh profile.
    // False, with error() (also into why when given), when it cannot.
    bool start(std::string *why = nullptr);
    // Navigates to url and waits for the page's load event.
    bool open(const std::string &url);
    // Opens url in a new tab, which later calls then work in; the others keep running.
    bool openTab(const std::string &url);
    // The window's outer size in pixels.
    bool resize(int width, int height);
    // Runs a script body ("return document.title") in the page and gives its return value as
    // JSON (undefined as null). On failure: null, error() and *ok false.
    nlohmann::json run(const std::string &script, bool *ok = nullptr);
    // Runs script every 50 ms until it returns true or seconds have passed (then false, with
    // the last result or script error in error()).
    bool waitFor(const std::string &script, double seconds);
    // Writes the visible part of the page as a PNG file.
    bool screenshot(const std::string &pngPath);
    // The browser's log entries since the session began ({"level", "message", "source",
    // "timestamp"} each): console output and failed loads. An empty array when the driver keeps
    // none.
    nlohmann::json consoleLog();
    // Ends the session, ChromeDriver and every browser process, and removes the scratch folder.
    void stop();

    const std::string &error() const { return error_; }
    // ChromeDriver's process id, also the id of the process group of it and the browser's
    // processes; -1 when not running.
    pid_t driverPid() const { return pid_; }
    const std::string &folder() const { return folder_; }

  private:
    bool launchDriver(int port);
    bool createSession();
    // One WebDriver command: method "GET", "POST" or "DELETE" on path; the reply's "value" into
    // value. False, with error(), on a transport failure or a WebDriver error.
    bool command(const char *method, const std::string &path, const nlohmann::json &body,
                 nlohmann::json *value, int readSeconds);
    std::string driverLogTail() const;
    void endDriver();

    std::string folder_;
    std::string session_;
    std::string error_;
    nlohmann::json log_ = nlohmann::json::array();
    int port_ = 0;
    pid_t pid_ = -1;
};

// The live processes other than this one in a process group (not those that only wait to be
// reaped), and those whose command line contains text.
std::vector<pid_t> ProcessesInGroup(pid_t group);
std::vector<pid_t> ProcessesNaming(const std::string &text);
