#include "control/control.h"

#include "textforms/dumpjson.h"

#include <cstdlib>
#include <unistd.h>

namespace {

// The reply's list of names under key holds name.
bool Names(const nlohmann::ordered_json &reply, const char *key, const std::string &name) {
    if (!reply.contains(key) || !reply[key].is_array())
        return false;
    for (const nlohmann::ordered_json &entry : reply[key])
        if (entry.is_string() && entry.get<std::string>() == name)
            return true;
    return false;
}

std::string TextOf(const nlohmann::ordered_json &object, const char *key) {
    return object.is_object() && object.contains(key) && object[key].is_string()
               ? object[key].get<std::string>()
               : "";
}

bool BoolOf(const nlohmann::ordered_json &object, const char *key) {
    return object.is_object() && object.contains(key) && object[key].is_boolean() &&
           object[key].get<bool>();
}

} // namespace

LineControl::~LineControl() {
    CloseLocal(fd_);
}

LocalReach LineControl::connect(const std::string &socketPath, std::string *why) {
    CloseLocal(fd_);
    pending_.clear();
    return ConnectLocal(socketPath, &fd_, why);
}

bool LineControl::ask(const nlohmann::ordered_json &request, nlohmann::ordered_json *reply,
                      int timeoutMs, std::string *why) {
    std::string line;
    if (fd_ < 0 || !WriteLocalLine(fd_, DumpJson(request)) ||
        ReadLocalLine(fd_, &pending_, &line, timeoutMs) != READ_LINE) {
        *why = "the line service did not answer";
        return false;
    }
    *reply = nlohmann::ordered_json::parse(line, nullptr, false);
    if (!reply->is_object()) {
        *why = "the line service answered what is no reply";
        return false;
    }
    if (reply->contains("error")) {
        *why = TextOf(*reply, "error");
        return false;
    }
    return true;
}

std::string LenderName(const std::string &what) {
    const char *user = std::getenv("USER");
    return what + " (pid " + std::to_string(getpid()) + ", user " +
           (user != nullptr && *user ? user : std::to_string(getuid())) + ")";
}

bool LendFromService(LineControl *control, const std::vector<std::string> &sensors,
                     const std::string &by, std::string *why) {
    nlohmann::ordered_json reply;
    return control->ask({{"request", "lend"}, {"sensors", sensors}, {"by", by}}, &reply,
                        CONTROL_LEND_MS + 5000, why);
}

bool BorrowFromService(LineControl *control, const std::string &sensor, const std::string &by,
                       std::string *why) {
    nlohmann::ordered_json reply;
    if (!control->ask({{"request", "borrow"}, {"sensor", sensor}, {"by", by}}, &reply,
                      CONTROL_LEND_MS + 5000, why))
        return false;
    if (Names(reply, "lent", sensor))
        return true;
    *why = "the line service did not lend " + sensor;
    return false;
}

bool GiveBackToService(LineControl *control, const std::string &sensor, std::string *why) {
    nlohmann::ordered_json reply;
    if (!control->ask({{"request", "return"}, {"sensor", sensor}}, &reply, 5000, why))
        return false;
    if (Names(reply, "returned", sensor))
        return true;
    *why = "the line service did not take " + sensor + " back";
    return false;
}

bool AskServiceState(LineControl *control, std::vector<LoanView> *sensors, std::string *why) {
    nlohmann::ordered_json reply;
    if (!control->ask({{"request", "state"}}, &reply, 5000, why))
        return false;
    sensors->clear();
    if (!reply.contains("sensors") || !reply["sensors"].is_array()) {
        *why = "the line service's state names no sensors";
        return false;
    }
    for (const nlohmann::ordered_json &entry : reply["sensors"]) {
        if (!entry.is_object())
            continue;
        LoanView view;
        view.sensor = TextOf(entry, "sensor");
        view.lent = BoolOf(entry, "lent");
        view.borrowed = BoolOf(entry, "borrowed");
        view.to = TextOf(entry, "to");
        view.since = TextOf(entry, "since");
        sensors->push_back(view);
    }
    return true;
}
