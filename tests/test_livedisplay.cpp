// The live display of measurement frames: displays, limit lines, history, chart and cursor.
#include "gui/layout.h"
#include "gui/livedisplay.h"
#include "platform/engine/engine.h"
#include "platform/widgets/stripchartwidget.h"
#include "state/globals.h"
#include "support/panel_fixture.h"

#include <cstring>

namespace {

void SetCell(int teachRow, int column, int value) {
    SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, teachRow + 1), value);
}

void SelectSource(int source) {
    SetCtrlVal(MainPanel, PANEL_SOURCE, source);
    ApplySource();
}

// One frame as the transfer loop hands it on.
void Frame(int red, int green, int blue, int x, int y, int intensity, int cno) {
    const unsigned char frame[FRAME_LENGTH] = {
        (unsigned char)red, (unsigned char)green,     (unsigned char)blue, (unsigned char)x,
        (unsigned char)y,   (unsigned char)intensity, (unsigned char)cno};
    DisplayMeasurement(frame);
    UpdateGraph(frame);
}

double Newest(int trace) {
    return signalHistory[HISTORY_LENGTH - HISTORY_CHANNELS + trace - 1];
}

StripChartWidget *Chart() {
    int error = 0;
    return EngineFindControlAs<StripChartWidget>(MainPanel, PANEL_SIGNALCHART, &error);
}

class LiveDisplay : public PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        std::memset(signalHistory, 0, sizeof signalHistory);
    }
};

TEST_F(LiveDisplay, DisplaysShowTheFrameAndTheContrastChannel) {
    SetCtrlVal(MainPanel, PANEL_RAW, 1);
    SelectSource(0);
    Frame(10, 20, 30, 40, 50, 60, 255);
    const int displays[] = {PANEL_RED, PANEL_GREEN, PANEL_BLUE, PANEL_X,
                            PANEL_Y,   PANEL_INT,   PANEL_CNO};
    const int expected[] = {10, 20, 30, 40, 50, 60, 255};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(ControlValue(displays[i]), expected[i]) << i;
    EXPECT_EQ(ControlValue(PANEL_RAW), 1);
    EXPECT_EQ(Newest(TRACE_CNO), 255.0);

    for (int source : {2, 3, 4}) {
        SelectSource(source);
        Frame(11, 22, 33, 44, 55, 66, 3);
        EXPECT_EQ(ControlValue(PANEL_RAW), (source - 1) * 11) << "SOURCE " << source;
        // The hidden displays are written all the same.
        EXPECT_EQ(ControlValue(PANEL_X), 44);
        EXPECT_EQ(ControlValue(PANEL_CNO), 3);
    }
}

TEST_F(LiveDisplay, LimitLinesFollowTheSelectedRowOrTheContrastLimits) {
    SelectSource(5);
    SetCell(3, COL_INT, 250);
    SetCell(3, COL_ITO, 10);
    SetCell(7, COL_INT, 5);
    SetCell(7, COL_ITO, 10);
    SetCtrlVal(MainPanel, PANEL_NO, 3);
    Frame(1, 2, 3, 4, 5, 6, 7);
    EXPECT_EQ(Newest(TRACE_UL), 255.0);
    EXPECT_EQ(Newest(TRACE_LL), 240.0);

    // A new No. counts from the next frame on.
    SetCtrlVal(MainPanel, PANEL_NO, 7);
    Frame(1, 2, 3, 4, 5, 6, 7);
    EXPECT_EQ(Newest(TRACE_UL), 15.0);
    EXPECT_EQ(Newest(TRACE_LL), 0.0);

    // Any other source: row 0's first two cells as they are.
    SetCell(0, COL_X, 115);
    SetCell(0, COL_Y, 85);
    SelectSource(2);
    Frame(100, 2, 3, 4, 5, 6, 7);
    EXPECT_EQ(Newest(TRACE_RED), 100.0);
    EXPECT_EQ(Newest(TRACE_UL), 115.0);
    EXPECT_EQ(Newest(TRACE_LL), 85.0);
    QVector<double> upper = Chart()->traceValues(TRACE_UL);
    ASSERT_FALSE(upper.isEmpty());
    EXPECT_EQ(upper.last(), 115.0);
}

TEST_F(LiveDisplay, HistoryGoesOnAcrossASourceChange) {
    // 30 frames while the colour graph is shown: the cursor moves, the chart is not fed.
    SelectSource(0);
    int pointsBefore = Chart()->traceValues(TRACE_INT).size();
    for (int i = 1; i <= 30; i++)
        Frame(i, 0, 0, 100 + i, 50 + i, i, 0);
    double x = 0, y = 0;
    GetGraphCursor(MainPanel, PANEL_COLOURGRAPH, 1, &x, &y);
    EXPECT_EQ(x, 130.0);
    EXPECT_EQ(y, 80.0);
    EXPECT_EQ(Chart()->traceValues(TRACE_INT).size(), pointsBefore);

    // Then INT: one replot shows the whole window, the 30 earlier frames included.
    SelectSource(5);
    Frame(0, 0, 0, 0, 0, 31, 0);
    int points = 0;
    GetCtrlAttribute(MainPanel, PANEL_SIGNALCHART, ATTR_POINTS_PER_SCREEN, &points);
    EXPECT_EQ(points, 101);
    QVector<double> shown = Chart()->traceValues(TRACE_INT);
    ASSERT_GE(shown.size(), 100);
    QVector<double> window = shown.mid(shown.size() - 100);
    for (int i = 0; i < 69; i++)
        EXPECT_EQ(window[i], 0.0) << i;
    for (int i = 69; i < 100; i++)
        EXPECT_EQ(window[i], i - 68.0) << i;
    // Each channel keeps its own place in the history.
    for (int s = 69; s < 99; s++) {
        EXPECT_EQ(signalHistory[7 * s + TRACE_RED - 1], s - 68.0) << s;
        EXPECT_EQ(signalHistory[7 * s + TRACE_INT - 1], s - 68.0) << s;
    }
}

TEST_F(LiveDisplay, FirstFrameShowsZerosBeforeIt) {
    SelectSource(1);
    Frame(9, 8, 7, 0, 0, 0, 0);
    for (int trace : {TRACE_RED, TRACE_GREEN, TRACE_BLUE}) {
        QVector<double> shown = Chart()->traceValues(trace);
        ASSERT_GE(shown.size(), 100);
        QVector<double> window = shown.mid(shown.size() - 100);
        EXPECT_EQ(window.last(), 10.0 - trace);
        EXPECT_EQ(window.count(0.0), 99);
    }
}

} // namespace
