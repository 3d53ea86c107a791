// The panel's side of the serial line: opening the port the user picked, the line check that
// proves the sensor, and what the status display, the port note and the pop-up say of them.
#include "gui/linepanel.h"

#include "com232/exchanges.h"
#include "gui/records.h"
#include "platform/engine/userint.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"
#include "telemetry/telemetry.h"

#include <cstdio>

static const char timeoutMessage[] = " ATTENTION! \n \n TIMEOUT \n NO SERIAL CONNECTION TO SENSOR";

enum { PORT_NOTE_LEN = 512 };

static double (*panelClock)(void) = Timer;

SensorLink PanelLink(void) {
    SensorLink link = MakeSensorLink(portNumber, panelClock);
    link.syncByte = syncByte;
    return link;
}

void SetPanelLinkClock(double (*clock)(void)) {
    panelClock = clock ? clock : Timer;
}

// Copies an open failure text into statusText and shows it there, with the engine's reason and
// remedy beside it.
static void ShowOpenFailure(int port, int code) {
    std::snprintf(statusText, STATUS_TEXT_LEN, "%s", OpenErrorText(code));
    ShowStatus(statusText);
    char note[PORT_NOTE_LEN] = "";
    ComOpenFailure(port, note, sizeof note);
    ShowPortNote(note);
    // A port another program holds is that program's to speak for on the broker.
    if (!ComPortBusy(port))
        PublishStateOf(0, statusText, note);
}

// The settings the sensor expects; the port stays closed when the open fails. The port opened
// becomes portNumber, so that the line check, the transactions and the close at shutdown all
// work on the port that was opened: the number has one carrier.
void OpenPort(int port) {
    acquisitionActive = 0;
    portNumber = port;
    int code = OpenSensorPort(port);
    if (code < 0) {
        ShowOpenFailure(port, code);
        return;
    }
    ShowPortNote("");
    AnnounceSensorOf(0);
    CheckLine();
}

// A present sensor answers 0x55 0x07 with the single byte 0xAA.
void CheckLine(void) {
    const SensorLink link = PanelLink();
    LinkReply reply;
    if (ExchangeLineCheck(&link, receiveBuffer, &reply) == EXCHANGE_OK) {
        ShowStatus("LINE OK");
        PublishStatus("LINE OK");
        if (afterLineOk)
            afterLineOk();
    } else {
        ReportTimeout();
    }
}

void ReportTimeout(void) {
    ShowStatus("TIMEOUT");
    PublishStatus("TIMEOUT");
    MessagePopup("INFO", timeoutMessage);
}

void ShowStatus(const char *text) {
    SetCtrlVal(MainPanel, PANEL_STATUS, text);
}

void ShowPortNote(const char *text) {
    SetCtrlVal(MainPanel, PANEL_PORTNOTE, text);
}
