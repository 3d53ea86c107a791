#include "gui/colourgraph.h"

#include "gui/parameters.h"
#include "gui/records.h"
#include "state/globals.h"

// One circle colour per teach row, row 0 first.
static const int circleColours[TEACH_ROWS] = {
    0x0000FF, // blue
    0xFF0000, // red
    0x000000, // black
    0xFF80C0, // pink
    0x008000, // dark green
    0xFFFF00, // yellow
    0x808000, // olive
    0x800080, // purple
    0x80FFFF, // light cyan
    0xFF0080, // rose
    0x400080, // indigo
    0xFF00FF, // magenta
    0x80FF00, // lime
    0x408080, // teal
    0x800000, // maroon
};

int CircleColourOfRow(int row) {
    return circleColours[row];
}

static const int LIMIT_LINE_COLOUR = 0xA0A0A0;
static const int LIMIT_LINE_POINTS = 256;
static const int ZOOM_CURSOR = 1;
static const int FULL_CIRCLE = 3600; // tenths of a degree

static const double FULL_RANGE_MIN = 0.0;
static const double FULL_RANGE_MAX = 255.0;
static const double ZOOM_HALF_WIDTH = 25.0;
static const double ZOOM_CLAMP_LOW = 25.0;
static const double ZOOM_CLAMP_HIGH = 230.0;

static const int VIEW_OPEN = 0;
static const int VIEW_CLOSED = 100;

// The three strokes of a circle are offset a little from each other, which draws it bolder.
// The last stroke moves its lower-left corner by 0.05 but its upper-right one only by 0.005.
static const double SECOND_STROKE_OFFSET = 0.025;
static const double THIRD_STROKE_LOWER_OFFSET = 0.05;
static const double THIRD_STROKE_UPPER_OFFSET = 0.005;

static void PlotCircleStroke(int graph, double left, double bottom, double right, double top,
                             int colour) {
    PlotArc(MainPanel, graph, left, bottom, right, top, 0, FULL_CIRCLE, colour, VAL_TRANSPARENT);
}

// The corners are not clamped: a circle near the edge reaches past the axes and is cut by the
// graph.
void PlotToleranceCircle(int graph, int x, int y, int radius, int colour) {
    double left = x - radius, right = x + radius, bottom = y - radius, top = y + radius;

    PlotCircleStroke(graph, left, bottom, right, top, colour);
    PlotCircleStroke(graph, left + SECOND_STROKE_OFFSET, bottom + SECOND_STROKE_OFFSET,
                     right + SECOND_STROKE_OFFSET, top + SECOND_STROKE_OFFSET, colour);
    PlotCircleStroke(graph, left + THIRD_STROKE_LOWER_OFFSET, bottom + THIRD_STROKE_LOWER_OFFSET,
                     right + THIRD_STROKE_UPPER_OFFSET, top + THIRD_STROKE_UPPER_OFFSET, colour);
}

// The circle of radius CTO around (X, Y) of teach row `row` (1..15).
static void PlotTaughtCircle(int graph, int row, int colour) {
    const unsigned char *cells = ParameterSet.teachTable[row];
    PlotToleranceCircle(graph, cells[COL_X], cells[COL_Y], cells[COL_CTO], colour);
}

void DrawLimitLine(int graph) {
    PlotXY(MainPanel, graph, limitLineX, limitLineY, LIMIT_LINE_POINTS, VAL_UNSIGNED_CHAR,
           VAL_UNSIGNED_CHAR, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1, LIMIT_LINE_COLOUR);
}

void PlotTaughtColours(int graph) {
    // Drawing the circles and showing live frames do not go together: stop the transfer, which
    // ends after its current cycle.
    acquisitionActive = 0;
    ReadPanelParameters();
    DeleteGraphPlot(MainPanel, graph, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
    DrawLimitLine(graph);
    for (int row = 1; row <= TEACH_ROWS; row++)
        PlotTaughtCircle(graph, row, circleColours[row - 1]);
}

void ZoomToCursor(void) {
    PlotTaughtColours(PANEL_ZOOMGRAPH);
    FollowZoomCursor();
}

void FollowZoomCursor(void) {
    double x = 0.0, y = 0.0;
    GetGraphCursor(MainPanel, PANEL_ZOOMGRAPH, ZOOM_CURSOR, &x, &y);
    // Kept 25 units from the edges, the 50-wide window always lies inside 0..255.
    if (x < ZOOM_CLAMP_LOW)
        x = ZOOM_CLAMP_LOW;
    if (y < ZOOM_CLAMP_LOW)
        y = ZOOM_CLAMP_LOW;
    if (x > ZOOM_CLAMP_HIGH)
        x = ZOOM_CLAMP_HIGH;
    if (y > ZOOM_CLAMP_HIGH)
        y = ZOOM_CLAMP_HIGH;

    SetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_XAXIS, VAL_MANUAL, x - ZOOM_HALF_WIDTH,
                       x + ZOOM_HALF_WIDTH);
    SetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, y - ZOOM_HALF_WIDTH,
                       y + ZOOM_HALF_WIDTH);
    SetGraphCursor(MainPanel, PANEL_ZOOMGRAPH, ZOOM_CURSOR, x, y);
}

void ZoomFullRange(void) {
    SetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_XAXIS, VAL_MANUAL, FULL_RANGE_MIN,
                       FULL_RANGE_MAX);
    SetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, FULL_RANGE_MIN,
                       FULL_RANGE_MAX);
    OpenZoomView();
}

void OpenZoomView(void) {
    SetCtrlAttribute(MainPanel, PANEL_ZOOMGRAPH, ATTR_VIEW_SHADE, VIEW_OPEN);
}

void CloseZoomView(void) {
    SetCtrlAttribute(MainPanel, PANEL_ZOOMGRAPH, ATTR_VIEW_SHADE, VIEW_CLOSED);
}
