// Control ids of MainPanel. Each id names the widget of the same object name in nvmxv451.uir;
// the engine refuses a panel file that lacks one of them.
#pragma once

#include "platform/userint.h"

enum {
    PANEL_COMPORT = 1, // COM-port selector, EditConnect
    PANEL_SEND,        // ButtonSend, F9
    PANEL_GET,         // ButtonGet, F10
    PANEL_GO,          // ButtonGo, F11
    PANEL_STOP,        // ButtonStop, F12
    PANEL_RAM,         // SelectRAM
    PANEL_EEPROM,      // SelectEEPROM
    PANEL_FILE,        // SelectFILE
    PANEL_PARAVISIBLE, // ParaVisible: parameter view on, teach-table view off
    PANEL_SOURCE,      // SelectSource, values 0..6
    PANEL_EVALMODE,    // Evalmode
    PANEL_RESETTABLE,  // ButtonResetTable
    PANEL_TEACH,       // ButtonTeachDataTo
    PANEL_APPLYALL,    // ButtonApplyFromAll
    PANEL_ZOOM,        // ButtonZoom
    PANEL_AUTOADJUST,  // AutoAdjust
    PANEL_ZOOMGRAPH,   // ZoomGraph, GraphData2
    PANEL_MAXCOLNO,    // EditMaxcolNo, 0..15
    PANEL_OUTMODE,     // EditOutmode
    PANEL_PMOD,        // EditPmod
    PANEL_AVERAGE,     // EditAverage
    PANEL_TRIGGER,     // EditTrigger
    PANEL_INTLIM,      // EditIntlim
    PANEL_HOLD,        // EditHold
    PANEL_NO,          // EditNo, 0..14
    PANEL_AUTOINC,     // RadioInc
    PANEL_X,           // DispX
    PANEL_Y,           // DispY
    PANEL_INT,         // DispINT
    PANEL_RAW,         // DispRAW, the contrast display
    PANEL_CNO,         // DispCOL
    PANEL_RED,         // DispRED
    PANEL_GREEN,       // DispGREEN
    PANEL_BLUE,        // DispBLUE
    PANEL_STATUS,      // DispStatus
    PANEL_SIGNALCHART, // SignalChart, GraphRaw1
    PANEL_COLOURGRAPH, // ColourGraph, GraphData1
    PANEL_POWER,       // SlidePower
    PANEL_TEACHTABLE,  // COLOR TEACH TABLE, 15 rows x 5 columns
    PANEL_HEADERFRAME, // decoration behind the branding header
    PANEL_LOGO,        // picture of the branding header
    PANEL_PARAMDECO_1, // the nine passive controls of the parameter area
    PANEL_PARAMDECO_2,
    PANEL_PARAMDECO_3,
    PANEL_PARAMDECO_4,
    PANEL_PARAMDECO_5,
    PANEL_PARAMDECO_6,
    PANEL_PARAMDECO_7,
    PANEL_PARAMDECO_8,
    PANEL_PARAMDECO_9,
    PANEL_RECORD,     // ButtonRecord, toggle, F8
    PANEL_RECFOLDER,  // RecordFolder
    PANEL_RECSTATUS,  // recording display: file name and frames written
    PANEL_EXPORT,     // ButtonExport: colour graph or strip chart to PNG or PDF, Ctrl+E
    PANEL_EXPORTZOOM, // ButtonExportZoom: zoom graph to PNG or PDF, Ctrl+Shift+E
    PANEL_SHEET,      // ButtonSheet: the printable parameter sheet, Ctrl+P
    PANEL_CONTROL_COUNT = PANEL_SHEET
};

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
