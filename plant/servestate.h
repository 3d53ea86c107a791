// The line service's shared state and its word on each sensor: the events it tells (event log,
// standard error, the broker), the alarms it keeps until cleared, and the stock it takes of a
// sensor at each connection against what it last saw.
#pragma once

#include "control/loans.h"
#include "control/server.h"
#include "line/linefile.h"
#include "lineview/lineview.h"
#include "plant/portcommand.h"
#include "plant/seensensor.h"
#include "web/webserver.h"

#include <initializer_list>
#include <map>
#include <memory>
#include <string>

struct ActiveAlarm {
    std::string level; // "alarm", "warning"
    std::string message;
    long long sinceMs; // when it was raised
};

struct ServeState {
    LineFile line;
    // Each sensor's active alarms by name, with their level and what raised them; each thread
    // keeps its own.
    std::map<std::string, ActiveAlarm> alarms[PLANT_MAX_PORTS];
    // The sensors lent to the line's commands and borrowers, through the control socket.
    std::unique_ptr<SensorLoans> loans;
    std::unique_ptr<ControlServer> control;
    // What the web view shows of each sensor, and the web view when the line asks for one.
    std::unique_ptr<LineView> view;
    std::unique_ptr<WebServer> web;
};

// One event as a JSON line in the line's event log, on standard error and on the broker; stamped
// now, or at stampMs (ms since the epoch: the frame it is about), with a level when given.
void TellEvent(SensorJob *job, const char *event, const std::string &message,
               long long stampMs = -1, const char *level = nullptr);
// An event that is also an alarm until cleared (retained on the broker); level "alarm" or
// "warning".
void RaiseAlarm(SensorJob *job, const std::string &alarm, const std::string &message,
                const char *level = "alarm", long long stampMs = -1);
void ClearAlarms(SensorJob *job, std::initializer_list<const char *> cleared);
void ClearAlarm(SensorJob *job, const std::string &alarm);

// The unit on the port and both memories, as they are when the service takes the sensor on.
bool ReadMemories(SensorJob *job, SeenSensor *seen);
// What this connection finds against what the service last saw, told and handled by the line's
// policy; what the sensor holds afterwards is kept for the next connection and returned. lentTo
// names who had the sensor just before ("" when it was not lent).
SeenSensor TakeStock(SensorJob *job, SeenSensor now, const std::string &lentTo);
