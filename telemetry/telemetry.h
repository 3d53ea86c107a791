// Live telemetry of one sensor, or of up to 32 sensors of one process, to an MQTT broker, for a
// plant that watches every line from one dashboard. A client thread of its own owns the one
// connection: it connects, reconnects with back-off and sends; the program's calls only leave
// their news in fixed slots, one set per sensor, and never wait on the network, so a broker that
// is slow, down or gone never slows a frame loop. The calls for different sensors may come from
// different threads at once; each sensor's slots have a lock of their own.
//
// Topics, under <prefix>/<sensor>/ (prefix default "nvmxv451/<host name>", sensor e.g. "COM1"):
//   status      retained presence: "online" while this process serves the sensor (its port is
//               open), "offline" at a clean end, and with one sensor also as the broker's last
//               will. A process says nothing about a sensor it never served.
//   state       retained: the sensor's newest state and when it came about, never overwritten by
//               presence, so a late subscriber learns why a sensor went away:
//               {"time":"2026-12-08T09:15:02.125+01:00","port":"COM1","state":"LINE LOST",
//                "message":"the device went away during the EEPROM read"}
//               states: "LINE OK", "TIMEOUT", "LINE LOST", or the open failure's text
//   frame       the newest frame, at most maxRate times a second per sensor (the newest wins):
//               {"time":"2026-12-08T09:15:02.125+01:00","port":"COM1","frame":1234,
//                "RED":145,"GREEN":98,"BLUE":61,"X":114,"Y":77,"INT":248,"C-No":255}
//   parameters  retained: the parameter set after every send to or read from the sensor:
//               {"time":...,"port":"COM1","source":"RAM","POWER":200,"PMOD":0,"AVERAGE":0,
//                "TRIGGER":0,"EVALMODE":1,"INTLIM":0,"HOLD":0,"MAXCOL-No.":15,"OUTMODE":2,
//                "table":[[X,Y,CTO,INT,ITO] x 15],"block":[84 bytes as on the wire]}
//               POWER is the panel's slider value (255 minus the wire byte); "block" is exact.
//
// The client connects once a sensor is announced or has news, so a process whose ports all
// failed to open never reaches the broker.
// One sensor: the client id defaults to "nvmxv451-<host name>-<sensor>" and the last will
// "offline" goes on the sensor's status topic.
// Several sensors on one connection: the client id defaults to "nvmxv451-<host name>-<pid>", so
// that two processes on one host never push each other off the broker. MQTT gives a connection
// one last will, so it goes on the process's own topic <prefix>/clients/<client id>: retained
// "online" while connected, "offline" as the will when the process dies, and at a clean end
// every served sensor's status says "offline" first, then the process's topic.
// Free of Qt.
#pragma once

#include "sensor/wire.h"

enum {
    TELEMETRY_TEXT_LEN = 256,
    TELEMETRY_VALUES = FRAME_LENGTH, // RED, GREEN, BLUE, X, Y, INT, C-No
    TELEMETRY_BLOCK = BLOCK_LENGTH,  // the parameter block
    TELEMETRY_DEFAULT_PORT = 1883,
    TELEMETRY_DEFAULT_TLS_PORT = 8883,
    TELEMETRY_MAX_SENSORS = 32,  // sensors on one connection
    TELEMETRY_EVENTS = 16,       // events of a sensor waiting for the broker at most
    TELEMETRY_EVENT_LEN = 1024,  // longest event payload, terminator included
    TELEMETRY_ALARMS_LEN = 8192, // longest alarms or health payload, terminator included
};

// How to reach the broker. An empty host switches telemetry off.
struct TelemetryConfig {
    char host[TELEMETRY_TEXT_LEN];
    int port;                             // 0: 1883, or 8883 with a CA file
    char clientId[TELEMETRY_TEXT_LEN];    // "": "nvmxv451-<host name>-<sensor or pid>"
    char topicPrefix[TELEMETRY_TEXT_LEN]; // "": "nvmxv451/<host name>"
    char username[TELEMETRY_TEXT_LEN];    // "": no user name
    char password[TELEMETRY_TEXT_LEN];
    char caFile[TELEMETRY_TEXT_LEN]; // "": plain TCP; else TLS, broker checked against it
    double maxRate;                  // frames per second at most; 0: every frame
    double reconnectMin;             // seconds before the first reconnect (back-off doubles)
    double reconnectMax;             // longest pause between two attempts
};

// The state of the connection, for the panel and the reports.
enum TelemetryStateCode {
    TELEMETRY_OFF = 0,        // not configured, or stopped
    TELEMETRY_CONNECTING = 1, // first attempt on its way
    TELEMETRY_CONNECTED = 2,
    TELEMETRY_RETRYING = 3, // the broker is down or went away; the next attempt is due later
    TELEMETRY_REFUSED = 4,  // the broker refused us (user name, password, client id); retrying
    TELEMETRY_WAITING = 5,  // nothing to publish yet, so not connected yet
};

// Defaults: no host, port 0, rate 10 per second, reconnect after 1 s, at most every 30 s.
void DefaultTelemetryConfig(TelemetryConfig *config);

// Starts the client for count sensors (1 to TELEMETRY_MAX_SENSORS), named as topic levels
// (e.g. "COM1"; no two alike); sensor i of the calls below is sensors[i]. A running client is
// stopped first. Returns 0; -1 with the reason in LastTelemetryError when the configuration
// cannot work (a CA file that cannot be read, a topic prefix with wildcards, a sensor name that
// is no topic level). An empty host returns 0 and leaves telemetry off. ports: each sensor's
// port as its payloads' "port" names it ("COM3"); null: the sensors' names.
int StartTelemetrySensors(const TelemetryConfig *config, const char *const *sensors, int count,
                          const char *const *ports = nullptr);
// StartTelemetrySensors for the one sensor named, announced at once (see AnnounceSensorOf).
int StartTelemetry(const TelemetryConfig *config, const char *sensor);
// Sends "offline", disconnects and ends the client thread; waits at most about a second for a
// broker that does not answer. Harmless when telemetry is off.
void StopTelemetry(void);

// Leaves sensor's newest frame for the client; never blocks, never allocates. The frame's time
// is taken here. A sensor number the running client does not carry is ignored, as is every
// call while telemetry is off; so for the two calls below.
void PublishFrameOf(int sensor, const unsigned char values[TELEMETRY_VALUES]);
// The process now serves sensor (its port opened): its status says "online", and "offline"
// at the end. Once is enough; later calls change nothing until the sensor is withdrawn.
void AnnounceSensorOf(int sensor);
// The process no longer serves sensor (its device went away) though it goes on: its status says
// "offline" now, and "online" again when it is announced again. Harmless for a sensor that is
// not announced.
void WithdrawSensorOf(int sensor);
// Leaves sensor's newest state with the time of this call, for its state topic (retained; sent
// again after every reconnect), and with it what happened for people ("" for nothing more,
// e.g. "the device went away during the EEPROM read"). It does not announce the sensor.
void PublishStateOf(int sensor, const char *status, const char *message);
// PublishStateOf without a message.
void PublishStatusOf(int sensor, const char *status);
// Leaves the parameter set just sent to or read from sensor (retained); source is "RAM" or
// "EEPROM".
void PublishParametersOf(int sensor, const unsigned char block[TELEMETRY_BLOCK],
                         const char *source);
// Leaves an event (a JSON object) for sensor's events topic, not retained; up to
// TELEMETRY_EVENTS wait for a slow broker, the oldest giving way. A payload too long is dropped.
void PublishEventOf(int sensor, const char *json);
// Leaves sensor's active alarms (a JSON object) for its alarms topic, retained; "" empties the
// topic once no alarm is active. A payload too long is dropped.
void PublishAlarmsOf(int sensor, const char *json);
// Leaves sensor's health figures (a JSON object) for its health topic, retained. A payload too
// long is dropped.
void PublishHealthOf(int sensor, const char *json);
// The calls above for sensor 0, the only one of a client started for one sensor.
void PublishFrame(const unsigned char values[TELEMETRY_VALUES]);
void PublishStatus(const char *status);
void PublishParameters(const unsigned char block[TELEMETRY_BLOCK], const char *source);

// The state, and in text a line for people: "MQTT connected to host:1883",
// "MQTT broker host:1883 unreachable (Connection refused), retry in 4 s", "MQTT off" ...
int GetTelemetryState(char *text, int size);
// Frames of all sensors handed to the broker's connection since the client started.
long TelemetryFramesSent(void);
// Frames of sensor handed to the broker's connection since the client started; 0 for a sensor
// the client does not carry.
long TelemetryFramesSentOf(int sensor);
// Why StartTelemetrySensors failed.
const char *LastTelemetryError(void);
