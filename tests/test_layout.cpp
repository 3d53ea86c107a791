// The panel's face by evaluation mode, signal source, view and MAXCOL-No.
#include "gui/layout.h"
#include "gui/livedisplay.h"
#include "gui/records.h"
#include "state/globals.h"
#include "support/panel_fixture.h"

#include <string>

namespace {

const int GREEN_LABEL = 0x008000;
const int RED_LABEL = 0xFF0000;
const char *const MAXCOL_WARNING =
    " ATTENTION! \n \n MAXCOL-No. IS TOO HIGH \n DECREASE MAXCOL-No. OR SWITCH TO OUTMODE=BINARY";

std::string Header(int column) {
    char text[64] = "?";
    GetTableColumnAttribute(MainPanel, PANEL_TEACHTABLE, column, ATTR_LABEL_TEXT, text,
                            sizeof text);
    return text;
}

int RowLabelColour(int row) {
    int colour = -1;
    GetTableRowAttribute(MainPanel, PANEL_TEACHTABLE, row, ATTR_LABEL_COLOR, &colour);
    return colour;
}

int GreenRows() {
    int green = 0;
    for (int row = 1; row <= 15; row++) {
        int colour = RowLabelColour(row);
        EXPECT_TRUE(colour == GREEN_LABEL || colour == RED_LABEL) << "row " << row;
        // Green rows come first, the red ones after them.
        if (colour == GREEN_LABEL) {
            EXPECT_EQ(green, row - 1) << "row " << row << " is green after a red row";
            green++;
        }
    }
    return green;
}

int TraceVisible(int trace) {
    int visible = -1;
    GetTraceAttribute(MainPanel, PANEL_SIGNALCHART, trace, ATTR_TRACE_VISIBLE, &visible);
    return visible;
}

size_t Warnings() {
    size_t count = 0;
    for (const RecordedPopup &popup : Popups()) {
        EXPECT_EQ(popup.title, "INFO");
        EXPECT_EQ(popup.text, MAXCOL_WARNING);
        count++;
    }
    return count;
}

// ---- Evaluation mode -------------------------------------------------------------------------

const int N = -1; // not forced

struct EvalModeExpectation {
    int mode;
    // SOURCE, AVERAGE, HOLD, PMOD, MAXCOL-No., OUTMODE after the call (N: as before)
    int source, average, hold, pmod, maxcol, outmode;
    // dimmed: AVERAGE, HOLD, MAXCOL-No., OUTMODE, PMOD
    int dimAverage, dimHold, dimMaxcol, dimOutmode, dimPmod;
    const char *headers[5];
    bool warning;  // with MAXCOL-No. 6 and OUTMODE DIRECT HI before the call
    int greenRows; // likewise
};

const EvalModeExpectation evalModeExpectations[] = {
    {0, N, N, N, N, N, N, 0, 0, 0, 0, 0, {"X", "Y", "CTO", "INT", "ITO"}, true, 6},
    {1, N, N, N, N, N, N, 0, 0, 0, 0, 0, {"X", "Y", "", "", ""}, true, 6},
    {2, 0, 0, N, N, N, 2, 1, 0, 0, 1, 0, {"X", "Y", "CTO", "INT", "ITO"}, false, 6},
    {3, 2, 0, 0, 0, 1, 2, 1, 1, 1, 1, 1, {"UL", "LL", "", "", ""}, false, 1},
    {4, 3, 0, 0, 0, 1, 2, 1, 1, 1, 1, 1, {"UL", "LL", "", "", ""}, false, 1},
    {5, 4, 0, 0, 0, 1, 2, 1, 1, 1, 1, 1, {"UL", "LL", "", "", ""}, false, 1},
    {6, 0, 0, N, N, N, N, 1, 0, 0, 0, 0, {"X", "Y", "CTO", "INT", "ITO"}, true, 6},
    {7, 0, 0, N, N, 1, N, 1, 0, 1, 0, 0, {"X", "Y", "CTO", "INT", "ITO"}, false, 1},
};

// The starting panel of every evaluation-mode case: nothing at its forced value, all five
// restricted controls and POWER dimmed, PMOD DYN.
void PrepareEvalModeCase() {
    SetCtrlVal(MainPanel, PANEL_SOURCE, 1);
    SetCtrlVal(MainPanel, PANEL_AVERAGE, 5);
    SetCtrlVal(MainPanel, PANEL_HOLD, 6);
    SetCtrlVal(MainPanel, PANEL_PMOD, 1);
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 6);
    SetCtrlVal(MainPanel, PANEL_OUTMODE, 0);
    for (int control : {PANEL_AVERAGE, PANEL_HOLD, PANEL_MAXCOLNO, PANEL_OUTMODE, PANEL_PMOD})
        SetCtrlAttribute(MainPanel, control, ATTR_DIMMED, 1);
    SetCtrlAttribute(MainPanel, PANEL_POWER, ATTR_DIMMED, 0);
    ParameterSet.parameter[OFFSET_AVERAGE] = 77;
    ParameterSet.parameter[OFFSET_HOLD] = 77;
    ClearPopups();
}

void ExpectForced(int control, int expected, int before, const char *name) {
    EXPECT_EQ(ControlValue(control), expected == N ? before : expected) << name;
}

class Layout : public PanelFixture {};

TEST_F(Layout, EvalModeForcesDimsAndNamesAsItsTableSays) {
    for (const EvalModeExpectation &e : evalModeExpectations) {
        SCOPED_TRACE("EVALMODE " + std::to_string(e.mode));
        PrepareEvalModeCase();
        ASSERT_GE(SetCtrlVal(MainPanel, PANEL_EVALMODE, e.mode), 0);
        ApplyEvalMode();

        ExpectForced(PANEL_SOURCE, e.source, 1, "SOURCE");
        ExpectForced(PANEL_AVERAGE, e.average, 5, "AVERAGE");
        ExpectForced(PANEL_HOLD, e.hold, 6, "HOLD");
        ExpectForced(PANEL_PMOD, e.pmod, 1, "PMOD");
        ExpectForced(PANEL_MAXCOLNO, e.maxcol, 6, "MAXCOL-No.");
        ExpectForced(PANEL_OUTMODE, e.outmode, 0, "OUTMODE");
        EXPECT_EQ(ControlAttribute(PANEL_AVERAGE, ATTR_DIMMED), e.dimAverage);
        EXPECT_EQ(ControlAttribute(PANEL_HOLD, ATTR_DIMMED), e.dimHold);
        EXPECT_EQ(ControlAttribute(PANEL_MAXCOLNO, ATTR_DIMMED), e.dimMaxcol);
        EXPECT_EQ(ControlAttribute(PANEL_OUTMODE, ATTR_DIMMED), e.dimOutmode);
        EXPECT_EQ(ControlAttribute(PANEL_PMOD, ATTR_DIMMED), e.dimPmod);
        for (int column = 1; column <= 5; column++)
            EXPECT_EQ(Header(column), e.headers[column - 1]) << "column " << column;
        // POWER follows PMOD, which only the contrast modes force to STAT.
        EXPECT_EQ(ControlAttribute(PANEL_POWER, ATTR_DIMMED), e.pmod == 0 ? 0 : 1);
        EXPECT_EQ(Warnings(), e.warning ? 1u : 0u);
        EXPECT_EQ(GreenRows(), e.greenRows);

        // The set takes EVALMODE, PMOD, MAXCOL-No. and OUTMODE, not the other forced values.
        EXPECT_EQ(ParameterSet.parameter[OFFSET_EVALMODE], e.mode);
        EXPECT_EQ(ParameterSet.parameter[OFFSET_PMOD], ControlValue(PANEL_PMOD));
        EXPECT_EQ(ParameterSet.parameter[OFFSET_MAXCOLNO], ControlValue(PANEL_MAXCOLNO));
        EXPECT_EQ(ParameterSet.parameter[OFFSET_OUTMODE], ControlValue(PANEL_OUTMODE));
        EXPECT_EQ(ParameterSet.parameter[OFFSET_AVERAGE], 77);
        EXPECT_EQ(ParameterSet.parameter[OFFSET_HOLD], 77);
        // The source layout follows at the end.
        EXPECT_EQ(graphSource, ControlValue(PANEL_SOURCE));
    }
}

TEST_F(Layout, EvalModeOutsideTheKnownOnesGetsTheDefaultLayout) {
    // The ring holds 0..7; a larger value either reaches ApplyEvalMode and gets the default
    // layout, or is refused by the ring and leaves the mode shown before.
    SetCtrlVal(MainPanel, PANEL_EVALMODE, 3);
    ApplyEvalMode();
    PrepareEvalModeCase();
    bool accepted =
        SetCtrlVal(MainPanel, PANEL_EVALMODE, 8) >= 0 && ControlValue(PANEL_EVALMODE) == 8;
    ApplyEvalMode();
    if (accepted) {
        EXPECT_EQ(Header(3), "CTO");
        EXPECT_EQ(ControlAttribute(PANEL_HOLD, ATTR_DIMMED), 0);
        EXPECT_EQ(ControlValue(PANEL_SOURCE), 1);
    } else {
        EXPECT_EQ(ControlValue(PANEL_EVALMODE), 3);
        EXPECT_EQ(Header(1), "UL");
        EXPECT_EQ(ControlValue(PANEL_SOURCE), 2);
    }
}

TEST_F(Layout, LeavingContrastModeUndimsButKeepsTheForcedValues) {
    SetCtrlVal(MainPanel, PANEL_SOURCE, 0);
    SetCtrlVal(MainPanel, PANEL_EVALMODE, 3);
    ApplyEvalMode();
    // The contrast face: red chart with its limit lines, the contrast display in red.
    EXPECT_EQ(ControlAttribute(PANEL_COLOURGRAPH, ATTR_VISIBLE), 0);
    EXPECT_EQ(ControlAttribute(PANEL_SIGNALCHART, ATTR_VISIBLE), 1);
    EXPECT_EQ(TraceVisible(TRACE_RED), 1);
    EXPECT_EQ(TraceVisible(TRACE_UL), 1);
    EXPECT_EQ(TraceVisible(TRACE_LL), 1);
    EXPECT_EQ(ControlAttribute(PANEL_RAW, ATTR_TEXT_BGCOLOR), 0xFF0000);
    EXPECT_EQ(ControlAttribute(PANEL_RAW, ATTR_TEXT_COLOR), 0xFFFFFF);

    SetCtrlVal(MainPanel, PANEL_EVALMODE, 1);
    ApplyEvalMode();
    for (int control : {PANEL_AVERAGE, PANEL_HOLD, PANEL_MAXCOLNO, PANEL_OUTMODE, PANEL_PMOD})
        EXPECT_EQ(ControlAttribute(control, ATTR_DIMMED), 0) << control;
    EXPECT_EQ(ControlValue(PANEL_SOURCE), 2);
    EXPECT_EQ(ControlValue(PANEL_MAXCOLNO), 1);
    EXPECT_EQ(ControlValue(PANEL_OUTMODE), 2);
    EXPECT_EQ(ControlValue(PANEL_AVERAGE), 0);
    EXPECT_EQ(ControlValue(PANEL_HOLD), 0);
    EXPECT_EQ(ControlValue(PANEL_PMOD), 0);
    // Out of CONTRAST R the red chart loses its limit lines.
    EXPECT_EQ(TraceVisible(TRACE_UL), 0);
}

// ---- Signal source ---------------------------------------------------------------------------

struct SourceExpectation {
    int source;
    int colourGraph, signalChart, valueDisplays, contrast;
    int background, text; // of the contrast display, when shown
    const char *traces;   // traces 1..7 visible ("1" / "0"), nullptr: unchanged
    int limitsInMode;     // EVALMODE in which traces 6 and 7 join, 0 never
};

const SourceExpectation sourceExpectations[] = {
    {0, 1, 0, 1, 0, 0, 0, nullptr, 0},
    {1, 0, 1, 1, 0, 0, 0, "1110000", 0},
    {2, 0, 1, 0, 1, 0xFF0000, 0xFFFFFF, "1000000", 3},
    {3, 0, 1, 0, 1, 0x00FF00, 0x000000, "0100000", 4},
    {4, 0, 1, 0, 1, 0x0000FF, 0xFFFFFF, "0010000", 5},
    {5, 0, 1, 1, 0, 0, 0, "0001011", 0},
    {6, 0, 1, 1, 0, 0, 0, "0000100", 0},
};

const char *const TRACE_PATTERN = "1010101"; // visibility before each case

void PrepareSourceCase(const SourceExpectation &e) {
    for (int trace = 1; trace <= 7; trace++)
        SetTraceAttribute(MainPanel, PANEL_SIGNALCHART, trace, ATTR_TRACE_VISIBLE,
                          TRACE_PATTERN[trace - 1] == '1');
    SetCtrlAttribute(MainPanel, PANEL_COLOURGRAPH, ATTR_VISIBLE, !e.colourGraph);
    SetCtrlAttribute(MainPanel, PANEL_SIGNALCHART, ATTR_VISIBLE, !e.signalChart);
    for (int display : {PANEL_X, PANEL_Y, PANEL_INT, PANEL_CNO})
        SetCtrlAttribute(MainPanel, display, ATTR_VISIBLE, !e.valueDisplays);
    SetCtrlAttribute(MainPanel, PANEL_RAW, ATTR_VISIBLE, !e.contrast);
    SetCtrlAttribute(MainPanel, PANEL_RAW, ATTR_TEXT_BGCOLOR, 0x123456);
    SetCtrlAttribute(MainPanel, PANEL_RAW, ATTR_TEXT_COLOR, 0x654321);
}

TEST_F(Layout, SourceShowsGraphDisplaysAndTracesAsItsTableSays) {
    for (int mode : {0, 2, 3, 4, 5}) {
        for (const SourceExpectation &e : sourceExpectations) {
            SCOPED_TRACE("SOURCE " + std::to_string(e.source) + " EVALMODE " +
                         std::to_string(mode));
            SetCtrlVal(MainPanel, PANEL_EVALMODE, mode);
            ASSERT_GE(SetCtrlVal(MainPanel, PANEL_SOURCE, e.source), 0);
            PrepareSourceCase(e);
            ApplySource();

            EXPECT_EQ(graphSource, e.source);
            EXPECT_EQ(ParameterSet.parameter[OFFSET_EVALMODE], mode);
            EXPECT_EQ(ControlAttribute(PANEL_COLOURGRAPH, ATTR_VISIBLE), e.colourGraph);
            EXPECT_EQ(ControlAttribute(PANEL_SIGNALCHART, ATTR_VISIBLE), e.signalChart);
            for (int display : {PANEL_X, PANEL_Y, PANEL_INT, PANEL_CNO})
                EXPECT_EQ(ControlAttribute(display, ATTR_VISIBLE), e.valueDisplays) << display;
            for (int display : {PANEL_RED, PANEL_GREEN, PANEL_BLUE})
                EXPECT_EQ(ControlAttribute(display, ATTR_VISIBLE), 1) << display;
            EXPECT_EQ(ControlAttribute(PANEL_RAW, ATTR_VISIBLE), e.contrast);
            EXPECT_EQ(ControlAttribute(PANEL_RAW, ATTR_TEXT_BGCOLOR),
                      e.contrast ? e.background : 0x123456);
            EXPECT_EQ(ControlAttribute(PANEL_RAW, ATTR_TEXT_COLOR), e.contrast ? e.text : 0x654321);

            std::string expected = e.traces ? e.traces : TRACE_PATTERN;
            if (e.limitsInMode != 0 && e.limitsInMode == mode)
                expected[TRACE_UL - 1] = expected[TRACE_LL - 1] = '1';
            std::string shown;
            for (int trace = 1; trace <= 7; trace++)
                shown += TraceVisible(trace) == 1 ? '1' : '0';
            EXPECT_EQ(shown, expected);
        }
    }
}

TEST_F(Layout, SourceOutsideTheRingChangesNothing) {
    SetCtrlVal(MainPanel, PANEL_SOURCE, 1);
    ApplySource();
    int before = graphSource;
    // The ring holds 0..6; 7 is either refused by it or ignored by the layout.
    bool accepted = SetCtrlVal(MainPanel, PANEL_SOURCE, 7) >= 0 && ControlValue(PANEL_SOURCE) == 7;
    SetCtrlAttribute(MainPanel, PANEL_COLOURGRAPH, ATTR_VISIBLE, 1);
    ApplySource();
    if (accepted) {
        EXPECT_EQ(graphSource, 7);
        EXPECT_EQ(ControlAttribute(PANEL_COLOURGRAPH, ATTR_VISIBLE), 1);
    } else {
        EXPECT_EQ(graphSource, before);
        EXPECT_EQ(ControlAttribute(PANEL_COLOURGRAPH, ATTR_VISIBLE), 0);
    }
}

// ---- MAXCOL-No., OUTMODE and PMOD ------------------------------------------------------------

TEST_F(Layout, MaxcolWarningAndRowLabelsByOutmode) {
    for (int outmode : {0, 1, 2}) {
        for (int maxcol : {0, 4, 5, 15}) {
            SCOPED_TRACE("OUTMODE " + std::to_string(outmode) + " MAXCOL-No. " +
                         std::to_string(maxcol));
            SetCtrlVal(MainPanel, PANEL_OUTMODE, outmode);
            SetCtrlVal(MainPanel, PANEL_MAXCOLNO, maxcol);
            ClearPopups();
            MaxcolWarning();
            ColourRowLabels();
            EXPECT_EQ(Warnings(), maxcol > 4 && outmode != 2 ? 1u : 0u);
            EXPECT_EQ(GreenRows(), maxcol);
            EXPECT_EQ(ParameterSet.parameter[OFFSET_MAXCOLNO], maxcol);
            EXPECT_EQ(ParameterSet.parameter[OFFSET_OUTMODE], outmode);
            // The values stay as entered.
            EXPECT_EQ(ControlValue(PANEL_MAXCOLNO), maxcol);
            EXPECT_EQ(ControlValue(PANEL_OUTMODE), outmode);
        }
    }
}

TEST_F(Layout, RowLabelsNeverReachPastTheTable) {
    // A byte above 15 (a sensor or file that says so) colours the 15 rows green and no more.
    ParameterSet.parameter[OFFSET_MAXCOLNO] = 200;
    ColourRowLabels();
    EXPECT_EQ(GreenRows(), 15);
    ParameterSet.parameter[OFFSET_MAXCOLNO] = 16;
    ColourRowLabels();
    EXPECT_EQ(GreenRows(), 15);
}

// ---- Views -----------------------------------------------------------------------------------

const int teachTableGroup[] = {PANEL_TEACHTABLE, PANEL_RESETTABLE, PANEL_TEACH, PANEL_APPLYALL,
                               PANEL_ZOOM,       PANEL_AUTOADJUST, PANEL_NO,    PANEL_AUTOINC};
const int parameterGroup[] = {
    PANEL_POWER,       PANEL_PMOD,        PANEL_EVALMODE,    PANEL_MAXCOLNO,    PANEL_OUTMODE,
    PANEL_AVERAGE,     PANEL_TRIGGER,     PANEL_INTLIM,      PANEL_HOLD,        PANEL_PARAMDECO_1,
    PANEL_PARAMDECO_2, PANEL_PARAMDECO_3, PANEL_PARAMDECO_4, PANEL_PARAMDECO_5, PANEL_PARAMDECO_6,
    PANEL_PARAMDECO_7, PANEL_PARAMDECO_8, PANEL_PARAMDECO_9};

void ExpectViews(int parameters, int teachTable) {
    for (int control : parameterGroup)
        EXPECT_EQ(ControlAttribute(control, ATTR_VISIBLE), parameters) << control;
    for (int control : teachTableGroup)
        EXPECT_EQ(ControlAttribute(control, ATTR_VISIBLE), teachTable) << control;
}

TEST_F(Layout, ViewsSwitchTheirGroupsAndNoValue) {
    PanelValues before = CapturePanelValues();
    ShowTeachTableView();
    ExpectViews(0, 1);
    ShowParameterView();
    ShowParameterView();
    ExpectViews(1, 0);
    ShowTeachTableView();
    ExpectViews(0, 1);
    EXPECT_EQ(CapturePanelValues(), before);
    // The controls outside both groups stay.
    EXPECT_EQ(ControlAttribute(PANEL_SEND, ATTR_VISIBLE), 1);
    EXPECT_EQ(ControlAttribute(PANEL_RED, ATTR_VISIBLE), 1);
}

} // namespace
