#include "control/server.h"

#include "control/control.h"
#include "control/socket.h"
#include "textforms/dumpjson.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

namespace {

// How often a waiting thread looks whether the service is stopping.
constexpr int LOOK_MS = 200;

nlohmann::ordered_json Error(const std::string &why) {
    return {{"error", why}};
}

// The sensors a request names under key (one name or a list), as the line's numbers; false
// with why for a name the service does not serve, unless unserved ones are to be passed over.
bool SensorsOf(const SensorLoans &loans, const nlohmann::ordered_json &request, const char *key,
               bool passOverUnserved, std::vector<int> *sensors, std::string *why) {
    nlohmann::ordered_json names =
        request.contains(key) ? request[key] : nlohmann::ordered_json::array();
    if (names.is_string())
        names = nlohmann::ordered_json::array({names});
    if (!names.is_array()) {
        *why = std::string("'") + key + "' wants a sensor's name or a list of them";
        return false;
    }
    for (const nlohmann::ordered_json &name : names) {
        const int sensor = name.is_string() ? loans.indexOf(name.get<std::string>()) : -1;
        if (sensor < 0 && passOverUnserved && name.is_string())
            continue;
        if (sensor < 0) {
            *why = "the service serves no sensor named " +
                   (name.is_string() ? name.get<std::string>() : DumpJson(name));
            return false;
        }
        sensors->push_back(sensor);
    }
    return true;
}

std::string By(const nlohmann::ordered_json &request) {
    return request.contains("by") && request["by"].is_string() ? request["by"].get<std::string>()
                                                               : std::string("someone");
}

nlohmann::ordered_json NamesOf(const SensorLoans &loans, const std::vector<int> &sensors) {
    nlohmann::ordered_json names = nlohmann::ordered_json::array();
    for (int sensor : sensors)
        names.push_back(loans.names()[sensor]);
    return names;
}

nlohmann::ordered_json StateReply(const SensorLoans &loans) {
    nlohmann::ordered_json sensors = nlohmann::ordered_json::array();
    for (const LoanView &view : loans.view())
        sensors.push_back({{"sensor", view.sensor},
                           {"lent", view.lent},
                           {"borrowed", view.borrowed},
                           {"to", view.to},
                           {"since", view.since}});
    return {{"sensors", sensors}};
}

// One request's reply; a lend's sensors join the connection's holds.
nlohmann::ordered_json Answer(SensorLoans *loans, const nlohmann::ordered_json &request,
                              std::vector<int> *held) {
    const std::string kind =
        request.is_object() && request.contains("request") && request["request"].is_string()
            ? request["request"].get<std::string>()
            : "";
    std::vector<int> sensors;
    std::string why;
    if (kind == "state")
        return StateReply(*loans);
    if (kind != "lend" && kind != "borrow" && kind != "return")
        return Error("no such request: " + DumpJson(request));
    // A command on sensors that this service does not serve finds their ports free anyway.
    const bool lend = kind == "lend";
    if (!SensorsOf(*loans, request, lend ? "sensors" : "sensor", lend, &sensors, &why))
        return Error(why);
    if (lend) {
        if (!loans->hold(sensors, By(request), CONTROL_LEND_MS, &why))
            return Error(why);
        held->insert(held->end(), sensors.begin(), sensors.end());
        return {{"lent", NamesOf(*loans, sensors)}};
    }
    if (sensors.size() != 1)
        return Error(kind + " wants one sensor");
    if (kind == "borrow")
        return loans->borrow(sensors[0], By(request), CONTROL_LEND_MS, &why)
                   ? nlohmann::ordered_json{{"lent", NamesOf(*loans, sensors)}}
                   : Error(why);
    return loans->giveBack(sensors[0], &why)
               ? nlohmann::ordered_json{{"returned", NamesOf(*loans, sensors)}}
               : Error(why);
}

} // namespace

bool ControlServer::start(const std::string &path, std::string *why, bool *answered) {
    listener_ = ListenLocal(path, why, answered);
    if (listener_ < 0)
        return false;
    path_ = path;
    stopping_ = false;
    acceptor_ = std::thread([this] { acceptConnections(); });
    return true;
}

void ControlServer::stop() {
    if (listener_ < 0)
        return;
    stopping_ = true;
    acceptor_.join();
    for (Connection &connection : connections_)
        connection.thread.join();
    connections_.clear();
    CloseLocal(listener_);
    listener_ = -1;
    unlink(path_.c_str());
}

void ControlServer::acceptConnections() {
    while (!stopping_) {
        joinEnded();
        const int fd = AcceptLocal(listener_, LOOK_MS);
        if (fd < 0)
            continue;
        auto ended = std::make_shared<std::atomic<bool>>(false);
        connections_.push_back({std::thread([this, fd, ended] {
                                    serveConnection(fd);
                                    *ended = true;
                                }),
                                ended});
    }
}

void ControlServer::joinEnded() {
    for (auto connection = connections_.begin(); connection != connections_.end();) {
        if (!*connection->ended) {
            ++connection;
            continue;
        }
        connection->thread.join();
        connection = connections_.erase(connection);
    }
}

void ControlServer::serveConnection(int fd) {
    std::vector<int> held;
    std::string pending, line;
    for (;;) {
        const LocalRead read = ReadLocalLine(fd, &pending, &line, LOOK_MS);
        if (read == READ_CLOSED || stopping_)
            break;
        if (read == READ_LINE &&
            !WriteLocalLine(
                fd, DumpJson(Answer(loans_, nlohmann::ordered_json::parse(line, nullptr, false),
                                    &held))))
            break;
    }
    loans_->release(held);
    CloseLocal(fd);
}
