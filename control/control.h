// The control socket of a served line: the line's commands and the panel ask the line service
// for its sensors through it, one JSON object a line each way. A line command is lent the
// sensors it works for as long as its connection lasts; a borrow takes one sensor out of the
// service until it is given back.
#pragma once

#include "control/loans.h"
#include "control/socket.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

// How long the service may take to give a sensor's port up: a restore under way ends first.
enum { CONTROL_LEND_MS = 30000 };

// One connection to a line's service; its end (the destructor, or the process's) ends the
// loans it holds.
class LineControl {
  public:
    LineControl() = default;
    LineControl(const LineControl &) = delete;
    LineControl &operator=(const LineControl &) = delete;
    ~LineControl();

    // LOCAL_NOBODY when no service answers at socketPath: the line is not served.
    LocalReach connect(const std::string &socketPath, std::string *why);
    // Sends request and waits for the reply; false with why, the service's own included.
    bool ask(const nlohmann::ordered_json &request, nlohmann::ordered_json *reply, int timeoutMs,
             std::string *why);

  private:
    int fd_ = -1;
    std::string pending_;
};

// Who asks, for the service's events: "status (pid 12, user ana)".
std::string LenderName(const std::string &what);
// Lends the named sensors for the connection's life; false with why.
bool LendFromService(LineControl *control, const std::vector<std::string> &sensors,
                     const std::string &by, std::string *why);
// Takes one sensor out of the service until GiveBackToService.
bool BorrowFromService(LineControl *control, const std::string &sensor, const std::string &by,
                       std::string *why);
bool GiveBackToService(LineControl *control, const std::string &sensor, std::string *why);
// Every sensor of the line and whether it is lent, to whom and since when.
bool AskServiceState(LineControl *control, std::vector<LoanView> *sensors, std::string *why);
