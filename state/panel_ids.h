// Control ids of MainPanel. Each id names the widget of the same object name in nvmxv451.uir;
// the engine refuses a panel file that lacks one of them.
#pragma once

#include "platform/engine/userint.h"

// The controls of MainPanel, in id order from 1: the one list from which the ids, their count
// and the control table follow.
// clang-format off
#define PANEL_CONTROLS(X) \
    X(PANEL_COMPORT) /* COM-port selector, EditConnect */                            \
    X(PANEL_SEND) /* ButtonSend, F9 */                                               \
    X(PANEL_GET) /* ButtonGet, F10 */                                                \
    X(PANEL_GO) /* ButtonGo, F11 */                                                  \
    X(PANEL_STOP) /* ButtonStop, F12 */                                              \
    X(PANEL_RAM) /* SelectRAM */                                                     \
    X(PANEL_EEPROM) /* SelectEEPROM */                                               \
    X(PANEL_FILE) /* SelectFILE */                                                   \
    X(PANEL_PARAVISIBLE) /* ParaVisible: parameter view on, teach-table view off */  \
    X(PANEL_SOURCE) /* SelectSource, values 0..6 */                                  \
    X(PANEL_EVALMODE) /* Evalmode */                                                 \
    X(PANEL_RESETTABLE) /* ButtonResetTable */                                       \
    X(PANEL_TEACH) /* ButtonTeachDataTo */                                           \
    X(PANEL_APPLYALL) /* ButtonApplyFromAll */                                       \
    X(PANEL_ZOOM) /* ButtonZoom */                                                   \
    X(PANEL_AUTOADJUST) /* AutoAdjust */                                             \
    X(PANEL_ZOOMGRAPH) /* ZoomGraph, GraphData2 */                                   \
    X(PANEL_MAXCOLNO) /* EditMaxcolNo, 0..15 */                                      \
    X(PANEL_OUTMODE) /* EditOutmode */                                               \
    X(PANEL_PMOD) /* EditPmod */                                                     \
    X(PANEL_AVERAGE) /* EditAverage */                                               \
    X(PANEL_TRIGGER) /* EditTrigger */                                               \
    X(PANEL_INTLIM) /* EditIntlim */                                                 \
    X(PANEL_HOLD) /* EditHold */                                                     \
    X(PANEL_NO) /* EditNo, 0..14 */                                                  \
    X(PANEL_AUTOINC) /* RadioInc */                                                  \
    X(PANEL_X) /* DispX */                                                           \
    X(PANEL_Y) /* DispY */                                                           \
    X(PANEL_INT) /* DispINT */                                                       \
    X(PANEL_RAW) /* DispRAW, the contrast display */                                 \
    X(PANEL_CNO) /* DispCOL */                                                       \
    X(PANEL_RED) /* DispRED */                                                       \
    X(PANEL_GREEN) /* DispGREEN */                                                   \
    X(PANEL_BLUE) /* DispBLUE */                                                     \
    X(PANEL_STATUS) /* DispStatus */                                                 \
    X(PANEL_SIGNALCHART) /* SignalChart, GraphRaw1 */                                \
    X(PANEL_COLOURGRAPH) /* ColourGraph, GraphData1 */                               \
    X(PANEL_POWER) /* SlidePower */                                                  \
    X(PANEL_TEACHTABLE) /* COLOR TEACH TABLE, 15 rows x 5 columns */                 \
    X(PANEL_HEADERFRAME) /* decoration behind the branding header */                 \
    X(PANEL_LOGO) /* picture of the branding header */                               \
    X(PANEL_PARAMDECO_1) /* the nine passive controls of the parameter area */       \
    X(PANEL_PARAMDECO_2)                                                             \
    X(PANEL_PARAMDECO_3)                                                             \
    X(PANEL_PARAMDECO_4)                                                             \
    X(PANEL_PARAMDECO_5)                                                             \
    X(PANEL_PARAMDECO_6)                                                             \
    X(PANEL_PARAMDECO_7)                                                             \
    X(PANEL_PARAMDECO_8)                                                             \
    X(PANEL_PARAMDECO_9)                                                             \
    X(PANEL_PORTNOTE) /* why the port did not open or went away, and what to do */  \
    X(PANEL_RECORD) /* ButtonRecord, toggle, F8 */                                   \
    X(PANEL_RECFOLDER) /* RecordFolder */                                            \
    X(PANEL_RECSTATUS) /* recording display: file name and frames written */         \
    X(PANEL_EXPORT) /* ButtonExport: colour graph or strip chart to PNG or PDF */    \
    X(PANEL_EXPORTZOOM) /* ButtonExportZoom: zoom graph to PNG or PDF */             \
    X(PANEL_SHEET) /* ButtonSheet: the printable parameter sheet, Ctrl+P */          \
    X(PANEL_BROKER) /* the MQTT broker's state, beside the SENSOR LINK title */      \
    X(PANEL_TEACHMANY) /* ButtonTeachMany: row No. from many frames */               \
    X(PANEL_TAKEAMOUNT) /* EditTakeAmount: frames or seconds to take */              \
    X(PANEL_TAKEUNIT) /* EditTakeUnit: TAKE_FRAMES or TAKE_SECONDS */                \
    X(PANEL_TEACHK) /* EditTeachK: standard deviations of the teach rule */          \
    X(PANEL_TEACHMARGIN) /* EditTeachMargin: units added by the teach rule */        \
    X(PANEL_TEACHRULE) /* the teach rule in words, with k and the margin */          \
    X(PANEL_TEACHSTATE) /* DispTeachMany: the collection and the row it taught */    \
    X(PANEL_SAMPLES) /* the samples each row keeps; their sources in the tooltip */  \
    X(PANEL_SAVESAMPLES) /* ButtonSaveSamples: row No.'s samples as a recording */   \
    X(PANEL_LOADSAMPLES) /* ButtonLoadSamples: a recording as row No.'s samples */   \
    X(PANEL_EVALUATE) /* ButtonCheckRecording: the table against a recording */      \
    X(PANEL_TUNE) /* ButtonTune: CTO and ITO of the active rows from samples */      \
    X(PANEL_DETECTREPORT) /* DispDetection: the last check or tuning, as text */     \
    X(PANEL_ACCEPTTUNING) /* ButtonAcceptTuning: the proposal into the table */      \
    X(PANEL_DISCARDTUNING) /* ButtonDiscardTuning */
// clang-format on

#define PANEL_CONTROL_ID(id) id,
enum { PANEL_NONE = 0, PANEL_CONTROLS(PANEL_CONTROL_ID) };
#undef PANEL_CONTROL_ID
#define PANEL_CONTROL_ONE(id) +1
enum { PANEL_CONTROL_COUNT = 0 PANEL_CONTROLS(PANEL_CONTROL_ONE) };
#undef PANEL_CONTROL_ONE

// The control table handed to the engine: id and object name.
extern const ControlName panelControls[PANEL_CONTROL_COUNT];

// Traces of SignalChart.
enum {
    TRACE_RED = 1,
    TRACE_GREEN,
    TRACE_BLUE,
    TRACE_INT,
    TRACE_CNO,
    TRACE_UL,
    TRACE_LL,
    TRACE_COUNT = TRACE_LL
};
