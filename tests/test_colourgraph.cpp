// The colour-space graphs: tolerance circles, the limit line, the zoom window that follows its
// cursor, and the zoom view's shade.
#include "sensor/wire.h"
#include "gui/colourgraph.h"
#include "gui/layout.h"
#include "gui/teachtable.h"
#include "platform/engine/engine_access.h"
#include "platform/serial/rs232.h"
#include "platform/widgets/graphwidget.h"
#include "state/globals.h"
#include "support/panel_fixture.h"
#include "support/pty_peer.h"

#include <QAbstractButton>
#include <QTest>
#include <QTimer>

#include <string>

namespace {

const int kRowColours[TEACH_ROWS] = {0x0000FF, 0xFF0000, 0x000000, 0xFF80C0, 0x008000,
                                     0xFFFF00, 0x808000, 0x800080, 0x80FFFF, 0xFF0080,
                                     0x400080, 0xFF00FF, 0x80FF00, 0x408080, 0x800000};

GraphWidget *Graph(int control) {
    return qobject_cast<GraphWidget *>(EngineControlWidget(MainPanel, control));
}

void SetRow(int row, int x, int y, int cto) {
    SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(COL_X, row + 1), x);
    SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(COL_Y, row + 1), y);
    SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(COL_CTO, row + 1), cto);
}

void Click(int control) {
    auto *button = qobject_cast<QAbstractButton *>(EngineControlWidget(MainPanel, control));
    ASSERT_NE(button, nullptr);
    button->click();
}

// The user moves the zoom cross to (x, y).
void MoveZoomCursor(double x, double y) {
    GraphWidget *graph = Graph(PANEL_ZOOMGRAPH);
    graph->setCursorPosition(QPointF(x, y));
    emit graph->cursorMovedByUser();
}

QRectF Rect(double x1, double y1, double x2, double y2) {
    return QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized();
}

void ExpectRect(const QRectF &expected, const QRectF &actual) {
    QRectF a = actual.normalized();
    EXPECT_DOUBLE_EQ(expected.left(), a.left());
    EXPECT_DOUBLE_EQ(expected.right(), a.right());
    EXPECT_DOUBLE_EQ(expected.top(), a.top());
    EXPECT_DOUBLE_EQ(expected.bottom(), a.bottom());
}

// The three strokes of the circle of radius cto around (x, y), as drawn for row `row`.
void ExpectCircle(const QVector<GraphWidget::PlotRecord> &plots, int row, int x, int y, int cto) {
    SCOPED_TRACE("row " + std::to_string(row));
    ASSERT_GE(plots.size(), 1 + 3 * (row + 1));
    double l = x - cto, r = x + cto, b = y - cto, t = y + cto;
    const QRectF strokes[3] = {Rect(l, b, r, t), Rect(l + 0.025, b + 0.025, r + 0.025, t + 0.025),
                               Rect(l + 0.05, b + 0.05, r + 0.005, t + 0.005)};
    for (int k = 0; k < 3; k++) {
        const GraphWidget::PlotRecord &arc = plots[1 + 3 * row + k];
        EXPECT_EQ(GraphWidget::PlotRecord::Arc, arc.kind);
        EXPECT_EQ(QColor::fromRgb(kRowColours[row]), arc.colour);
        EXPECT_FALSE(arc.fillColour.isValid()) << "circles are not filled";
        EXPECT_EQ(0, arc.beginAngle);
        EXPECT_EQ(3600, arc.arcAngle);
        ExpectRect(strokes[k], arc.bounds);
    }
}

void ExpectLimitLine(const GraphWidget::PlotRecord &line) {
    EXPECT_EQ(GraphWidget::PlotRecord::Line, line.kind);
    EXPECT_EQ(QColor(160, 160, 160), line.colour);
    EXPECT_EQ(256, line.pointCount);
    ExpectRect(Rect(0, 0, 255, 255), line.bounds);
}

void ExpectAxes(int control, double xMin, double xMax, double yMin, double yMax) {
    int mode = -1;
    double min = -1, max = -1;
    GetAxisScalingMode(MainPanel, control, VAL_XAXIS, &mode, &min, &max);
    EXPECT_DOUBLE_EQ(xMin, min);
    EXPECT_DOUBLE_EQ(xMax, max);
    GetAxisScalingMode(MainPanel, control, VAL_LEFT_YAXIS, &mode, &min, &max);
    EXPECT_DOUBLE_EQ(yMin, min);
    EXPECT_DOUBLE_EQ(yMax, max);
}

int ViewShade() {
    int shade = -1;
    GetCtrlAttribute(MainPanel, PANEL_ZOOMGRAPH, ATTR_VIEW_SHADE, &shade);
    return shade;
}

class ColourGraph : public PanelFixture {};

} // namespace

TEST_F(ColourGraph, ResetTableDrawsLimitLineAndFifteenUnitCirclesInRowColours) {
    ASSERT_NE(Graph(PANEL_COLOURGRAPH), nullptr);
    ASSERT_NE(Graph(PANEL_ZOOMGRAPH), nullptr);
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 3); // inactive rows are drawn too
    ResetTable();
    double xMin, xMax, yMin, yMax;
    int mode;
    GetAxisScalingMode(MainPanel, PANEL_COLOURGRAPH, VAL_XAXIS, &mode, &xMin, &xMax);
    GetAxisScalingMode(MainPanel, PANEL_COLOURGRAPH, VAL_LEFT_YAXIS, &mode, &yMin, &yMax);

    for (int redraw = 0; redraw < 2; redraw++) // a redraw replaces, it does not add
        Click(PANEL_APPLYALL);

    QVector<GraphWidget::PlotRecord> plots = Graph(PANEL_COLOURGRAPH)->plotRecords();
    ASSERT_EQ(46, plots.size());
    ExpectLimitLine(plots[0]);
    for (int row = 0; row < TEACH_ROWS; row++)
        ExpectCircle(plots, row, 1, 1, 1);
    EXPECT_EQ(QColor(128, 0, 0), plots.last().colour) << "row 14's maroon circle lies on top";
    ExpectAxes(PANEL_COLOURGRAPH, xMin, xMax, yMin, yMax);
    EXPECT_EQ(100, ViewShade()) << "the button closes the zoom view";
}

TEST_F(ColourGraph, CircleCornersFollowTheTableUnclamped) {
    ResetTable();
    SetRow(0, 250, 5, 20);
    SetRow(1, 77, 88, 0);
    SetRow(2, 0, 255, 255);
    SetRow(14, 255, 0, 255);

    PlotTaughtColours(PANEL_ZOOMGRAPH);

    QVector<GraphWidget::PlotRecord> plots = Graph(PANEL_ZOOMGRAPH)->plotRecords();
    ASSERT_EQ(46, plots.size());
    ExpectLimitLine(plots[0]);
    ExpectCircle(plots, 0, 250, 5, 20);
    ExpectRect(Rect(230, -15, 270, 25), plots[1].bounds);
    ExpectCircle(plots, 1, 77, 88, 0);
    ExpectCircle(plots, 2, 0, 255, 255);
    ExpectRect(Rect(-255, 0, 255, 510), plots[7].bounds);
    ExpectCircle(plots, 14, 255, 0, 255);
}

TEST_F(ColourGraph, ZoomWindowFollowsTheClampedCursorAndRedrawsTheTable) {
    ResetTable();
    Click(PANEL_ZOOM);
    EXPECT_EQ(0, ViewShade());
    ExpectAxes(PANEL_ZOOMGRAPH, 0.0, 255.0, 0.0, 255.0);

    struct Case {
        double x, y, xLow, yLow, cursorX, cursorY;
    } cases[] = {
        {10.0, 240.0, 0.0, 205.0, 25.0, 230.0}, {100.4, 60.7, 75.4, 35.7, 100.4, 60.7},
        {255.0, 0.0, 205.0, 0.0, 230.0, 25.0},  {24.99, 230.01, 0.0, 205.0, 25.0, 230.0},
        {25.0, 230.0, 0.0, 205.0, 25.0, 230.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("cursor " + std::to_string(c.x) + ", " + std::to_string(c.y));
        MoveZoomCursor(c.x, c.y);
        ExpectAxes(PANEL_ZOOMGRAPH, c.xLow, c.xLow + 50.0, c.yLow, c.yLow + 50.0);
        double x = -1, y = -1;
        GetGraphCursor(MainPanel, PANEL_ZOOMGRAPH, 1, &x, &y);
        EXPECT_DOUBLE_EQ(c.cursorX, x);
        EXPECT_DOUBLE_EQ(c.cursorY, y);
    }

    // An edited cell shows at the next cursor step, with no other action.
    SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(COL_CTO, 6), 30);
    acquisitionActive = 1;
    MoveZoomCursor(120.0, 120.0);
    EXPECT_EQ(0, acquisitionActive) << "drawing stops a running transfer";
    QVector<GraphWidget::PlotRecord> plots = Graph(PANEL_ZOOMGRAPH)->plotRecords();
    ASSERT_EQ(46, plots.size());
    ExpectCircle(plots, 5, 1, 1, 30);

    // The arrow keys move the cross when the graph has the focus; the window follows.
    GraphWidget *graph = Graph(PANEL_ZOOMGRAPH);
    graph->setFocus();
    QTest::keyClick(graph, Qt::Key_Left);
    double x = -1, y = -1;
    GetGraphCursor(MainPanel, PANEL_ZOOMGRAPH, 1, &x, &y);
    EXPECT_LT(x, 120.0);
    ExpectAxes(PANEL_ZOOMGRAPH, x - 25.0, x + 25.0, y - 25.0, y + 25.0);
}

TEST_F(ColourGraph, OpeningOrClosingTheZoomViewOnlyChangesItsShade) {
    EXPECT_EQ(100, ViewShade()) << "closed at start-up";
    SetRow(3, 40, 50, 6);
    PlotTaughtColours(PANEL_ZOOMGRAPH);
    SetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_XAXIS, VAL_MANUAL, 10.5, 60.5);
    SetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, 20.5, 70.5);
    int geometry[4], attributes[4] = {ATTR_TOP, ATTR_LEFT, ATTR_WIDTH, ATTR_HEIGHT};
    for (int i = 0; i < 4; i++)
        GetCtrlAttribute(MainPanel, PANEL_ZOOMGRAPH, attributes[i], &geometry[i]);
    QVector<GraphWidget::PlotRecord> before = Graph(PANEL_ZOOMGRAPH)->plotRecords();

    for (int open : {1, 0, 1, 0}) {
        open ? OpenZoomView() : CloseZoomView();
        EXPECT_EQ(open ? 0 : 100, ViewShade());
        QVector<GraphWidget::PlotRecord> after = Graph(PANEL_ZOOMGRAPH)->plotRecords();
        ASSERT_EQ(before.size(), after.size());
        for (int i = 0; i < before.size(); i++) {
            EXPECT_EQ(before[i].handle, after[i].handle);
            EXPECT_EQ(before[i].bounds, after[i].bounds);
        }
        ExpectAxes(PANEL_ZOOMGRAPH, 10.5, 60.5, 20.5, 70.5);
        for (int i = 0; i < 4; i++) {
            int value = -1;
            GetCtrlAttribute(MainPanel, PANEL_ZOOMGRAPH, attributes[i], &value);
            EXPECT_EQ(geometry[i], value);
        }
        int visible = -1;
        GetCtrlAttribute(MainPanel, PANEL_ZOOMGRAPH, ATTR_VISIBLE, &visible);
        EXPECT_EQ(1, visible);
    }
}

// Circles drawn while frames flow: the transfer ends after its cycle, the circles stay and the
// cursor keeps the last measured position.
TEST_F(ColourGraph, ApplyDuringATransferStopsItAndKeepsTheCircles) {
    PtyPeer peer;
    ASSERT_TRUE(peer.start(AnswerCommand(ReadData, {{10, 20, 30, 77, 66, 90, 0}})));
    peer.mapTo(1);
    portNumber = 1;
    ASSERT_EQ(0, OpenComConfig(portNumber, "", 9600, 0, 8, 1, 1024, 1024));
    SetCtrlVal(MainPanel, PANEL_SOURCE, 0);
    ApplySource();
    ResetTable();

    size_t requestsAtApply = 0;
    bool timedOut = false;
    double deadline = Timer() + 20.0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (requestsAtApply == 0 && peer.requests().size() >= 3) {
            requestsAtApply = peer.requests().size();
            Click(PANEL_APPLYALL);
        } else if (Timer() > deadline) {
            timedOut = true;
            acquisitionActive = 0;
        }
    });
    watcher.start(5);

    Click(PANEL_GO); // returns when the transfer has ended
    watcher.stop();
    CloseCom(portNumber);

    ASSERT_FALSE(timedOut) << "the transfer did not stop";
    ASSERT_GE(requestsAtApply, 3u);
    EXPECT_LE(peer.requests().size(), requestsAtApply + 1) << "the loop ends after its cycle";
    EXPECT_EQ(0, acquisitionActive);
    QVector<GraphWidget::PlotRecord> plots = Graph(PANEL_COLOURGRAPH)->plotRecords();
    ASSERT_EQ(46, plots.size());
    ExpectCircle(plots, 14, 1, 1, 1);
    double x = -1, y = -1;
    GetGraphCursor(MainPanel, PANEL_COLOURGRAPH, 1, &x, &y);
    EXPECT_DOUBLE_EQ(77.0, x);
    EXPECT_DOUBLE_EQ(66.0, y);
}
