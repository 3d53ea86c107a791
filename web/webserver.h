// The line service's web view: a read-only HTTP server of the line's pages and their data.
//   /                          the line page: a tile per sensor
//   /sensor.html?name=NAME     a sensor's page
//   /static/FILE               their style, scripts and icon, carried in the program
//   /api/line                  every sensor's tile as JSON
//   /api/sensors/NAME          one sensor's tile with its table, strip chart, frames and events
//   /api/stream                the line's tiles as Server-Sent Events ("line"), 4 times a second
//   /api/sensors/NAME/stream   one sensor as Server-Sent Events ("sensor"), the strip chart's
//                              new points only
// The line's JSON is made once per update for every page that streams it. With a password every
// request must carry it (HTTP basic authentication, any user name). Free of Qt.
#pragma once

#include "lineview/lineview.h"
#include "web/access.h"

#include <memory>
#include <string>

enum {
    WEB_UPDATE_MS = 250, // the pages' updates: 4 a second
    WEB_MAX_STREAMS = 16 // live pages at once; more are told to come back later
};

struct WebOptions {
    ListenAddress address;
    std::string password;  // "": none asked for
    std::string changeLog; // the line's change log ("" for none), read again when it changes
};

class WebServer {
  public:
    explicit WebServer(LineView *view);
    ~WebServer();
    WebServer(const WebServer &) = delete;
    WebServer &operator=(const WebServer &) = delete;

    // Binds the address and serves on threads of its own; false with why.
    bool start(const WebOptions &options, std::string *why);
    // The port bound (the one given, or the one found for port 0).
    int port() const;
    // Ends every stream and the server; harmless when not started.
    void stop();

  private:
    struct Server;
    std::unique_ptr<Server> server_;
    LineView *view_;
};
