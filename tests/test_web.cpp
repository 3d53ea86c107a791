// The line service's web view over HTTP: the line's and a sensor's JSON, the live streams at
// their pace and within their limit, an end by SIGTERM with pages open, and the password that an
// address open to the network asks for; a service of some of the line's sensors shows those.
#include "support/web_fixture.h"
#include "textforms/timestamp.h"
#include "web/webserver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <mutex>

namespace {

// Reads a stream for seconds (or until told to stop); counts its events.
struct StreamReader {
    explicit StreamReader(int port, std::string path) {
        thread = std::thread([this, port, path] {
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(30);
            const auto answer = client.Get(path.c_str(), [this](const char *data, size_t size) {
                std::string chunk(data, size);
                for (size_t at = chunk.find("event: "); at != std::string::npos;
                     at = chunk.find("event: ", at + 1))
                    ++events;
                std::lock_guard<std::mutex> hold(lock);
                if (first.empty()) {
                    received += chunk;
                    const size_t data = received.find("data: "), end = received.find("\n\n");
                    if (data != std::string::npos && end != std::string::npos)
                        first = received.substr(data + 6, end - data - 6);
                }
                return !stop;
            });
            status =
                answer ? answer->status : (answer.error() == httplib::Error::Canceled ? 200 : -1);
        });
    }
    ~StreamReader() {
        stop = true;
        if (thread.joinable())
            thread.join();
    }
    // The first event's data, once it came.
    nlohmann::json firstData() {
        std::lock_guard<std::mutex> hold(lock);
        return first.empty() ? nlohmann::json() : nlohmann::json::parse(first, nullptr, false);
    }
    std::thread thread;
    std::mutex lock;
    std::string received, first;
    std::atomic<int> events{0}, status{0};
    std::atomic<bool> stop{false};
};

} // namespace

TEST_F(ServedWeb, TheLineAndItsSensorsAsJsonAndLiveStreams) {
    CommandRun serve;
    ASSERT_TRUE(startService(&serve));
    ASSERT_TRUE(lineComesTo(AllOnline)) << serve.finish(1).err;

    const nlohmann::json line = get("/api/line");
    EXPECT_EQ(line["line"], "line9");
    ASSERT_EQ(line["sensors"].size(), 2u);
    const auto &infeed = line["sensors"][0];
    EXPECT_EQ(infeed["name"], "infeed");
    EXPECT_EQ(infeed["state"], "LINE OK");
    // The emulator's EEPROM is the approved set, and the service took both memories from it.
    EXPECT_EQ(infeed["memories"]["EEPROM"]["inStep"], true);
    EXPECT_EQ(infeed["memories"]["approved"], approved);

    int status = 0;
    const nlohmann::json sensor = get("/api/sensors/outfeed", &status);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(sensor["table"].size(), (size_t)TEACH_ROWS);
    EXPECT_FALSE(sensor["history"]["points"].empty());
    EXPECT_FALSE(sensor["events"].empty());
    EXPECT_EQ(get("/api/sensors/nobody", &status)["error"], "no sensor nobody on line line9");
    EXPECT_EQ(status, 404);
    get("/static/..%2Fline.toml", &status);
    EXPECT_EQ(status, 404);
    httplib::Client client("127.0.0.1", port);
    const auto posted = client.Post("/api/line", "{}", "application/json");
    ASSERT_TRUE(posted);
    EXPECT_NE(posted->status, 200); // read-only

    // A page's stream: at least twice a second, at most as often as frames come.
    {
        StreamReader reader(port, "/api/stream");
        std::this_thread::sleep_for(std::chrono::seconds(2));
        EXPECT_GE(reader.events, 4);
        EXPECT_LE(reader.events, 2 * 105);
    }
    // A page that comes when none streamed for a while gets the line as it is now.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    {
        const long long opened = TimeStampNowMs();
        StreamReader reader(port, "/api/stream");
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (reader.events == 0 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const nlohmann::json first = reader.firstData();
        ASSERT_TRUE(first.is_object());
        EXPECT_GE(first["ms"].get<long long>(), opened);
    }

    // Pages beyond the limit are told to come back; the ones open go on, and SIGTERM ends the
    // service with them open.
    std::vector<std::unique_ptr<StreamReader>> pages;
    for (int i = 0; i < WEB_MAX_STREAMS; i++)
        pages.push_back(std::make_unique<StreamReader>(port, "/api/sensors/infeed/stream"));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto allStreaming = [&] {
        for (const auto &page : pages)
            if (page->events == 0)
                return false;
        return true;
    };
    // A page closed a moment ago counts until its stream's next update finds it gone.
    while (!allStreaming() && std::chrono::steady_clock::now() < end) {
        for (auto &page : pages)
            if (page->status == 503)
                page = std::make_unique<StreamReader>(port, "/api/sensors/infeed/stream");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::string counts;
    for (const auto &page : pages)
        counts += std::to_string(page->events) + "/" + std::to_string(page->status) + " ";
    ASSERT_TRUE(allStreaming()) << "events/status of each page: " << counts;
    int refused = 0;
    {
        httplib::Client extra("127.0.0.1", port);
        const auto answer = extra.Get("/api/stream");
        ASSERT_TRUE(answer);
        refused = answer->status;
    }
    EXPECT_EQ(refused, 503);
    serve.signal(SIGTERM);
    const CommandOutput ended = serve.finish(timeout);
    EXPECT_EQ(ended.exitCode, 0) << ended.err;
    for (auto &page : pages)
        page->thread.join();
}

TEST_F(ServedWeb, AnAddressOpenToTheNetworkAsksForThePassword) {
    const std::string open = "0.0.0.0:" + std::to_string(port);
    const CommandOutput refused = run({"serve", "--line", lineFile, "--http", open});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("password_file must name its password"), std::string::npos)
        << refused.err;

    WriteText((scratch / "web.pass").string(), "line9 secret\n");
    WriteText(lineFile, ReadText(lineFile) + "\n[web]\npassword_file = \"web.pass\"\n");
    CommandRun serve;
    ASSERT_TRUE(startService(&serve, open, {"--sensor", "outfeed"}));
    int status = -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (get("/api/line", &status).is_null() && status < 0 &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(status, 401);
    httplib::Client client("127.0.0.1", port);
    const auto answer = client.Get("/api/line");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->get_header_value("WWW-Authenticate"), "Basic realm=\"nvmxv451 line line9\"");
    client.set_basic_auth("ops", "line9 secre");
    EXPECT_EQ(client.Get("/")->status, 401);
    client.set_basic_auth("ops", "line9 secret");
    EXPECT_EQ(client.Get("/")->status, 200);
    // The view shows the sensors served, each under its own name.
    const auto line = client.Get("/api/line");
    ASSERT_EQ(line->status, 200);
    const auto tiles = nlohmann::json::parse(line->body)["sensors"];
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0]["name"], "outfeed");
    serve.signal(SIGTERM);
    const CommandOutput ended = serve.finish(timeout);
    EXPECT_NE(ended.err.find("warning: the web view on " + open + " is open to the network"),
              std::string::npos)
        << ended.err;
}
