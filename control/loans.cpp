#include "control/loans.h"

#include "files/regularfile.h"
#include "files/save.h"
#include "textforms/dumpjson.h"
#include "textforms/timestamp.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <unistd.h>
#include <utility>

namespace {

std::string Now() {
    char time[TIME_STAMP_LEN];
    FormatTimeStampNow(time, sizeof time);
    return time;
}

} // namespace

SensorLoans::SensorLoans(std::vector<std::string> sensors, std::string folder)
    : names_(std::move(sensors)), folder_(std::move(folder)), loans_(names_.size()) {
    loadBorrows();
}

int SensorLoans::indexOf(const std::string &name) const {
    for (size_t i = 0; i < names_.size(); i++)
        if (names_[i] == name)
            return (int)i;
    return -1;
}

bool SensorLoans::wantedLocked(int sensor) const {
    return loans_[sensor].holds > 0 || loans_[sensor].borrowed;
}

void SensorLoans::noteLender(int sensor, const std::string &to) {
    Loan &loan = loans_[sensor];
    if (!wantedLocked(sensor))
        loan.since = Now();
    loan.to = to;
}

bool SensorLoans::waitGivenUp(std::unique_lock<std::mutex> &lock, const std::vector<int> &sensors,
                              int timeoutMs, std::string *why) {
    const auto allGivenUp = [&] {
        for (int sensor : sensors)
            if (!loans_[sensor].givenUp)
                return false;
        return true;
    };
    const auto givenUpOrStopping = [&] { return allGivenUp() || stopping_; };
    if (changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), givenUpOrStopping) &&
        !stopping_)
        return true;
    if (stopping_) {
        *why = "the line service is stopping";
        return false;
    }
    for (int sensor : sensors)
        if (!loans_[sensor].givenUp) {
            *why = "the service did not give " + names_[sensor] + " up within " +
                   std::to_string(timeoutMs / 1000) + " s";
            break;
        }
    return false;
}

bool SensorLoans::hold(const std::vector<int> &sensors, const std::string &to, int timeoutMs,
                       std::string *why) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (int sensor : sensors) {
        noteLender(sensor, to);
        loans_[sensor].holds++;
    }
    changed_.notify_all();
    if (waitGivenUp(lock, sensors, timeoutMs, why))
        return true;
    lock.unlock();
    release(sensors);
    return false;
}

void SensorLoans::release(const std::vector<int> &sensors) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int sensor : sensors)
        if (loans_[sensor].holds > 0)
            loans_[sensor].holds--;
    changed_.notify_all();
}

bool SensorLoans::borrow(int sensor, const std::string &to, int timeoutMs, std::string *why) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (loans_[sensor].borrowed) {
        *why = names_[sensor] + " is borrowed already, by " + loans_[sensor].to + " since " +
               loans_[sensor].since;
        return false;
    }
    noteLender(sensor, to);
    loans_[sensor].borrowed = true;
    if (!saveBorrow(sensor, why)) {
        loans_[sensor].borrowed = false;
        return false;
    }
    changed_.notify_all();
    return waitGivenUp(lock, {sensor}, timeoutMs, why);
}

bool SensorLoans::giveBack(int sensor, std::string *why) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!loans_[sensor].borrowed) {
        *why = names_[sensor] + " is not borrowed";
        return false;
    }
    if (!folder_.empty() && unlink(borrowPath(sensor).c_str()) != 0) {
        *why = "the borrow of " + names_[sensor] + " could not be forgotten: " + borrowPath(sensor);
        return false;
    }
    loans_[sensor].borrowed = false;
    changed_.notify_all();
    return true;
}

LoanView SensorLoans::viewOf(int sensor) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Loan &loan = loans_[sensor];
    const bool lent = wantedLocked(sensor);
    return {names_[sensor], lent, loan.borrowed, lent ? loan.to : "", lent ? loan.since : ""};
}

std::vector<LoanView> SensorLoans::view() const {
    std::vector<LoanView> views;
    for (size_t i = 0; i < names_.size(); i++)
        views.push_back(viewOf((int)i));
    return views;
}

bool SensorLoans::wanted(int sensor) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return wantedLocked(sensor);
}

void SensorLoans::lendWhileWanted(int sensor, const volatile int *keepWaiting) {
    std::unique_lock<std::mutex> lock(mutex_);
    loans_[sensor].givenUp = true;
    changed_.notify_all();
    // The stop is a signal's flag, not a notification: it is looked at a few times a second.
    while (wantedLocked(sensor) && *keepWaiting)
        changed_.wait_for(lock, std::chrono::milliseconds(100));
    loans_[sensor].givenUp = false;
}

void SensorLoans::stopLending() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
}

std::string SensorLoans::borrowPath(int sensor) const {
    return folder_ + "/" + names_[sensor] + ".borrowed";
}

bool SensorLoans::saveBorrow(int sensor, std::string *why) const {
    if (folder_.empty())
        return true;
    const nlohmann::ordered_json kept = {{"to", loans_[sensor].to},
                                         {"since", loans_[sensor].since}};
    const std::string text = DumpJson(kept);
    const std::string path = borrowPath(sensor);
    MakeFoldersAbove(path);
    return SaveFileWhole(path.c_str(), text.c_str(), text.size(), why);
}

// A borrow outlives the service: the sensor stays with its borrower after a restart.
void SensorLoans::loadBorrows() {
    if (folder_.empty())
        return;
    for (size_t i = 0; i < names_.size(); i++) {
        std::string text, why;
        if (!ReadSmallFile(borrowPath((int)i).c_str(), 4096, &text, &why))
            continue;
        const nlohmann::ordered_json kept = nlohmann::ordered_json::parse(text, nullptr, false);
        const auto textOf = [&](const char *key, const char *otherwise) {
            return kept.is_object() && kept.contains(key) && kept[key].is_string()
                       ? kept[key].get<std::string>()
                       : std::string(otherwise);
        };
        Loan &loan = loans_[i];
        loan.borrowed = true;
        loan.to = textOf("to", "someone");
        loan.since = textOf("since", "");
    }
}
