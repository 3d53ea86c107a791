// The panel's face by evaluation mode, signal source and view.
#include "gui/layout.h"

#include "detection/model.h"
#include "gui/livedisplay.h"
#include "gui/records.h"
#include "state/globals.h"

enum {
    KEEP = -1,               // a control value or trace set that a layout leaves as it is
    MAXCOL_DIRECT_LIMIT = 4, // colours the DIRECT output modes can signal
    FORCED_COUNT = 6,
    RESTRICTED_COUNT = 5,
    LAST_SOURCE = 6,
    ACTIVE_ROW_COLOUR = 0x008000,
    INACTIVE_ROW_COLOUR = 0xFF0000,
};

// ---- Evaluation mode ---------------------------------------------------------------------------

// Controls that an evaluation mode may force, in the order they are set.
static const int forcedControls[FORCED_COUNT] = {
    PANEL_SOURCE, PANEL_AVERAGE, PANEL_HOLD, PANEL_PMOD, PANEL_MAXCOLNO, PANEL_OUTMODE,
};
// Controls that an evaluation mode may dim, in the order they are set.
static const int restrictedControls[RESTRICTED_COUNT] = {
    PANEL_AVERAGE, PANEL_HOLD, PANEL_MAXCOLNO, PANEL_OUTMODE, PANEL_PMOD,
};

struct EvalModeLayout {
    int forced[FORCED_COUNT];     // by forcedControls; KEEP leaves the control
    int dimmed[RESTRICTED_COUNT]; // by restrictedControls
    const char *headers[TEACH_COLUMNS];
};

#define VECTOR_HEADERS                                                                             \
    { "X", "Y", "CTO", "INT", "ITO" }
#define CONTRAST_HEADERS                                                                           \
    { "UL", "LL", "", "", "" }
#define CONTRAST_LAYOUT(source)                                                                    \
    { {source, 0, 0, 0, 1, OUTMODE_BINARY}, {1, 1, 1, 1, 1}, CONTRAST_HEADERS }

// Index 0 is the layout of every EVALMODE outside 1..7.
static const EvalModeLayout evalModeLayouts[LAST_EVALMODE + 1] = {
    {{KEEP, KEEP, KEEP, KEEP, KEEP, KEEP}, {0, 0, 0, 0, 0}, VECTOR_HEADERS},
    {{KEEP, KEEP, KEEP, KEEP, KEEP, KEEP}, {0, 0, 0, 0, 0}, {"X", "Y", "", "", ""}},
    {{0, 0, KEEP, KEEP, KEEP, OUTMODE_BINARY}, {1, 0, 0, 1, 0}, VECTOR_HEADERS},
    CONTRAST_LAYOUT(2),
    CONTRAST_LAYOUT(3),
    CONTRAST_LAYOUT(4),
    {{0, 0, KEEP, KEEP, KEEP, KEEP}, {1, 0, 0, 0, 0}, VECTOR_HEADERS},
    {{0, 0, KEEP, KEEP, 1, KEEP}, {1, 0, 1, 0, 0}, VECTOR_HEADERS},
};

static const EvalModeLayout *EvalModeLayoutFor(unsigned char evalMode) {
    return &evalModeLayouts[evalMode <= LAST_EVALMODE ? evalMode : 0];
}

static void ApplyEvalModeLayout(const EvalModeLayout *layout) {
    for (int i = 0; i < FORCED_COUNT; i++)
        if (layout->forced[i] != KEEP)
            SetCtrlVal(MainPanel, forcedControls[i], layout->forced[i]);
    for (int i = 0; i < RESTRICTED_COUNT; i++)
        SetCtrlAttribute(MainPanel, restrictedControls[i], ATTR_DIMMED, layout->dimmed[i]);
    for (int column = 1; column <= TEACH_COLUMNS; column++)
        SetTableColumnAttribute(MainPanel, PANEL_TEACHTABLE, column, ATTR_LABEL_TEXT,
                                layout->headers[column - 1]);
}

void DimPowerByPmod(void) {
    SetCtrlAttribute(MainPanel, PANEL_POWER, ATTR_DIMMED, ParameterSet.parameter[OFFSET_PMOD] != 0);
}

void MaxcolWarning(void) {
    GetCtrlVal(MainPanel, PANEL_MAXCOLNO, &ParameterSet.parameter[OFFSET_MAXCOLNO]);
    GetCtrlVal(MainPanel, PANEL_OUTMODE, &ParameterSet.parameter[OFFSET_OUTMODE]);
    if (ParameterSet.parameter[OFFSET_MAXCOLNO] > MAXCOL_DIRECT_LIMIT &&
        ParameterSet.parameter[OFFSET_OUTMODE] != OUTMODE_BINARY)
        MessagePopup("INFO", " ATTENTION! \n \n MAXCOL-No. IS TOO HIGH \n DECREASE MAXCOL-No. OR "
                             "SWITCH TO OUTMODE=BINARY");
}

void ColourRowLabels(void) {
    // Always exactly the 15 rows of the table, whatever the byte holds.
    const int activeRows = ActiveRows(ParameterSet.parameter);
    for (int row = 1; row <= TEACH_ROWS; row++)
        SetTableRowAttribute(MainPanel, PANEL_TEACHTABLE, row, ATTR_LABEL_COLOR,
                             row <= activeRows ? ACTIVE_ROW_COLOUR : INACTIVE_ROW_COLOUR);
}

void ApplyEvalMode(void) {
    GetCtrlVal(MainPanel, PANEL_EVALMODE, &ParameterSet.parameter[OFFSET_EVALMODE]);
    ApplyEvalModeLayout(EvalModeLayoutFor(ParameterSet.parameter[OFFSET_EVALMODE]));
    GetCtrlVal(MainPanel, PANEL_PMOD, &ParameterSet.parameter[OFFSET_PMOD]);
    DimPowerByPmod();
    MaxcolWarning();
    ColourRowLabels();
    ApplySource();
}

// ---- Signal source -----------------------------------------------------------------------------

#define TRACE_BIT(trace) (1 << ((trace)-1))
#define LIMIT_TRACES (TRACE_BIT(TRACE_UL) | TRACE_BIT(TRACE_LL))

struct SourceLayout {
    int colourGraph;
    int signalChart;
    int valueDisplays; // X, Y, INT and C-No
    int contrastDisplay;
    int contrastBackground;
    int contrastText;
    int traces;        // bit k - 1 shows trace k; KEEP leaves every trace as it is
    int limitEvalMode; // the contrast mode in which UL and LL are shown too; 0 none
};

static const SourceLayout sourceLayouts[LAST_SOURCE + 1] = {
    {1, 0, 1, 0, 0, 0, KEEP, 0},
    {0, 1, 1, 0, 0, 0, TRACE_BIT(TRACE_RED) | TRACE_BIT(TRACE_GREEN) | TRACE_BIT(TRACE_BLUE), 0},
    {0, 1, 0, 1, 0xFF0000, 0xFFFFFF, TRACE_BIT(TRACE_RED), 3},
    {0, 1, 0, 1, 0x00FF00, 0x000000, TRACE_BIT(TRACE_GREEN), 4},
    {0, 1, 0, 1, 0x0000FF, 0xFFFFFF, TRACE_BIT(TRACE_BLUE), 5},
    {0, 1, 1, 0, 0, 0, TRACE_BIT(TRACE_INT) | LIMIT_TRACES, 0},
    {0, 1, 1, 0, 0, 0, TRACE_BIT(TRACE_CNO), 0},
};

static const int valueDisplays[] = {PANEL_X, PANEL_Y, PANEL_INT, PANEL_CNO};

static void ShowTraces(int traces) {
    for (int trace = 1; trace <= TRACE_COUNT; trace++)
        SetTraceAttribute(MainPanel, PANEL_SIGNALCHART, trace, ATTR_TRACE_VISIBLE,
                          (traces & TRACE_BIT(trace)) != 0);
}

static void ApplySourceLayout(const SourceLayout *layout, unsigned char evalMode) {
    SetCtrlAttribute(MainPanel, PANEL_COLOURGRAPH, ATTR_VISIBLE, layout->colourGraph);
    SetCtrlAttribute(MainPanel, PANEL_SIGNALCHART, ATTR_VISIBLE, layout->signalChart);
    for (int display : valueDisplays)
        SetCtrlAttribute(MainPanel, display, ATTR_VISIBLE, layout->valueDisplays);
    if (layout->contrastDisplay) {
        SetCtrlAttribute(MainPanel, PANEL_RAW, ATTR_TEXT_BGCOLOR, layout->contrastBackground);
        SetCtrlAttribute(MainPanel, PANEL_RAW, ATTR_TEXT_COLOR, layout->contrastText);
    }
    SetCtrlAttribute(MainPanel, PANEL_RAW, ATTR_VISIBLE, layout->contrastDisplay);
    if (layout->traces == KEEP)
        return;
    int traces = layout->traces;
    if (layout->limitEvalMode != 0 && evalMode == layout->limitEvalMode)
        traces |= LIMIT_TRACES;
    ShowTraces(traces);
}

void ApplySource(void) {
    GetCtrlVal(MainPanel, PANEL_SOURCE, &graphSource);
    GetCtrlVal(MainPanel, PANEL_EVALMODE, &ParameterSet.parameter[OFFSET_EVALMODE]);
    if (graphSource < 0 || graphSource > LAST_SOURCE)
        return;
    ApplySourceLayout(&sourceLayouts[graphSource], ParameterSet.parameter[OFFSET_EVALMODE]);
}

// ---- Views -------------------------------------------------------------------------------------

static const int teachTableGroup[] = {
    PANEL_TEACHTABLE, PANEL_RESETTABLE, PANEL_TEACH,   PANEL_APPLYALL,  PANEL_ZOOM,
    PANEL_AUTOADJUST, PANEL_NO,         PANEL_AUTOINC, PANEL_TEACHMANY,
};

static const int parameterGroup[] = {
    PANEL_POWER,       PANEL_PMOD,        PANEL_EVALMODE,    PANEL_MAXCOLNO,    PANEL_OUTMODE,
    PANEL_AVERAGE,     PANEL_TRIGGER,     PANEL_INTLIM,      PANEL_HOLD,        PANEL_PARAMDECO_1,
    PANEL_PARAMDECO_2, PANEL_PARAMDECO_3, PANEL_PARAMDECO_4, PANEL_PARAMDECO_5, PANEL_PARAMDECO_6,
    PANEL_PARAMDECO_7, PANEL_PARAMDECO_8, PANEL_PARAMDECO_9,
};

#define GROUP_SIZE(group) ((int)(sizeof(group) / sizeof((group)[0])))

static void ShowGroup(const int *group, int count, int visible) {
    for (int i = 0; i < count; i++)
        SetCtrlAttribute(MainPanel, group[i], ATTR_VISIBLE, visible);
}

void ShowParameterView(void) {
    ShowGroup(teachTableGroup, GROUP_SIZE(teachTableGroup), 0);
    ShowGroup(parameterGroup, GROUP_SIZE(parameterGroup), 1);
}

void ShowTeachTableView(void) {
    ShowGroup(parameterGroup, GROUP_SIZE(parameterGroup), 0);
    ShowGroup(teachTableGroup, GROUP_SIZE(teachTableGroup), 1);
}
