// The panel side of live telemetry.
#include "gui/telemetrypanel.h"

#include "gui/linepanel.h"
#include "state/globals.h"

#include <cstdio>
#include <string>

enum { BROKER_TEXT_LEN = TELEMETRY_TEXT_LEN * 2 };
enum { CONNECTED_COLOUR = 0x008000, WAITING_COLOUR = 0x606060, FAILED_COLOUR = 0xC00000 };

static TelemetryConfig panelConfig;
static std::string telemetrySensor; // the sensor whose name the client carries; "" while off

// The client for the panel's sensor, by its one name: a panel and a command on the same device
// speak of one sensor.
static void StartForSensor(void) {
    const SensorSession *session = PanelSession();
    telemetrySensor.clear();
    if (!panelConfig.host[0])
        return;
    // The sensor is announced once its port opens (OpenSession), so a panel that finds the port
    // held by another program says nothing in that program's name.
    const char *const sensors[] = {session->name};
    const char *const ports[] = {session->label};
    if (StartTelemetrySensors(&panelConfig, sensors, 1, ports) == 0) {
        telemetrySensor = session->name;
        return;
    }
    char message[BROKER_TEXT_LEN];
    std::snprintf(message, sizeof message, " ATTENTION! \n \n NO MQTT TELEMETRY \n %s",
                  LastTelemetryError());
    MessagePopup("INFO", message);
}

void StartPanelTelemetry(const TelemetryConfig *config) {
    panelConfig = *config;
    StartForSensor();
    ShowBrokerState();
}

void FollowPortWithTelemetry(void) {
    if (telemetrySensor.empty() || telemetrySensor == PanelSession()->name)
        return;
    StopTelemetry();
    StartForSensor();
}

// A short word beside the frame's title; the tooltip has the whole line.
static const char *BrokerWord(int state, int *colour) {
    switch (state) {
    case TELEMETRY_CONNECTED:
        *colour = CONNECTED_COLOUR;
        return "MQTT connected";
    case TELEMETRY_CONNECTING:
        *colour = WAITING_COLOUR;
        return "MQTT connecting";
    case TELEMETRY_WAITING:
        *colour = WAITING_COLOUR;
        return "MQTT waiting";
    case TELEMETRY_RETRYING:
        *colour = FAILED_COLOUR;
        return "MQTT broker down";
    case TELEMETRY_REFUSED:
        *colour = FAILED_COLOUR;
        return "MQTT refused";
    default:
        *colour = WAITING_COLOUR;
        return "";
    }
}

void ShowBrokerState(void) {
    char line[BROKER_TEXT_LEN] = "";
    int colour = WAITING_COLOUR;
    const char *word = BrokerWord(GetTelemetryState(line, sizeof line), &colour);
    SetCtrlAttribute(MainPanel, PANEL_BROKER, ATTR_TEXT_COLOR, colour);
    SetCtrlAttribute(MainPanel, PANEL_BROKER, ATTR_TOOLTIP_TEXT, line);
    SetCtrlVal(MainPanel, PANEL_BROKER, word);
}

void EndPanelTelemetry(void) {
    StopTelemetry();
    telemetrySensor.clear();
}
