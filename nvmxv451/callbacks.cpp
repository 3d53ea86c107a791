// The control callbacks of MainPanel. Each reacts to its own event only, hands the work to the
// module that owns it, and shows its help text on a right click.
#include "nvmxv451/callbacks.h"

#include "com232/link.h"
#include "gui/autoadjust.h"
#include "gui/colourgraph.h"
#include "gui/detectioncheck.h"
#include "gui/graphexport.h"
#include "gui/layout.h"
#include "gui/linepanel.h"
#include "gui/linewatch.h"
#include "gui/parameters.h"
#include "gui/parametersheet.h"
#include "gui/recording.h"
#include "gui/teachsamples.h"
#include "gui/teachtable.h"
#include "gui/telemetrypanel.h"
#include "gui/transactions.h"
#include "gui/tuning.h"
#include "nvmxv451/helptexts.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"

#define UNUSED_CALLBACK_ARGUMENTS                                                                  \
    (void)panel;                                                                                   \
    (void)callbackData;                                                                            \
    (void)eventData1;                                                                              \
    (void)eventData2

// A callback that only shows its help text.
#define HELP_ONLY_CALLBACK(name)                                                                   \
    CONTROL_CALLBACK(name) {                                                                       \
        UNUSED_CALLBACK_ARGUMENTS;                                                                 \
        if (event == EVENT_RIGHT_CLICK)                                                            \
            ShowHelpText(control);                                                                 \
        return 0;                                                                                  \
    }

// A callback that runs action on its event and shows its help text on a right click.
#define ACTION_CALLBACK(name, actionEvent, action)                                                 \
    CONTROL_CALLBACK(name) {                                                                       \
        UNUSED_CALLBACK_ARGUMENTS;                                                                 \
        if (event == (actionEvent))                                                                \
            action;                                                                                \
        else if (event == EVENT_RIGHT_CLICK)                                                       \
            ShowHelpText(control);                                                                 \
        return 0;                                                                                  \
    }

// ---- Actions ---------------------------------------------------------------------------------

// The wait before Get and Go: the sensor's settling time for the selected memory (FILE counts
// as the RAM), spent in the port's poll. No events run meanwhile.
static void preTransferWait(void) {
    SettleBeforeRead(PanelSession(), SensorMemoryOf(ParameterTarget));
}

static void ChangePort(void) {
    EndLineWatch();
    acquisitionActive = 0;
    CloseCom(portNumber);
    GetCtrlVal(MainPanel, PANEL_COMPORT, &portNumber);
    FollowPortWithTelemetry();
    ShowStatus("Init COM-Port ...");
    OpenPort(portNumber);
}

static void SendToTarget(void) {
    if (ParameterTarget == FILE_TARGET)
        SaveParameterFile();
    else
        SendParameters();
}

static void GetFromSource(void) {
    preTransferWait();
    if (ParameterTarget == FILE_TARGET)
        LoadParameterFile();
    else
        GetParameters();
}

// Go during a running transfer only keeps it running: its wait would stall the panel once per
// press while the sensor is already settled, and its erase would blank the running graph.
static void StartTransfer(void) {
    if (!DataTransferRunning()) {
        preTransferWait();
        DeleteGraphPlot(MainPanel, PANEL_COLOURGRAPH, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
        DrawLimitLine(PANEL_COLOURGRAPH);
    }
    RunDataTransfer();
}

// The three select buttons keep exactly one target lit; switching the lit one off falls back to
// RAM.
static void SelectTarget(int control, int target) {
    static const int selectButtons[] = {PANEL_RAM, PANEL_EEPROM, PANEL_FILE};
    int on = 0;
    GetCtrlVal(MainPanel, control, &on);
    if (on) {
        SetCtrlVal(MainPanel, control, 1);
        ParameterTarget = target;
        for (int button : selectButtons)
            if (button != control)
                SetCtrlVal(MainPanel, button, 0);
    } else {
        ParameterTarget = RAM;
        SetCtrlVal(MainPanel, PANEL_RAM, 1);
    }
}

static void SwitchView(void) {
    int parametersShown = 0;
    GetCtrlVal(MainPanel, PANEL_PARAVISIBLE, &parametersShown);
    if (parametersShown)
        ShowParameterView();
    else
        ShowTeachTableView();
}

// While a tuning proposal waits, the zoom view shows it instead of the taught colours.
static void OpenZoomAtFullRange(void) {
    ZoomFullRange();
    PlotZoomView();
}

static void CommitPmod(void) {
    GetCtrlVal(MainPanel, PANEL_PMOD, &ParameterSet.parameter[OFFSET_PMOD]);
    DimPowerByPmod();
}

// ---- Callbacks -------------------------------------------------------------------------------

ACTION_CALLBACK(EditConnect, EVENT_COMMIT, ChangePort())
ACTION_CALLBACK(ButtonSend, EVENT_COMMIT, SendToTarget())
ACTION_CALLBACK(ButtonGet, EVENT_COMMIT, GetFromSource())
ACTION_CALLBACK(ButtonGo, EVENT_COMMIT, StartTransfer())
ACTION_CALLBACK(ButtonStop, EVENT_COMMIT, acquisitionActive = 0)
ACTION_CALLBACK(SelectRAM, EVENT_VAL_CHANGED, SelectTarget(PANEL_RAM, RAM))
ACTION_CALLBACK(SelectEEPROM, EVENT_VAL_CHANGED, SelectTarget(PANEL_EEPROM, EEPROM))
ACTION_CALLBACK(SelectFILE, EVENT_VAL_CHANGED, SelectTarget(PANEL_FILE, FILE_TARGET))
ACTION_CALLBACK(ParaVisible, EVENT_COMMIT, SwitchView())
ACTION_CALLBACK(SelectSource, EVENT_COMMIT, ApplySource())
ACTION_CALLBACK(Evalmode, EVENT_COMMIT, ApplyEvalMode())
ACTION_CALLBACK(ButtonResetTable, EVENT_COMMIT, (CloseZoomView(), ResetTable()))
ACTION_CALLBACK(ButtonTeachDataTo, EVENT_COMMIT, (CloseZoomView(), TeachDataTo()))
ACTION_CALLBACK(ButtonApplyFromAll, EVENT_COMMIT,
                (CloseZoomView(), PlotTaughtColours(PANEL_COLOURGRAPH)))
ACTION_CALLBACK(ButtonZoom, EVENT_COMMIT, OpenZoomAtFullRange())
ACTION_CALLBACK(AutoAdjust, EVENT_COMMIT, AutoAdjustTolerances())
ACTION_CALLBACK(EditMaxcolNo, EVENT_COMMIT, (MaxcolWarning(), ColourRowLabels()))
ACTION_CALLBACK(EditOutmode, EVENT_COMMIT, MaxcolWarning())
ACTION_CALLBACK(EditPmod, EVENT_COMMIT, CommitPmod())
ACTION_CALLBACK(ButtonRecord, EVENT_COMMIT, ToggleRecording())
ACTION_CALLBACK(RecordFolder, EVENT_COMMIT, ChooseRecordFolder())
ACTION_CALLBACK(ButtonExport, EVENT_COMMIT, ExportGraph())
ACTION_CALLBACK(ButtonExportZoom, EVENT_COMMIT, ExportZoomGraph())
ACTION_CALLBACK(ButtonSheet, EVENT_COMMIT, PrintParameterSheet())
ACTION_CALLBACK(ButtonTeachMany, EVENT_COMMIT, TeachManyFrames())
ACTION_CALLBACK(EditTeachK, EVENT_COMMIT, ShowTeachRule())
ACTION_CALLBACK(EditTeachMargin, EVENT_COMMIT, ShowTeachRule())
ACTION_CALLBACK(ButtonSaveSamples, EVENT_COMMIT, SaveRowSamples())
ACTION_CALLBACK(ButtonLoadSamples, EVENT_COMMIT, LoadRowSamples())
ACTION_CALLBACK(ButtonCheckRecording, EVENT_COMMIT, CheckRecordingAgainstTable())
ACTION_CALLBACK(ButtonTune, EVENT_COMMIT, TuneActiveRows())
ACTION_CALLBACK(ButtonAcceptTuning, EVENT_COMMIT, AcceptTuning())
ACTION_CALLBACK(ButtonDiscardTuning, EVENT_COMMIT, DiscardTuning())

// The zoom graph's right click closes the zoom view instead of showing help.
CONTROL_CALLBACK(GraphData2) {
    UNUSED_CALLBACK_ARGUMENTS;
    (void)control;
    if (event == EVENT_VAL_CHANGED)
        MoveZoomView();
    else if (event == EVENT_RIGHT_CLICK)
        CloseZoomView();
    return 0;
}

HELP_ONLY_CALLBACK(EditAverage)
HELP_ONLY_CALLBACK(EditTrigger)
HELP_ONLY_CALLBACK(EditIntlim)
HELP_ONLY_CALLBACK(EditHold)
HELP_ONLY_CALLBACK(EditNo)
HELP_ONLY_CALLBACK(RadioInc)
HELP_ONLY_CALLBACK(DispX)
HELP_ONLY_CALLBACK(DispY)
HELP_ONLY_CALLBACK(DispINT)
HELP_ONLY_CALLBACK(DispRAW)
HELP_ONLY_CALLBACK(DispCOL)
HELP_ONLY_CALLBACK(DispRED)
HELP_ONLY_CALLBACK(DispGREEN)
HELP_ONLY_CALLBACK(DispBLUE)
HELP_ONLY_CALLBACK(DispStatus)
HELP_ONLY_CALLBACK(GraphRaw1)
HELP_ONLY_CALLBACK(GraphData1)
HELP_ONLY_CALLBACK(SlidePower)
HELP_ONLY_CALLBACK(EditTakeAmount)
HELP_ONLY_CALLBACK(EditTakeUnit)
HELP_ONLY_CALLBACK(DispTeachMany)
HELP_ONLY_CALLBACK(DispDetection)

#define BIND(name) {#name, name, nullptr},
const CallbackName programCallbacks[CONTROL_CALLBACK_COUNT + 1] = {{"P", nullptr, P},
                                                                   CONTROL_CALLBACKS(BIND)};
#undef BIND
