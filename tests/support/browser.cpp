#include "support/browser.h"

#include "support/broker.h"
#include "support/command.h"
#include "support/panel_fixture.h"
#include "web/access.h"

#include <httplib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

const char driverProgram[] = "/usr/bin/chromedriver";
const char browserProgram[] = "/usr/bin/chromium";
const double readySeconds = 20.0; // a loaded two-core machine
const int sessionSeconds = 60;    // the browser's own start
const int navigationSeconds = 30;
const int pageLoadMs = 25000; // the driver gives up on a page before the HTTP read does
const int endSeconds = 5;
const auto pollInterval = std::chrono::milliseconds(50);
enum { LAUNCH_ATTEMPTS = 5 };

Clock::time_point After(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::string Dump(const Json &value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The first line of a driver's error message: the rest is its session info and stack.
std::string FirstLine(const std::string &text) {
    return text.substr(0, text.find('\n'));
}

} // namespace

Browser::~Browser() {
    stop();
}

bool Browser::start(std::string *why) {
    stop();
    error_.clear();
    log_ = Json::array();
    auto fail = [&](const std::string &text) {
        error_ = text;
        if (why != nullptr)
            *why = error_;
        stop();
        return false;
    };
    for (const char *program : {driverProgram, browserProgram}) {
        if (access(program, X_OK) != 0)
            return fail(std::string(program) +
                        " is missing (apt-get install chromium chromium-driver)");
    }
    folder_ = MakeScratchDirectory("nvmx-browser-");
    if (folder_.empty())
        return fail("no scratch folder");
    std::error_code ignored;
    for (const char *sub : {"/profile", "/home", "/tmp"})
        std::filesystem::create_directory(folder_ + sub, ignored);
    // A port found free may be taken again before the driver binds it: then try another.
    bool launched = false;
    for (int attempt = 0; attempt < LAUNCH_ATTEMPTS && !launched; ++attempt) {
        if (!launchDriver(FreeLoopbackPort()))
            return fail(error_);
        launched = pid_ > 0;
    }
    if (!launched)
        return fail(error_);
    if (!createSession())
        return fail(error_);
    return true;
}

// False when the driver did not become ready in time; true with pid_ -1 when it ended at once
// (a port taken meanwhile), true with pid_ set when it is ready.
bool Browser::launchDriver(int port) {
    port_ = port;
    const std::string logPath = folder_ + "/chromedriver.log";
    const std::vector<std::string> argv = {driverProgram, "--port=" + std::to_string(port)};
    // The browser's home, caches and temporary files stay in the scratch folder; no display
    // and no desktop bus of the test's session.
    const std::vector<std::string> environment = {"HOME=" + folder_ + "/home",
                                                  "XDG_CONFIG_HOME=" + folder_ + "/home/.config",
                                                  "XDG_CACHE_HOME=" + folder_ + "/home/.cache",
                                                  "XDG_DATA_HOME=" + folder_ + "/home/.local",
                                                  "TMPDIR=" + folder_ + "/tmp",
                                                  "DISPLAY=",
                                                  "WAYLAND_DISPLAY=",
                                                  "DBUS_SESSION_BUS_ADDRESS="};
    const pid_t pid = fork();
    if (pid < 0) {
        error_ = "fork failed";
        return false;
    }
    if (pid == 0) {
        // A process group of its own, which the browser's processes join, so that one signal
        // ends them all.
        setpgid(0, 0);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        const int none = ::open("/dev/null", O_RDONLY);
        if (none >= 0)
            dup2(none, STDIN_FILENO);
        ExecInChild(argv, environment);
    }
    setpgid(pid, pid); // either of the two calls wins the race with exec
    pid_ = pid;
    const auto deadline = After(readySeconds);
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = "ChromeDriver ended at once; its log:\n" + driverLogTail();
            return true;
        }
        httplib::Client client("127.0.0.1", port_);
        client.set_connection_timeout(1);
        client.set_read_timeout(2);
        if (httplib::Result reply = client.Get("/status")) {
            const Json status = Json::parse(reply->body, nullptr, false);
            if (status.is_object() && status.contains("value") && status["value"].is_object() &&
                status["value"].value("ready", false))
                return true;
        }
        std::this_thread::sleep_for(pollInterval);
    }
    error_ = "ChromeDriver was not ready within " + std::to_string((int)readySeconds) +
             " s; its log:\n" + driverLogTail();
    endDriver();
    return false;
}

bool Browser::createSession() {
    Json options = {{"binary", browserProgram},
                    {"args",
                     {"--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                      "--window-size=1920,1080", "--user-data-dir=" + folder_ + "/profile",
                      // Nothing but 127.0.0.1 resolves, not even an address written out.
                      "--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1"}}};
    Json capabilities = {{"goog:chromeOptions", options},
                         {"goog:loggingPrefs", {{"browser", "ALL"}}},
                         {"timeouts", {{"pageLoad", pageLoadMs}, {"script", pageLoadMs}}}};
    Json value;
    bool created = command("POST", "/session", {{"capabilities", {{"alwaysMatch", capabilities}}}},
                           &value, sessionSeconds);
    // A driver that keeps no browser log refuses the whole request: ask again without it.
    if (!created && error_.find("invalid argument") != std::string::npos) {
        capabilities.erase("goog:loggingPrefs");
        created = command("POST", "/session", {{"capabilities", {{"alwaysMatch", capabilities}}}},
                          &value, sessionSeconds);
    }
    if (!created) {
        error_ = "no browser session: " + error_ + "\nChromeDriver's log:\n" + driverLogTail();
        return false;
    }
    if (!value.is_object() || !value.contains("sessionId") || !value["sessionId"].is_string()) {
        error_ = "no session id in " + Dump(value);
        return false;
    }
    session_ = value["sessionId"].get<std::string>();
    return true;
}

bool Browser::command(const char *method, const std::string &path, const Json &body, Json *value,
                      int readSeconds) {
    *value = nullptr;
    if (pid_ <= 0) {
        error_ = "ChromeDriver is not running";
        return false;
    }
    httplib::Client client("127.0.0.1", port_);
    client.set_connection_timeout(5);
    client.set_read_timeout(readSeconds);
    client.set_write_timeout(10);
    const std::string what = std::string(method) + " " + path;
    httplib::Result reply = std::string(method) == "GET" ? client.Get(path)
                            : std::string(method) == "DELETE"
                                ? client.Delete(path)
                                : client.Post(path, Dump(body), "application/json");
    if (!reply) {
        error_ = "no reply from ChromeDriver to " + what + ": " + httplib::to_string(reply.error());
        return false;
    }
    Json document = Json::parse(reply->body, nullptr, false);
    if (document.is_discarded() || !document.is_object() || !document.contains("value")) {
        error_ = what + ": HTTP " + std::to_string(reply->status) +
                 ", not a WebDriver reply: " + reply->body.substr(0, 500);
        return false;
    }
    *value = std::move(document["value"]);
    if (reply->status >= 400) {
        const Json &failure = *value;
        error_ = what + ": " +
                 (failure.is_object() ? failure.value("error", std::string("error")) + ": " +
                                            FirstLine(failure.value("message", std::string()))
                                      : Dump(failure));
        *value = nullptr;
        return false;
    }
    return true;
}

bool Browser::open(const std::string &url) {
    Json value;
    return command("POST", "/session/" + session_ + "/url", {{"url", url}}, &value,
                   navigationSeconds);
}

bool Browser::openTab(const std::string &url) {
    Json value;
    if (!command("POST", "/session/" + session_ + "/window/new", {{"type", "tab"}}, &value,
                 navigationSeconds) ||
        !value.contains("handle"))
        return false;
    Json switched;
    return command("POST", "/session/" + session_ + "/window", {{"handle", value["handle"]}},
                   &switched, navigationSeconds) &&
           open(url);
}

bool Browser::resize(int width, int height) {
    Json value;
    return command("POST", "/session/" + session_ + "/window/rect",
                   {{"width", width}, {"height", height}}, &value, navigationSeconds);
}

Json Browser::run(const std::string &script, bool *ok) {
    Json value;
    const bool done =
        command("POST", "/session/" + session_ + "/execute/sync",
                {{"script", script}, {"args", Json::array()}}, &value, navigationSeconds);
    if (ok != nullptr)
        *ok = done;
    return value;
}

bool Browser::waitFor(const std::string &script, double seconds) {
    const auto deadline = After(seconds);
    auto next = Clock::now();
    std::string last;
    for (;;) {
        bool ok = false;
        const Json value = run(script, &ok);
        if (ok && value.is_boolean() && value.get<bool>())
            return true;
        last = ok ? "it returned " + Dump(value) : error_;
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        next += pollInterval;
        if (next < now)
            next = now;
        std::this_thread::sleep_until(std::min(next, deadline));
    }
    error_ =
        "not true within " + std::to_string(seconds) + " s: " + script + "\n(last: " + last + ")";
    return false;
}

bool Browser::screenshot(const std::string &pngPath) {
    Json value;
    if (!command("GET", "/session/" + session_ + "/screenshot", nullptr, &value, navigationSeconds))
        return false;
    std::string bytes;
    if (!value.is_string() || !DecodeBase64(value.get<std::string>(), &bytes) || bytes.empty()) {
        error_ = "the screenshot is not base64";
        return false;
    }
    std::ofstream file(pngPath, std::ios::binary);
    file.write(bytes.data(), (std::streamsize)bytes.size());
    file.close();
    if (!file) {
        error_ = "cannot write " + pngPath;
        return false;
    }
    return true;
}

Json Browser::consoleLog() {
    // The driver hands each entry out once: keep them all here.
    Json value;
    if (!session_.empty() &&
        command("POST", "/session/" + session_ + "/se/log", {{"type", "browser"}}, &value, 10) &&
        value.is_array()) {
        for (Json &entry : value)
            log_.push_back(std::move(entry));
    }
    return log_;
}

void Browser::stop() {
    if (!session_.empty() && pid_ > 0) {
        Json value;
        command("DELETE", "/session/" + session_, nullptr, &value, 10);
    }
    session_.clear();
    endDriver();
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        folder_.clear();
    }
}

void Browser::endDriver() {
    if (pid_ <= 0)
        return;
    kill(-pid_, SIGTERM);
    // Until the driver is reaped its id stays its group's, so the group can be signalled again.
    const auto deadline = After(endSeconds);
    siginfo_t info{};
    while (Clock::now() < deadline) {
        info.si_pid = 0;
        if (waitid(P_PID, (id_t)pid_, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    // The browser's processes, orphaned now, end under the signal; the scratch folder is removed
    // only when none is left to write into it. Their remains wait for init to reap them, which
    // here can take a second: those do not count.
    const auto emptied = After(endSeconds);
    while (!ProcessesInGroup(pid_).empty() && Clock::now() < emptied)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pid_ = -1;
    // The browser's crash handlers leave the group for sessions of their own; they end with the
    // browser, and are known by the scratch folder on their command lines.
    const std::string mark = folder_ + "/";
    while (!ProcessesNaming(mark).empty() && Clock::now() < emptied)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (pid_t left : ProcessesNaming(mark))
        kill(left, SIGKILL);
}

namespace {

// Every process but this one whose /proc folder matches.
std::vector<pid_t> Processes(const std::function<bool(const std::string &)> &matches) {
    std::vector<pid_t> found;
    std::error_code failed;
    for (const auto &entry : std::filesystem::directory_iterator("/proc", failed)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = (pid_t)std::stol(name);
        if (pid != getpid() && matches(entry.path().string()))
            found.push_back(pid);
    }
    return found;
}

} // namespace

std::vector<pid_t> ProcessesInGroup(pid_t group) {
    return Processes([group](const std::string &folder) {
        // After the command's name in parentheses: state, parent, process group.
        const std::string stat = ReadText(folder + "/stat");
        const size_t end = stat.rfind(')');
        char state = 0;
        int parent = 0, pgrp = 0;
        return end != std::string::npos &&
               std::sscanf(stat.c_str() + end + 1, " %c %d %d", &state, &parent, &pgrp) == 3 &&
               pgrp == group && state != 'Z' && state != 'X';
    });
}

std::vector<pid_t> ProcessesNaming(const std::string &text) {
    if (text.empty())
        return {};
    return Processes([&text](const std::string &folder) {
        return ReadText(folder + "/cmdline").find(text) != std::string::npos;
    });
}

std::string Browser::driverLogTail() const {
    const std::string text = ReadText(folder_ + "/chromedriver.log");
    return text.size() > 3000 ? text.substr(text.size() - 3000) : text;
}
