// Which sensors of a served line are lent out of the service, to whom and since when. A line
// command holds its sensors for as long as its connection lasts; a borrow holds one until it is
// given back, across restarts of the service (kept in its state folder). Each sensor's own thread
// gives its port up while its sensor is wanted and takes it back afterwards; a lender waits until
// the port was given up.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// One sensor as the control socket reports it.
struct LoanView {
    std::string sensor;
    bool lent = false;     // out of the service (its port given up or about to be)
    bool borrowed = false; // by a borrow, until given back
    std::string to;        // who has it: "status (pid 12, user ana)"
    std::string since;     // a time stamp
};

class SensorLoans {
  public:
    // sensors: the line's names, in the order of the service's threads; folder: where borrows
    // are kept ("" keeps none).
    SensorLoans(std::vector<std::string> sensors, std::string folder);

    // The sensor's number, or -1 for a name the line does not have.
    int indexOf(const std::string &name) const;
    const std::vector<std::string> &names() const { return names_; }

    // Takes a hold on each sensor for `to` and waits until their ports are given up, at most
    // timeoutMs. False (with the holds taken back) when one was not given up in time.
    bool hold(const std::vector<int> &sensors, const std::string &to, int timeoutMs,
              std::string *why);
    void release(const std::vector<int> &sensors);
    // A borrow of one sensor, kept until giveBack; waits for the port as hold does.
    bool borrow(int sensor, const std::string &to, int timeoutMs, std::string *why);
    bool giveBack(int sensor, std::string *why);
    std::vector<LoanView> view() const;

    // For the sensor's thread: a loan waits for its port.
    bool wanted(int sensor) const;
    // Who has it and since when (as view()).
    LoanView viewOf(int sensor) const;
    // Gives the port up and waits until the loan ends or *keepWaiting is cleared.
    void lendWhileWanted(int sensor, const volatile int *keepWaiting);
    // The service stops: lenders waiting for a port are let go, unlent.
    void stopLending();

  private:
    struct Loan {
        int holds = 0;
        bool borrowed = false;
        bool givenUp = false;
        std::string to, since;
    };
    bool wantedLocked(int sensor) const;
    void noteLender(int sensor, const std::string &to);
    bool waitGivenUp(std::unique_lock<std::mutex> &lock, const std::vector<int> &sensors,
                     int timeoutMs, std::string *why);
    std::string borrowPath(int sensor) const;
    void loadBorrows();
    bool saveBorrow(int sensor, std::string *why) const;

    std::vector<std::string> names_;
    std::string folder_;
    std::vector<Loan> loans_;
    bool stopping_ = false;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
};
