// The line service's side of its control socket: a thread that takes connections, and one per
// connection that answers its requests from the line's loans. A connection's holds end with it.
#pragma once

#include "control/loans.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class ControlServer {
  public:
    explicit ControlServer(SensorLoans *loans) : loans_(loans) {}
    ControlServer(const ControlServer &) = delete;
    ControlServer &operator=(const ControlServer &) = delete;
    ~ControlServer() { stop(); }

    // Listens at path; false with why, and *answered when another service answers there.
    bool start(const std::string &path, std::string *why, bool *answered);
    // Ends every connection (their holds with them) and removes the socket.
    void stop();

  private:
    void acceptConnections();
    void serveConnection(int fd);
    void joinEnded();

    SensorLoans *loans_;
    std::string path_;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    // Each connection's thread, and whether it ended (ended ones are joined as new ones come).
    struct Connection {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    std::vector<Connection> connections_;
};
