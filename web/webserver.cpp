#include "web/webserver.h"

#include "lineview/changefollow.h"
#include "textforms/dumpjson.h"
#include "textforms/timestamp.h"
#include "web/assets.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace {

// Pages load nothing but what this server gives them.
const httplib::Headers SAFE_HEADERS = {
    {"Content-Security-Policy", "default-src 'self'; img-src 'self' data:; base-uri 'none'; "
                                "frame-ancestors 'none'; form-action 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
};

// Threads for the streams and for the requests beside them.
constexpr size_t SERVER_THREADS = WEB_MAX_STREAMS + 8;

void SendJson(httplib::Response &res, const std::string &json, int status = 200) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(json, "application/json");
}

std::string NoSensor(const std::string &name, const LineView &view) {
    return DumpJson({{"error", "no sensor " + name + " on line " + view.lineName()}});
}

void SendAsset(httplib::Response &res, const char *name) {
    const WebAsset *asset = FindWebAsset(name);
    if (asset == nullptr) {
        res.status = 404;
        res.set_content("not found\n", "text/plain");
        return;
    }
    res.set_header("Cache-Control", "no-cache");
    res.set_content(reinterpret_cast<const char *>(asset->data), asset->size, asset->type);
}

std::string ServerSentEvent(const char *event, const std::string &data) {
    return std::string("event: ") + event + "\ndata: " + data + "\n\n";
}

} // namespace

struct WebServer::Server {
    httplib::Server http;
    std::thread listening, ticking;
    std::mutex lock;
    std::condition_variable tick;
    bool stopping = false;
    long long generation = 0;    // line updates made so far
    std::string lineEvent;       // the newest line update, as an event
    std::atomic<int> streams{0}; // live pages
    std::atomic<int> lineStreams{0};
    int port = 0;
};

WebServer::WebServer(LineView *view) : view_(view) {}

WebServer::~WebServer() {
    stop();
}

int WebServer::port() const {
    return server_ ? server_->port : 0;
}

namespace {

// Waits one update's time; false once the server stops.
bool WaitForUpdate(std::unique_lock<std::mutex> *hold, std::condition_variable *tick,
                   const bool *stopping) {
    tick->wait_for(*hold, std::chrono::milliseconds(WEB_UPDATE_MS), [&] { return *stopping; });
    return !*stopping;
}

} // namespace

bool WebServer::start(const WebOptions &options, std::string *why) {
    stop();
    server_ = std::make_unique<Server>();
    Server *s = server_.get();
    httplib::Server &http = s->http;
    http.new_task_queue = [] { return new httplib::ThreadPool(SERVER_THREADS); };
    http.set_default_headers(SAFE_HEADERS);
    http.set_payload_max_length(1 << 16);
    const std::string password = options.password;
    const std::string realm = "Basic realm=\"nvmxv451 line " + view_->lineName() + "\"";
    http.set_pre_routing_handler(
        [password, realm](const httplib::Request &req, httplib::Response &res) {
            std::string given;
            if (password.empty() || (BasicPassword(req.get_header_value("Authorization"), &given) &&
                                     SamePassword(given, password)))
                return httplib::Server::HandlerResponse::Unhandled;
            res.status = 401;
            res.set_header("WWW-Authenticate", realm);
            res.set_content("this line's web view asks for its password\n", "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        });

    http.Get("/",
             [](const httplib::Request &, httplib::Response &res) { SendAsset(res, "line.html"); });
    http.Get("/sensor.html", [](const httplib::Request &, httplib::Response &res) {
        SendAsset(res, "sensor.html");
    });
    http.Get(R"(/static/([A-Za-z0-9_.-]+))",
             [](const httplib::Request &req, httplib::Response &res) {
                 SendAsset(res, req.matches[1].str().c_str());
             });
    LineView *view = view_;
    http.Get("/api/line", [view](const httplib::Request &, httplib::Response &res) {
        SendJson(res, view->line(TimeStampNowMs()));
    });
    http.Get(R"(/api/sensors/([^/]+))",
             [view](const httplib::Request &req, httplib::Response &res) {
                 const std::string name = req.matches[1];
                 const int sensor = view->find(name);
                 if (sensor < 0) {
                     SendJson(res, NoSensor(name, *view), 404);
                     return;
                 }
                 long long last = -1;
                 SendJson(res, view->sensor(sensor, TimeStampNowMs(), -1, &last));
             });

    // A stream beyond the last one allowed is told so at once, not queued.
    auto admit = [s](httplib::Response &res) {
        if (++s->streams > WEB_MAX_STREAMS) {
            --s->streams;
            res.status = 503;
            res.set_header("Retry-After", "10");
            res.set_content("too many live pages open on this line\n", "text/plain");
            return false;
        }
        res.set_header("Cache-Control", "no-store");
        return true;
    };
    http.Get("/api/stream", [s, view, admit](const httplib::Request &, httplib::Response &res) {
        if (!admit(res))
            return;
        ++s->lineStreams;
        auto seen = std::make_shared<long long>(-1);
        res.set_chunked_content_provider(
            "text/event-stream",
            [s, view, seen](size_t, httplib::DataSink &sink) {
                std::string event;
                {
                    std::unique_lock<std::mutex> hold(s->lock);
                    // A page's first update is made for it at once (the last one made may be
                    // from before any page streamed); the later ones as the ticker makes them.
                    if (*seen >= 0) {
                        s->tick.wait(hold, [&] { return s->stopping || s->generation > *seen; });
                        if (s->stopping)
                            return false;
                        event = s->lineEvent;
                    }
                    *seen = s->generation;
                }
                if (event.empty())
                    event = ServerSentEvent("line", view->line(TimeStampNowMs()));
                return sink.write(event.data(), event.size());
            },
            [s](bool) {
                --s->lineStreams;
                --s->streams;
            });
    });
    http.Get(R"(/api/sensors/([^/]+)/stream)",
             [s, view, admit](const httplib::Request &req, httplib::Response &res) {
                 const int sensor = view->find(req.matches[1]);
                 if (sensor < 0) {
                     SendJson(res, NoSensor(req.matches[1], *view), 404);
                     return;
                 }
                 if (!admit(res))
                     return;
                 auto last = std::make_shared<long long>(-2);
                 res.set_chunked_content_provider(
                     "text/event-stream",
                     [s, view, sensor, last](size_t, httplib::DataSink &sink) {
                         if (*last != -2) {
                             std::unique_lock<std::mutex> hold(s->lock);
                             if (!WaitForUpdate(&hold, &s->tick, &s->stopping))
                                 return false;
                         }
                         // The first event carries the whole strip chart, the later ones its new
                         // points.
                         const long long after = *last == -2 ? -1 : *last;
                         const std::string event = ServerSentEvent(
                             "sensor", view->sensor(sensor, TimeStampNowMs(), after, last.get()));
                         return sink.write(event.data(), event.size());
                     },
                     [s](bool) { --s->streams; });
             });

    const int bound =
        options.address.port == 0
            ? http.bind_to_any_port(options.address.host)
            : (http.bind_to_port(options.address.host, options.address.port) ? options.address.port
                                                                             : -1);
    if (bound <= 0) {
        *why = "cannot listen on " + ShowAddress(options.address) +
               " (in use, or not an address of this computer)";
        server_.reset();
        return false;
    }
    s->port = bound;
    // The server's threads are named for it (its workers take the name of the thread that
    // starts them), so that top -H and the benchmark tell them from the sensors'.
    s->listening = std::thread([s] {
        pthread_setname_np(pthread_self(), "nvmx-web");
        s->http.listen_after_bind();
    });
    const std::string changeLog = options.changeLog;
    s->ticking = std::thread([s, view, changeLog] {
        pthread_setname_np(pthread_self(), "nvmx-web-tick");
        ChangeLogFollower follower(changeLog);
        auto nextRead = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> hold(s->lock);
        while (!s->stopping) {
            hold.unlock();
            if (std::chrono::steady_clock::now() >= nextRead) {
                follower.refresh(view);
                nextRead += std::chrono::seconds(1);
            }
            // The line's update is made once for every page that streams it, and not at all
            // while none does.
            std::string event;
            if (s->lineStreams > 0)
                event = ServerSentEvent("line", view->line(TimeStampNowMs()));
            hold.lock();
            if (!event.empty()) {
                s->lineEvent = std::move(event);
                ++s->generation;
            }
            s->tick.notify_all();
            WaitForUpdate(&hold, &s->tick, &s->stopping);
        }
    });
    return true;
}

void WebServer::stop() {
    if (!server_)
        return;
    {
        std::lock_guard<std::mutex> hold(server_->lock);
        server_->stopping = true;
    }
    server_->tick.notify_all();
    server_->http.stop();
    if (server_->listening.joinable())
        server_->listening.join();
    if (server_->ticking.joinable())
        server_->ticking.join();
    server_.reset();
}
