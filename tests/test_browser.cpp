// The tests' browser against pages served here: it waits for a page's own later change, polling
// at its pace, hands back what scripts return, reaches no host but 127.0.0.1, writes screenshots
// of what the page shows and leaves no process and no file behind.
#include "support/browser.h"

#include "support/command.h"
#include "support/panel_fixture.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ifaddrs.h>
#include <map>
#include <mutex>
#include <net/if.h>
#include <netinet/in.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

const double timeout = 15.0; // a loaded two-core machine

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string GreenPng() {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(qRgb(0, 255, 0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// Pages and an image on a free port of one address, served on threads of their own; counts the
// image's requests by the host they name.
class PageServer {
  public:
    explicit PageServer(const std::string &address) : address_(address) {
        server_.Get("/pixel.png",
                    [this](const httplib::Request &request, httplib::Response &reply) {
                        std::lock_guard<std::mutex> lock(mutex_);
                        ++imageRequests_[request.get_header_value("Host")];
                        reply.set_header("Cache-Control", "no-store");
                        reply.set_content(png_, "image/png");
                    });
        server_.Get(R"(/(\w+)\.html)",
                    [this](const httplib::Request &request, httplib::Response &reply) {
                        std::lock_guard<std::mutex> lock(mutex_);
                        const auto page = pages_.find(request.matches[1]);
                        if (page == pages_.end()) {
                            reply.status = 404;
                            return;
                        }
                        reply.set_content(page->second, "text/html; charset=utf-8");
                    });
        port_ = server_.bind_to_any_port(address);
        if (port_ > 0)
            thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~PageServer() {
        server_.stop();
        if (thread_.joinable())
            thread_.join();
    }

    int port() const { return port_; }
    std::string origin() const { return "http://" + address_ + ":" + std::to_string(port_); }
    void page(const std::string &name, const std::string &html) {
        std::lock_guard<std::mutex> lock(mutex_);
        pages_[name] = html;
    }
    int imageRequests(const std::string &host) {
        std::lock_guard<std::mutex> lock(mutex_);
        return imageRequests_[host];
    }

  private:
    std::string address_;
    std::string png_ = GreenPng();
    httplib::Server server_;
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, std::string> pages_;
    std::map<std::string, int> imageRequests_;
    int port_ = -1;
};

// An IPv4 address of this machine that is not loopback; "" when it has none.
std::string OutwardAddress() {
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return "";
    std::string found;
    for (const ifaddrs *entry = list; entry != nullptr && found.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        char text[INET_ADDRSTRLEN] = "";
        const auto *address = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr);
        if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr)
            found = text;
    }
    freeifaddrs(list);
    return found;
}

// Whether some log entry's message names both texts.
bool Logged(const Json &log, const std::string &text, const std::string &also) {
    return std::any_of(log.begin(), log.end(), [&](const Json &entry) {
        const std::string message =
            entry.is_object() ? entry.value("message", std::string()) : std::string();
        return message.find(text) != std::string::npos && message.find(also) != std::string::npos;
    });
}

class BrowserTest : public ::testing::Test {
  protected:
    // One browser for the suite: its start is most of a test's time. It starts before the
    // server's threads, so that it forks a process of one thread.
    static void SetUpTestSuite() {
        browser = new Browser;
        started = browser->start(&why);
        server = new PageServer("127.0.0.1");
    }
    static void TearDownTestSuite() {
        delete browser;
        delete server;
    }
    void SetUp() override {
        ASSERT_TRUE(started) << why;
        ASSERT_GT(server->port(), 0);
    }

    static Browser *browser;
    static PageServer *server;
    static bool started;
    static std::string why;
};

Browser *BrowserTest::browser = nullptr;
PageServer *BrowserTest::server = nullptr;
bool BrowserTest::started = false;
std::string BrowserTest::why;

TEST_F(BrowserTest, WaitsForAPagesLaterChangeAtItsPollingPace) {
    server->page("late", R"(<!doctype html><title>Late</title><p id="state">waiting</p>
<script>
addEventListener("load", () => setTimeout(() => {
    document.getElementById("state").textContent = "ready";
    window.changedAt = performance.now();
}, 1000));
</script>)");
    ASSERT_TRUE(browser->open(server->origin() + "/late.html")) << browser->error();
    const auto start = Clock::now();
    EXPECT_TRUE(browser->waitFor("(window.polls = window.polls || []).push(performance.now());"
                                 "return document.getElementById('state').textContent === 'ready'",
                                 timeout))
        << browser->error();
    EXPECT_LT(SecondsSince(start), timeout / 2);
    const Json polls = browser->run("return window.polls");
    const Json changedAt = browser->run("return window.changedAt");
    ASSERT_TRUE(polls.is_array() && !polls.empty()) << polls;
    ASSERT_TRUE(changedAt.is_number()) << changedAt;
    // Seen soon after the change, by polls about 50 ms apart: not a busy loop, not a slow one.
    // (Before the change there are as many polls as the time left allows: none when the page
    // changed before the first.)
    const double change = changedAt.get<double>();
    const double first = polls.front().get<double>();
    EXPECT_LT(polls.back().get<double>() - change, 500.0) << polls;
    const auto before = std::count_if(
        polls.begin(), polls.end(), [&](const Json &poll) { return poll.get<double>() < change; });
    EXPECT_GE((double)before, (change - first) / 150.0) << polls;
    std::vector<double> gaps;
    for (size_t i = 1; i < polls.size(); ++i)
        gaps.push_back(polls[i].get<double>() - polls[i - 1].get<double>());
    if (gaps.size() >= 5) {
        std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
        EXPECT_GE(gaps[gaps.size() / 2], 30.0) << polls;
        EXPECT_LE(gaps[gaps.size() / 2], 150.0) << polls;
    }

    // Never true: false at the bound, not before and not long after, with what it last saw.
    const auto never = Clock::now();
    EXPECT_FALSE(browser->waitFor("return document.title === 'Other'", 0.5));
    EXPECT_GE(SecondsSince(never), 0.5);
    EXPECT_LT(SecondsSince(never), 3.0);
    EXPECT_NE(browser->error().find("it returned false"), std::string::npos) << browser->error();
    // Only true counts, and a script that fails says why.
    EXPECT_FALSE(browser->waitFor("return 'ready'", 0.2));
    EXPECT_FALSE(browser->waitFor("return noSuchName.value", 0.2));
    EXPECT_NE(browser->error().find("noSuchName"), std::string::npos) << browser->error();
}

TEST_F(BrowserTest, HandsBackWhatAScriptReturnsAndWhyOneFails) {
    server->page("values", "<!doctype html><title>Values \xc3\xbc</title><p>x</p>");
    ASSERT_TRUE(browser->open(server->origin() + "/values.html")) << browser->error();
    bool ok = false;
    EXPECT_EQ(browser->run("return {count: 42, below: -7, part: 0.25, text: 'gr\\u00fcn \"q\"',"
                           "yes: true, no: false, none: null, list: [1, 'two', [3]],"
                           "nested: {k: {v: document.querySelectorAll('p').length}}}",
                           &ok),
              Json::parse(R"({"count": 42, "below": -7, "part": 0.25, "text": "grün \"q\"",
                              "yes": true, "no": false, "none": null, "list": [1, "two", [3]],
                              "nested": {"k": {"v": 1}}})"));
    EXPECT_TRUE(ok) << browser->error();
    EXPECT_EQ(browser->run("return document.title"), "Values \xc3\xbc");
    EXPECT_EQ(browser->run("return 2 ** 40"), 1099511627776LL);
    EXPECT_TRUE(browser->run("return undefined", &ok).is_null());
    EXPECT_TRUE(ok) << browser->error();

    EXPECT_TRUE(browser->run("throw new Error('deliberate failure')", &ok).is_null());
    EXPECT_FALSE(ok);
    EXPECT_NE(browser->error().find("deliberate failure"), std::string::npos) << browser->error();
}

TEST_F(BrowserTest, ReachesNoHostButLoopbackAndLogsWhatFailed) {
    const std::string outward = OutwardAddress();
    PageServer outside(outward.empty() ? "127.0.0.1" : outward);
    ASSERT_GT(outside.port(), 0);
    const std::string port = std::to_string(server->port());
    std::map<std::string, std::string> images = {
        {"loopback", server->origin() + "/pixel.png"},
        {"localhost", "http://localhost:" + port + "/pixel.png"},
        {"named", "http://example.com/x.png"}};
    if (!outward.empty())
        images["outward"] = outside.origin() + "/pixel.png";
    std::string html = "<!doctype html><title>Reach</title><script>window.loads = {};</script>";
    for (const auto &[name, url] : images)
        html += "<img src=\"" + url + "\" onload=\"loads['" + name +
                "'] = 'load'\" onerror=\"loads['" + name + "'] = 'error'\">";
    html += "<script>console.log('reach page ' + 'written')</script>";
    server->page("reach", html);

    ASSERT_TRUE(browser->open(server->origin() + "/reach.html")) << browser->error();
    ASSERT_TRUE(browser->waitFor(
        "return Object.keys(window.loads).length === " + std::to_string(images.size()), timeout))
        << browser->error();
    const Json loads = browser->run("return window.loads");
    EXPECT_EQ(loads["loopback"], "load") << loads;
    EXPECT_GE(server->imageRequests("127.0.0.1:" + port), 1);
    // localhost would be loopback too, and the outward address is this very machine: only the
    // browser's own rule keeps them out, before a request is made.
    EXPECT_EQ(loads["localhost"], "error") << loads;
    EXPECT_EQ(server->imageRequests("localhost:" + port), 0);
    EXPECT_EQ(loads["named"], "error") << loads;
    if (!outward.empty()) {
        EXPECT_EQ(loads["outward"], "error") << loads;
        EXPECT_EQ(outside.imageRequests(outward + ":" + std::to_string(outside.port())), 0);
    } else {
        std::printf("note: no address but loopback here, so an outward address is not tried\n");
    }

    const Json log = browser->consoleLog();
    ASSERT_TRUE(log.is_array()) << log;
    EXPECT_TRUE(Logged(log, "reach page written", "reach.html")) << log.dump(1);
    for (const auto &[name, url] : images) {
        EXPECT_TRUE(name == "loopback" || Logged(log, url, "ERR_NAME_NOT_RESOLVED"))
            << name << ": " << log.dump(1);
    }
    // The driver hands entries out once; the browser keeps them.
    EXPECT_EQ(browser->consoleLog().size(), log.size());

    // A page of another host does not open, and says why.
    EXPECT_FALSE(browser->open("http://example.com/"));
    EXPECT_NE(browser->error().find("ERR_NAME_NOT_RESOLVED"), std::string::npos)
        << browser->error();
}

TEST_F(BrowserTest, ScreenshotIsThePageAsShown) {
    server->page("red", "<!doctype html><title>Red</title>"
                        "<body style='margin:0;background:#ff0000'><div style='position:fixed;"
                        "left:0;top:0;width:100px;height:100px;background:#0000ff'></div></body>");
    ASSERT_TRUE(browser->open(server->origin() + "/red.html")) << browser->error();
    const std::string folder = MakeScratchDirectory("nvmx-screenshot-");
    ASSERT_FALSE(folder.empty());
    const std::string path = folder + "/red.png";
    ASSERT_TRUE(browser->screenshot(path)) << browser->error();
    const std::string bytes = ReadText(path);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(path), "PNG"));
    const Json view = browser->run("return [innerWidth * devicePixelRatio, innerHeight * "
                                   "devicePixelRatio]");
    EXPECT_EQ(image.width(), view[0].get<double>()) << view;
    EXPECT_EQ(image.height(), view[1].get<double>()) << view;
    EXPECT_EQ(image.width(), 1920);
    EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(10, 10), qRgb(0, 0, 255));

    EXPECT_FALSE(browser->screenshot(folder + "/no/such/folder/red.png"));
    EXPECT_NE(browser->error().find("no/such/folder"), std::string::npos) << browser->error();
    fs::remove_all(folder);
}

TEST(BrowserEnd, StopLeavesNoProcessAndNoFile) {
    Browser browser;
    std::string why;
    ASSERT_TRUE(browser.start(&why)) << why;
    PageServer pages("127.0.0.1");
    ASSERT_GT(pages.port(), 0);
    pages.page("plain", "<!doctype html><title>Plain</title><p>plain</p>");
    ASSERT_TRUE(browser.open(pages.origin() + "/plain.html")) << browser.error();
    const pid_t group = browser.driverPid();
    const std::string folder = browser.folder();
    ASSERT_GT(group, 0);
    ASSERT_TRUE(fs::is_directory(folder + "/profile"));
    // The driver, the browser and its helpers are one process group.
    EXPECT_GE(ProcessesInGroup(group).size(), 3u);
    EXPECT_FALSE(ProcessesNaming(folder).empty());

    const auto start = Clock::now();
    browser.stop();
    EXPECT_LT(SecondsSince(start), 10.0);
    EXPECT_TRUE(ProcessesInGroup(group).empty());
    EXPECT_TRUE(ProcessesNaming(folder).empty());
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(browser.driverPid(), -1);
    EXPECT_FALSE(browser.open(pages.origin() + "/plain.html"));
    EXPECT_FALSE(browser.error().empty());
}

} // namespace
