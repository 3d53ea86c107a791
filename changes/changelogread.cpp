// The change log's lines, checked and joined: a write-ahead line and its outcome make one write.
#include "changes/changelogread.h"

#include <map>
#include <sstream>

const char outcomeUnknown[] = "interrupted: outcome unknown";

namespace {

// A line whose values are not of the kinds the log writes.
struct Unusable {
    std::string why;
};

const nlohmann::json &Field(const nlohmann::json &object, const char *key) {
    const auto found = object.find(key);
    if (found == object.end())
        throw Unusable{std::string("no ") + key};
    return *found;
}

std::string TextField(const nlohmann::json &object, const char *key) {
    const nlohmann::json &value = Field(object, key);
    if (!value.is_string())
        throw Unusable{std::string(key) + " is not a text"};
    return value.get<std::string>();
}

std::string OptionalText(const nlohmann::json &object, const char *key) {
    return object.contains(key) ? TextField(object, key) : std::string();
}

// A value as the log holds it: a number keeps its own digits, whatever its size.
std::string NumberText(const nlohmann::json &change, const char *key) {
    const nlohmann::json &value = Field(change, key);
    if (!value.is_number())
        throw Unusable{std::string("a change's ") + key + " is not a number"};
    return value.dump();
}

void TakeChanges(const nlohmann::json &object, LoggedWrite *write) {
    const nlohmann::json &changes = Field(object, "changes");
    write->changesKnown = changes.is_array();
    if (changes.is_string() && changes.get<std::string>() == "unknown")
        return;
    if (!changes.is_array())
        throw Unusable{"changes is neither a list nor \"unknown\""};
    for (const nlohmann::json &change : changes) {
        if (!change.is_object())
            throw Unusable{"a change is not an object"};
        write->changes.push_back(TextField(change, "name") + " " + NumberText(change, "old") +
                                 "->" + NumberText(change, "new"));
    }
}

// A write-ahead line, or a whole write of older versions (with its verify).
LoggedWrite TakeWrite(const nlohmann::json &object, long number, bool whole) {
    LoggedWrite write;
    write.line = number;
    write.time = TextField(object, "time");
    write.sensor = TextField(object, "sensor");
    write.port = TextField(object, "port");
    write.memory = TextField(object, "memory");
    write.source = TextField(object, "source");
    write.backup = OptionalText(object, "backup");
    TakeChanges(object, &write);
    write.verify = whole ? TextField(object, "verify") : std::string(outcomeUnknown);
    write.json = object;
    write.json.erase("phase");
    write.json["verify"] = write.verify;
    return write;
}

class LogReader {
  public:
    void take(const std::string &line, long number) {
        if (line.empty())
            return;
        const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
        try {
            if (object.is_discarded() || !object.is_object())
                throw Unusable{"no JSON object"};
            takeObject(object, number);
        } catch (const Unusable &unusable) {
            read_.problems.push_back("line " + std::to_string(number) +
                                     ": not a change-log entry (" + unusable.why + "), skipped");
        }
    }

    ChangeLogRead result(void) { return std::move(read_); }

  private:
    void takeObject(const nlohmann::json &object, long number) {
        if (!object.contains("phase")) {
            read_.writes.push_back(TakeWrite(object, number, true));
            return;
        }
        const std::string phase = TextField(object, "phase");
        const std::string id = TextField(object, "entry");
        if (phase == "write") {
            if (byId_.count(id))
                throw Unusable{"a second write of entry " + id};
            LoggedWrite write = TakeWrite(object, number, false);
            byId_[id] = read_.writes.size();
            read_.writes.push_back(std::move(write));
        } else if (phase == "outcome") {
            takeOutcome(object, id);
        } else if (phase == "found") {
            read_.writes.push_back(TakeWrite(object, number, true));
        } else {
            throw Unusable{"phase is \"" + phase + "\""};
        }
    }

    void takeOutcome(const nlohmann::json &object, const std::string &id) {
        const std::string verify = TextField(object, "verify");
        const std::string time = TextField(object, "time");
        const auto found = byId_.find(id);
        if (found == byId_.end())
            throw Unusable{"the outcome of entry " + id + ", which the log does not hold"};
        LoggedWrite &write = read_.writes[found->second];
        if (write.verify != outcomeUnknown)
            throw Unusable{"a second outcome of entry " + id};
        write.verify = verify;
        write.json["verify"] = verify;
        write.json["outcome_time"] = time;
    }

    ChangeLogRead read_;
    std::map<std::string, size_t> byId_;
};

} // namespace

ChangeLogRead ReadChangeLog(const std::string &text) {
    LogReader reader;
    std::istringstream lines(text);
    std::string line;
    for (long number = 1; std::getline(lines, line); number++)
        reader.take(line, number);
    return reader.result();
}

std::string DescribeLoggedWrite(const LoggedWrite &write) {
    std::string changes;
    for (const std::string &change : write.changes)
        changes += (changes.empty() ? "" : ", ") + change;
    if (!write.changesKnown)
        changes = "changes unknown";
    else if (changes.empty())
        changes = "no change";
    return write.time + " " + write.sensor + " " + write.port + " " + write.memory +
           (write.source.empty() ? std::string() : " from " + write.source) +
           (write.backup.empty() ? std::string() : " (backup " + write.backup + ")") + ": " +
           changes + "; " + write.verify;
}
