// The panel's side of the serial line: its sensor's session, opening the port the user picked,
// the line check that proves the sensor, and what the status display, the port note and the
// pop-up say of them.
#include "gui/linepanel.h"

#include "control/control.h"

#include "platform/engine/userint.h"
#include "state/globals.h"

#include <cstdio>

static const char timeoutMessage[] = " ATTENTION! \n \n TIMEOUT \n NO SERIAL CONNECTION TO SENSOR";

static double (*panelClock)(void) = Timer;
static SensorSession panelSession;
static bool sessionBegun = false;

// The sensor of the line file, while the panel is on its port.
static struct {
    int port = 0;
    std::string name;
    std::string lineLog;
    std::string lineFile;
    std::string control;
} lineSensor;

static void BeginPanelSession(int port) {
    const bool ofLine = port == lineSensor.port;
    BeginSession(&panelSession, port, ofLine ? lineSensor.name : std::string(), 0, panelClock);
    panelSession.lineLog = ofLine ? lineSensor.lineLog : std::string();
    // The panel's settle wait runs its full time: nothing stops it.
    panelSession.keepWaiting = nullptr;
    sessionBegun = true;
}

SensorSession *PanelSession(void) {
    if (!sessionBegun || panelSession.link.port != portNumber)
        BeginPanelSession(portNumber);
    panelSession.link.clock = panelClock;
    panelSession.link.syncByte = syncByte;
    return &panelSession;
}

void ForgetPanelSession(void) {
    sessionBegun = false;
}

void SetPanelLinkClock(double (*clock)(void)) {
    panelClock = clock ? clock : Timer;
}

void SetPanelLineSensor(int port, const std::string &name, const std::string &lineLog) {
    lineSensor.port = port;
    lineSensor.name = name;
    lineSensor.lineLog = lineLog;
    ForgetPanelSession();
}

void SetPanelLineService(const std::string &lineFile, const std::string &control) {
    lineSensor.lineFile = lineFile;
    lineSensor.control = control;
}

std::string ServedSensorNote(const std::string &control, const std::string &lineFile,
                             const std::string &sensor) {
    LineControl service;
    std::vector<LoanView> sensors;
    std::string why;
    if (control.empty() || service.connect(control, &why) != LOCAL_CONNECTED ||
        !AskServiceState(&service, &sensors, &why))
        return "";
    for (const LoanView &view : sensors)
        if (view.sensor == sensor && !view.lent)
            return "held by the line service - borrow it with: nvmxv451 borrow --line " + lineFile +
                   " --sensor " + sensor + " (give it back with: nvmxv451 return)";
    return "";
}

// Copies an open failure text into statusText and shows it there, with the engine's reason and
// remedy beside it; a sensor that its line's service holds is told as held by the service.
static void ShowOpenFailure(const SensorSession *session) {
    std::snprintf(statusText, STATUS_TEXT_LEN, "%s", session->status);
    ShowStatus(statusText);
    const std::string served =
        session->link.port == lineSensor.port
            ? ServedSensorNote(lineSensor.control, lineSensor.lineFile, lineSensor.name)
            : std::string();
    ShowPortNote(served.empty() ? session->message : served.c_str());
}

// The settings the sensor expects; the port stays closed when the open fails. The port opened
// becomes portNumber, so that the line check, the transactions and the close at shutdown all
// work on the port that was opened: the number has one carrier.
void OpenPort(int port) {
    acquisitionActive = 0;
    portNumber = port;
    BeginPanelSession(port);
    SensorSession *session = PanelSession();
    if (OpenSession(session) != SESSION_OK) {
        ShowOpenFailure(session);
        return;
    }
    ShowPortNote("");
    CheckLine();
}

// A present sensor answers 0x55 0x07 with the single byte 0xAA.
void CheckLine(void) {
    if (CheckSessionLine(PanelSession()) == SESSION_OK) {
        ShowStatus("LINE OK");
        if (afterLineOk)
            afterLineOk();
    } else {
        ReportTimeout();
    }
}

void ReportTimeout(void) {
    ShowStatus("TIMEOUT");
    MessagePopup("INFO", timeoutMessage);
}

void ShowStatus(const char *text) {
    SetCtrlVal(MainPanel, PANEL_STATUS, text);
}

void ShowPortNote(const char *text) {
    SetCtrlVal(MainPanel, PANEL_PORTNOTE, text);
}
