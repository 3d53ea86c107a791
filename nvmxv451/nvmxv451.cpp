#include "nvmxv451/nvmxv451.h"

#include "nvmxv451_version.h"

#include "com232/link.h"
#include "gui/colourgraph.h"
#include "gui/layout.h"
#include "gui/linepanel.h"
#include "gui/linewatch.h"
#include "gui/parameters.h"
#include "gui/recording.h"
#include "gui/teachsamples.h"
#include "gui/telemetrypanel.h"
#include "gui/transactions.h"
#include "gui/tuning.h"
#include "logo/branding.h"
#include "nvmxv451/callbacks.h"
#include "nvmxv451/helptexts.h"
#include "nvmxv451/panelline.h"
#include "nvmxv451/preferences.h"
#include "platform/engine/ticker.h"
#include "platform/serial/rs232.h"
#include "platform/system/commandline.h"
#include "platform/system/settings.h"
#include "platform/system/telemetrysettings.h"
#include "sensor/wire.h"
#include "state/globals.h"

#include <cstring>
#include <string>

static void SetStatusText(const char *text) {
    std::strncpy(statusText, text, STATUS_TEXT_LEN - 1);
    statusText[STATUS_TEXT_LEN - 1] = '\0';
}

void InitVars(void) {
    portNumber = 1;
    ForgetPanelSession();
    syncByte = SYNC_BYTE;
    ParameterTarget = RAM;
    acquisitionActive = 0;
    afterLineOk = GetParameters;

    for (int i = 0; i < 256; i++) {
        limitLineX[i] = (unsigned char)i;
        limitLineY[i] = (unsigned char)(255 - i);
    }

    SetStatusText("InitVars");
    ShowStatus(statusText);
    CloseZoomView();
    SetCtrlVal(MainPanel, PANEL_PARAVISIBLE, 1);
    SetCtrlVal(MainPanel, PANEL_COMPORT, portNumber);
    ShowParameterView();
    ApplySource();
    PlaceBranding();
    SetHelpTooltips();
    ReadPanelParameters();
    InitTeachSamples();
    InitTuning();
}

// The panel callback: closing ends the program once the running callbacks have returned.
int P(int panel, int event, void *callbackData, int eventData1, int eventData2) {
    (void)panel;
    (void)callbackData;
    (void)eventData1;
    (void)eventData2;
    if (event == EVENT_CLOSE) {
        acquisitionActive = 0;
        EndRecording();
        QuitUserInterface(0);
    } else if (event == EVENT_PANEL_SIZE) {
        for (int trace = 1; trace <= TRACE_COUNT; trace++)
            SetTraceAttribute(MainPanel, PANEL_SIGNALCHART, trace, ATTR_TRACE_THICKNESS, 1);
    }
    return 0;
}

// The program's tick: the line and the broker, about once a second.
static void WatchLineAndBroker(void) {
    WatchLine();
    ShowBrokerState();
}

// --line FILE: the line's sensor, its port the one to start on; the line's broker under the
// options given. Returns COMMAND_LINE_RUN, or the usage exit code.
static int TakeStartLine(const char *program, const PanelStart &start,
                         const TelemetryConfig &remembered, TelemetryConfig *telemetry,
                         std::string *port) {
    PanelLineSensor sensor;
    std::string why;
    *telemetry = remembered;
    if (!TakePanelLine(start, &sensor, telemetry, &why))
        return UsageError(program, why);
    *port = sensor.port;
    SetPanelLineSensor(PortNumberOfText(sensor.port.c_str()), sensor.name, sensor.lineLog);
    SetPanelLineService(start.lineFile, sensor.control);
    return COMMAND_LINE_RUN;
}

int RunProgram(int argc, char **argv) {
    PanelStart start;
    TelemetryConfig remembered, telemetry;
    int telemetryGiven = 0;
    InitSettings("Quarnet", NVMX_PROGRAM);
    LoadTelemetrySettings(&remembered);
    telemetry = remembered;
    int ended = ParseCommandLine(argc, argv, &start, &telemetry, &telemetryGiven);
    if (ended != COMMAND_LINE_RUN)
        return ended;
    // The broker given on the command line is the one of later runs too.
    if (telemetryGiven)
        SaveTelemetrySettings(&telemetry);
    std::string portOption = start.port;
    if (!start.lineFile.empty() &&
        (ended = TakeStartLine(argc > 0 ? argv[0] : NVMX_PROGRAM, start, remembered, &telemetry,
                               &portOption)) != COMMAND_LINE_RUN)
        return ended;
    if (InitEngine(argc, argv) < 0)
        return -1;
    SetCallbackTable(programCallbacks, CONTROL_CALLBACK_COUNT + 1);
    SetControlTable(panelControls, PANEL_CONTROL_COUNT);
    MainPanel = LoadPanel(0, "nvmxv451.uir", 1);
    if (MainPanel < 0)
        return -1;
    SetPanelAttribute(MainPanel, ATTR_TITLE, productTitle);
    GetProjectDir(projectDir);
    // A save killed before its rename leaves its unfinished copy; the default folder is swept.
    RemoveUnfinishedSaves(projectDir);
    InitVars();
    portNumber = ChooseStartPort(portOption.c_str());
    SetCtrlVal(MainPanel, PANEL_COMPORT, portNumber);
    RestoreWindowPosition();
    StartPanelTelemetry(&telemetry);
    OpenPort(portNumber);
    StartTicker(WATCH_INTERVAL_MS, WatchLineAndBroker);
    DisplayPanel(MainPanel);
    RunUserInterface();
    EndPanelTelemetry();
    RememberPort();
    RememberWindowPosition();
    CloseCom(portNumber);
    DiscardPanel(MainPanel);
    return 0;
}
