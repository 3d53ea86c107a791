// What the line service shows of its sensors on the line's web view: each sensor's thread tells
// the view of its own sensor, the web server (when the line asks for one) reads them all.
#pragma once

#include "plant/servestate.h"

#include <string>

// The line's view, and its web server at the address of --http or the line file's [web]. An
// address open to the network needs the line's password file, or the line is not served; a web
// view that cannot listen leaves the line served without it, told on standard error.
bool StartWebView(const PlantOptions *options, ServeState *serve, PortResult *failure);
void StopWebView(ServeState *serve);

// presence: "online", "offline", "lent"; state as the service tells it, with its reason.
void ShowState(SensorJob *job, const char *presence, const std::string &state,
               const std::string &message);
void ShowFrame(SensorJob *job, long long ms, const unsigned char *frame);
// Both memories as the service took stock of them, against the approved set; the RAM's table
// is the one the frames are detected under.
void ShowMemories(SensorJob *job, const SeenSensor &seen);
void ShowHealth(SensorJob *job, const std::string &json);
void ShowAlarms(SensorJob *job);
void ShowEvent(SensorJob *job, nlohmann::ordered_json event);
