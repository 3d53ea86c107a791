// Live telemetry of one sensor to an MQTT broker, for a plant that watches every line from one
// dashboard. A client thread of its own owns the connection: it connects, reconnects with
// back-off and sends; the program's calls only leave their news in fixed slots and never wait
// on the network, so a broker that is slow, down or gone never slows a frame loop.
//
// Topics, under <prefix>/<sensor>/ (prefix default "nvmxv451/<host name>", sensor e.g. "COM1"):
//   status      retained: "online" once connected, then the newest line status ("LINE OK",
//               "LINE LOST", "TIMEOUT"); "offline" as the broker's last will and at a clean end
//   frame       the newest frame, at most maxRate times a second (the newest frame wins):
//               {"time":"2026-12-08T09:15:02.125+01:00","port":"COM1","frame":1234,
//                "RED":145,"GREEN":98,"BLUE":61,"X":114,"Y":77,"INT":248,"C-No":255}
//   parameters  retained: the parameter set after every send to or read from the sensor:
//               {"time":...,"port":"COM1","source":"RAM","POWER":200,"PMOD":0,"AVERAGE":0,
//                "TRIGGER":0,"EVALMODE":1,"INTLIM":0,"HOLD":0,"MAXCOL-No.":15,"OUTMODE":2,
//                "table":[[X,Y,CTO,INT,ITO] x 15],"block":[84 bytes as on the wire]}
//               POWER is the panel's slider value (255 minus the wire byte); "block" is exact.
// Free of Qt.
#pragma once

#include "sensor/wire.h"

enum {
    TELEMETRY_TEXT_LEN = 256,
    TELEMETRY_VALUES = FRAME_LENGTH, // RED, GREEN, BLUE, X, Y, INT, C-No
    TELEMETRY_BLOCK = BLOCK_LENGTH,  // the parameter block
    TELEMETRY_DEFAULT_PORT = 1883,
    TELEMETRY_DEFAULT_TLS_PORT = 8883,
};

// How to reach the broker. An empty host switches telemetry off.
struct TelemetryConfig {
    char host[TELEMETRY_TEXT_LEN];
    int port;                             // 0: 1883, or 8883 with a CA file
    char clientId[TELEMETRY_TEXT_LEN];    // "": "nvmxv451-<host name>-<sensor>"
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
};

// Defaults: no host, port 0, rate 10 per second, reconnect after 1 s, at most every 30 s.
void DefaultTelemetryConfig(TelemetryConfig *config);

// Starts the client for one sensor (the topic segment and the "port" of the payloads, e.g.
// "COM1"). A running client is stopped first. Returns 0; -1 with the reason in
// LastTelemetryError when the configuration cannot work (a CA file that cannot be read, a
// topic prefix with wildcards). An empty host returns 0 and leaves telemetry off.
int StartTelemetry(const TelemetryConfig *config, const char *sensor);
// Sends "offline", disconnects and ends the client thread; waits at most about a second for a
// broker that does not answer. Harmless when telemetry is off.
void StopTelemetry(void);

// Leaves the newest frame for the client; never blocks, never allocates. The frame's time is
// taken here.
void PublishFrame(const unsigned char values[TELEMETRY_VALUES]);
// Leaves the newest line status (retained; sent again after every reconnect).
void PublishStatus(const char *status);
// Leaves the parameter set just sent or read (retained); source is "RAM" or "EEPROM".
void PublishParameters(const unsigned char block[TELEMETRY_BLOCK], const char *source);

// The state, and in text a line for people: "MQTT connected to host:1883",
// "MQTT broker host:1883 unreachable (Connection refused), retry in 4 s", "MQTT off" ...
int GetTelemetryState(char *text, int size);
// Frames handed to the broker's connection since StartTelemetry.
long TelemetryFramesSent(void);
// Why StartTelemetry failed.
const char *LastTelemetryError(void);
