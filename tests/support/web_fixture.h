// The line of two emulated sensors (serve_fixture.h) served with its web view on a free loopback
// port, and the view's JSON read over HTTP: the ground of the web view's tests.
#pragma once

#include "support/serve_fixture.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <thread>

class ServedWeb : public Serve {
  protected:
    void SetUp() override {
        Serve::SetUp();
        approved = TakeApproved();
        ASSERT_FALSE(HasFailure());
        port = FreeLoopbackPort();
    }
    // The service with its web view at http ("": on the loopback port), options after it.
    bool startService(CommandRun *serve, std::string http = "",
                      const std::vector<std::string> &options = {}) {
        if (http.empty())
            http = std::to_string(port);
        std::vector<std::string> argv = {Bin("nvmxv451"), "serve",   "--line",
                                         lineFile,        "--state", (scratch / "service").string(),
                                         "--http",        http};
        argv.insert(argv.end(), options.begin(), options.end());
        return serve->start(argv, environment());
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port); }
    // GET path; the body parsed, or null when there was no answer.
    nlohmann::json get(const std::string &path, int *status = nullptr) {
        httplib::Client client("127.0.0.1", port);
        client.set_connection_timeout(2);
        const auto answer = client.Get(path.c_str());
        if (status != nullptr)
            *status = answer ? answer->status : -1;
        if (!answer)
            return nullptr;
        return nlohmann::json::parse(answer->body, nullptr, false);
    }
    // Polls /api/line until check holds for it (at most seconds).
    template <typename Check> bool lineComesTo(Check check, double seconds = timeout) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            const nlohmann::json line = get("/api/line");
            if (line.is_object() && check(line))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    static bool AllOnline(const nlohmann::json &line) {
        for (const auto &tile : line["sensors"])
            if (tile["presence"] != "online" || tile["frame"].is_null())
                return false;
        return true;
    }
    std::string approved;
    int port = 0;
};
