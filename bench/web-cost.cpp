// What the web view costs the line service, and how fresh its tiles are: a line of paced
// emulators served with its web view, the service's CPU measured with no page open and with
// pages of the line open in headless Chromium, then the age of each frame when its tile shows it
// (the frame's time stamp in the service against the page's clock, the same computer's). With
// --screenshot FOLDER it instead serves a line of 8 with one sensor lost and one replaced
// (an alarm) and writes web-line.png and web-sensor.png there.
//   NVMX_BIN_DIR=build/bin build/bin/web-cost [--seconds S] [--sensors N] [--pages P]
//                                             [--shot FILE]
//   NVMX_BIN_DIR=build/bin build/bin/web-cost --screenshot screenshots
#include "support/browser.h"
#include "support/command.h"
#include "support/web_fixture.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

namespace fs = std::filesystem;

const char *const NAMES[] = {"infeed", "labeller",     "filler-a", "filler-b",
                             "capper", "checkweigher", "sealer",   "outfeed"};

// Colours that the emulator's own table detects as its rows 0, 1 and 2.
const char *const COLOURS[] = {"155,8,183", "47,95,140", "4,209,59"};

// The user and system time of a process or thread (its /proc folder), in seconds.
double StatSeconds(const std::string &folder) {
    std::ifstream stat(folder + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; i++)
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    return ticks / (double)sysconf(_SC_CLK_TCK);
}

struct Bench {
    fs::path scratch;
    std::vector<std::unique_ptr<CommandRun>> emulators;
    std::vector<std::string> names;
    std::unique_ptr<CommandRun> serve;
    int port = 0;

    std::vector<std::string> environment() const {
        return {"XDG_CONFIG_HOME=" + (scratch / "config").string(),
                "XDG_DATA_HOME=" + (scratch / "data").string(), "NVMX_COM1=", "DISPLAY="};
    }
    // A paced emulator behind the sensor's stable name.
    bool plug(const std::string &name, std::vector<std::string> options) {
        auto emulator = std::make_unique<CommandRun>();
        options.insert(options.begin(), {Bin("sensor-emulator"), "--pace"});
        if (!emulator->start(options, {}))
            return false;
        const std::string device = emulator->waitForFirstLine(20);
        if (device.empty())
            return false;
        fs::remove(scratch / name);
        fs::create_symlink(device, scratch / name);
        emulators.push_back(std::move(emulator));
        return true;
    }
    bool start(int sensors, const std::string &service) {
        scratch = fs::temp_directory_path() / ("nvmx-web-cost-" + std::to_string(getpid()));
        fs::create_directories(scratch);
        std::string text = "[line]\nname = \"line7\"\nlog = \"changes.jsonl\"\n" + service;
        for (int i = 0; i < sensors; i++) {
            names.push_back(sensors <= 8 ? NAMES[i] : "station-s" + std::to_string(i + 1));
            if (!plug(names.back(), {"--fixed", COLOURS[i % 3], "--noise", "2"}))
                return false;
            text += "\n[[sensor]]\nname = \"" + names.back() + "\"\nport = \"" +
                    (scratch / names.back()).string() + "\"\napproved = \"approved.dat\"\n";
        }
        const std::string approved = (scratch / "approved.dat").string();
        if (RunCommand({Bin("nvmxv451"), "get", "--port", (scratch / names[0]).string(), "--from",
                        "eeprom", "-o", approved},
                       environment(), 20)
                .exitCode != 0)
            return false;
        std::ofstream((scratch / "line.toml").string()) << text;
        port = FreeLoopbackPort();
        serve = std::make_unique<CommandRun>();
        return serve->start({Bin("nvmxv451"), "serve", "--line", (scratch / "line.toml").string(),
                             "--state", (scratch / "service").string(), "--http",
                             std::to_string(port)},
                            environment()) &&
               waitForLine([](const nlohmann::json &line) {
                   for (const auto &tile : line["sensors"])
                       if (tile["frame"].is_null())
                           return false;
                   return true;
               });
    }
    template <typename Check> bool waitForLine(Check check) {
        httplib::Client client("127.0.0.1", port);
        for (int i = 0; i < 1200; i++) {
            const auto answer = client.Get("/api/line");
            if (answer && answer->status == 200 && check(nlohmann::json::parse(answer->body)))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port); }
    // The service's user and system time so far, in seconds.
    double cpuSeconds() const { return StatSeconds("/proc/" + std::to_string(serve->pid())); }
    // The web view's threads' user and system time so far, in seconds (named nvmx-web...).
    double webSeconds() const {
        double sum = 0;
        const fs::path tasks = "/proc/" + std::to_string(serve->pid()) + "/task";
        for (const auto &task : fs::directory_iterator(tasks)) {
            if (ReadText((task.path() / "comm").string()).rfind("nvmx-web", 0) != 0)
                continue;
            sum += StatSeconds(task.path().string());
        }
        return sum;
    }
    struct Share {
        double process, web; // % of a core
    };
    // The service's share of a core over seconds, and its web view's.
    Share cpuShare(double seconds) const {
        const double before = cpuSeconds(), webBefore = webSeconds();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return {(cpuSeconds() - before) / seconds * 100,
                (webSeconds() - webBefore) / seconds * 100};
    }
    ~Bench() {
        if (serve) {
            serve->signal(SIGTERM);
            serve->finish(20);
        }
        emulators.clear();
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    }
};

// The ages (ms) of the frames the open page's tiles show, as they show them, for seconds.
bool FrameAges(Browser *browser, double seconds, std::vector<double> *ages) {
    browser->run(R"(
        window.frameAges = [];
        new MutationObserver(changes => {
            const now = Date.now();
            for (const c of changes)
                if (c.attributeName === 'data-frame-ms' && c.target.dataset.frameMs)
                    window.frameAges.push(now - Number(c.target.dataset.frameMs));
        }).observe(document.body, {subtree: true, attributes: true,
                                   attributeFilter: ['data-frame-ms']});
        return true;)");
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const nlohmann::json shown = browser->run("return window.frameAges");
    if (!shown.is_array() || shown.empty())
        return false;
    for (const auto &age : shown)
        ages->push_back(age.get<double>());
    std::sort(ages->begin(), ages->end());
    return true;
}

int Screenshots(const std::string &folder) {
    Bench bench;
    if (!bench.start(8, "\n[service]\non_replace = \"alarm\"\n")) {
        std::fprintf(stderr, "web-cost: the line did not start\n");
        return 1;
    }
    // The checkweigher is replaced by a unit holding INTLIM 30, then the capper's emulator ends
    // (in this order, so that the new unit does not take the capper's pseudo-terminal number).
    const std::string other = (bench.scratch / "other.dat").string();
    std::ofstream(other) << WithLine(ReadText((bench.scratch / "approved.dat").string()), 5, 30);
    bench.emulators[5]->signal(SIGTERM);
    bench.emulators[5]->finish(20);
    bench.plug("checkweigher", {"--fixed", COLOURS[5 % 3], "--noise", "2", "--eeprom", other});
    bench.emulators[4]->signal(SIGTERM);
    bench.emulators[4]->finish(20);
    bench.waitForLine([](const nlohmann::json &line) {
        return line["sensors"][5]["alarms"].size() > 0 &&
               line["sensors"][5]["presence"] == "online";
    });
    Browser browser;
    std::string why;
    if (!browser.start(&why) || !browser.resize(1920, 1080) || !browser.open(bench.base() + "/")) {
        std::fprintf(stderr, "web-cost: no browser: %s\n", browser.error().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    browser.screenshot(folder + "/web-line.png");
    browser.resize(1600, 900);
    browser.open(bench.base() + "/sensor.html?name=checkweigher");
    std::this_thread::sleep_for(std::chrono::seconds(20));
    browser.screenshot(folder + "/web-sensor.png");
    std::printf("web-cost: %s/web-line.png and %s/web-sensor.png written\n", folder.c_str(),
                folder.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    double seconds = 60;
    int sensors = 32, pages = 5;
    std::string shot; // --shot FILE: the last page at the end, as a PNG
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--screenshot")
            return Screenshots(argv[i + 1]);
        if (option == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (option == "--sensors")
            sensors = std::atoi(argv[i + 1]);
        else if (option == "--pages")
            pages = std::atoi(argv[i + 1]);
        else if (option == "--shot")
            shot = argv[i + 1];
    }
    Bench bench;
    if (!bench.start(sensors, "")) {
        std::fprintf(stderr, "web-cost: the line did not start\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const Bench::Share idle = bench.cpuShare(seconds);
    // The same streams read without a browser: the service's own cost, apart from what the
    // browser's work on the same cores adds to it.
    {
        std::atomic<bool> stop{false};
        std::vector<std::thread> readers;
        for (int page = 0; page < pages; page++)
            readers.emplace_back([&] {
                httplib::Client client("127.0.0.1", bench.port);
                client.set_read_timeout(30);
                client.Get("/api/stream", [&](const char *, size_t) { return !stop; });
            });
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const Bench::Share streamed = bench.cpuShare(seconds);
        stop = true;
        for (std::thread &reader : readers)
            reader.join();
        std::printf("web-cost: %d streams read without a browser: service %.2f %% of a core "
                    "(+%.2f %%), its web view's threads %.3f %% (+%.3f %%)\n",
                    pages, streamed.process, streamed.process - idle.process, streamed.web,
                    streamed.web - idle.web);
    }
    Browser browser;
    std::string why;
    if (!browser.start(&why) || !browser.open(bench.base() + "/")) {
        std::fprintf(stderr, "web-cost: no browser: %s\n", browser.error().c_str());
        return 1;
    }
    for (int page = 1; page < pages; page++)
        if (!browser.openTab(bench.base() + "/")) {
            std::fprintf(stderr, "web-cost: page %d: %s\n", page + 1, browser.error().c_str());
            return 1;
        }
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const Bench::Share watched = bench.cpuShare(seconds);
    std::vector<double> ages;
    if (!FrameAges(&browser, 10, &ages)) {
        std::fprintf(stderr, "web-cost: the page showed no frames: %s\n", browser.error().c_str());
        return 1;
    }
    if (!shot.empty() && !browser.screenshot(shot))
        std::fprintf(stderr, "web-cost: %s\n", browser.error().c_str());
    auto at = [&](double share) { return ages[(size_t)(share * (double)(ages.size() - 1))]; };
    std::printf("web-cost: %d sensors, %.0f s each: service %.2f %% of a core with no page, "
                "%.2f %% with %d pages in the browser (+%.2f %%); its web view's threads "
                "%.3f %% and %.3f %% (+%.3f %%)\n",
                sensors, seconds, idle.process, watched.process, pages,
                watched.process - idle.process, idle.web, watched.web, watched.web - idle.web);
    std::printf("web-cost: frame to tile over %zu tiles shown: median %.0f ms, 95th percentile "
                "%.0f ms, longest %.0f ms\n",
                ages.size(), at(0.5), at(0.95), ages.back());
    return 0;
}
