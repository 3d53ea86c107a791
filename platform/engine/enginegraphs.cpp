// Graphs and strip charts: the engine's plotting calls, forwarded to the panel's graph widgets
// with their arrays converted to doubles.
#include "platform/engine/engine.h"
#include "platform/widgets/graphwidget.h"
#include "platform/widgets/stripchartwidget.h"

#include <QColor>
#include <QVector>
#include <algorithm>

namespace {

bool KnownDataType(int dataType) {
    return dataType == VAL_UNSIGNED_CHAR || dataType == VAL_INTEGER || dataType == VAL_DOUBLE;
}

double Element(const void *array, int dataType, int index) {
    switch (dataType) {
    case VAL_UNSIGNED_CHAR:
        return static_cast<const unsigned char *>(array)[index];
    case VAL_INTEGER:
        return static_cast<const int *>(array)[index];
    default:
        return static_cast<const double *>(array)[index];
    }
}

QVector<double> ToDoubles(const void *array, int dataType, int count) {
    QVector<double> values(count);
    for (int i = 0; i < count; i++)
        values[i] = Element(array, dataType, i);
    return values;
}

// Runs act on the graph whose cursor is asked for, as WithControl does; a graph has one cursor,
// number 1: another cursor is UIE_BAD_VALUE.
template <typename Act> int WithGraphCursor(int panel, int control, int cursor, Act act) {
    return WithControl<GraphWidget>(panel, control, [&](GraphWidget *graph) -> int {
        if (cursor != 1)
            return UIE_BAD_VALUE;
        return act(graph);
    });
}

} // namespace

int PlotXY(int panel, int control, const void *xArray, const void *yArray, int numberOfPoints,
           int xDataType, int yDataType, int plotStyle, int pointStyle, int lineStyle,
           int pointFrequency, int colour) {
    (void)pointStyle; // a line has no point marks; scattered points are small squares
    (void)lineStyle;
    (void)pointFrequency;
    return WithControl<GraphWidget>(panel, control, [&](GraphWidget *graph) -> int {
        if (xArray == nullptr || yArray == nullptr || numberOfPoints < 1 ||
            !KnownDataType(xDataType) || !KnownDataType(yDataType))
            return UIE_BAD_VALUE;
        const QVector<double> x = ToDoubles(xArray, xDataType, numberOfPoints);
        const QVector<double> y = ToDoubles(yArray, yDataType, numberOfPoints);
        if (plotStyle == VAL_SCATTER)
            return graph->plotPoints(x, y, ColourOf(colour));
        return graph->plotLine(x, y, ColourOf(colour));
    });
}

int PlotArc(int panel, int control, double x1, double y1, double x2, double y2, int beginAngle,
            int arcAngle, int colour, int fillColour) {
    return WithControl<GraphWidget>(panel, control, [&](GraphWidget *graph) -> int {
        return graph->plotArc(x1, y1, x2, y2, beginAngle, arcAngle, ColourOf(colour),
                              ColourOf(fillColour));
    });
}

int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh) {
    return WithControl<GraphWidget>(panel, control, [&](GraphWidget *graph) -> int {
        if (!graph->deletePlot(plotHandle))
            return UIE_BAD_VALUE;
        if (refresh == VAL_IMMEDIATE_DRAW)
            graph->replot();
        return UIE_OK;
    });
}

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max) {
    return WithControl<GraphWidget>(panel, control, [&](GraphWidget *graph) -> int {
        if ((axis != VAL_XAXIS && axis != VAL_LEFT_YAXIS) || mode != VAL_MANUAL || !(min < max))
            return UIE_BAD_VALUE;
        graph->setAxisRange(axis, min, max);
        return UIE_OK;
    });
}

int GetAxisScalingMode(int panel, int control, int axis, int *mode, double *min, double *max) {
    return WithControl<GraphWidget>(panel, control, [&](GraphWidget *graph) -> int {
        if (axis != VAL_XAXIS && axis != VAL_LEFT_YAXIS)
            return UIE_BAD_VALUE;
        *mode = VAL_MANUAL;
        graph->axisRange(axis, min, max);
        return UIE_OK;
    });
}

int GetGraphCursor(int panel, int control, int cursor, double *x, double *y) {
    return WithGraphCursor(panel, control, cursor, [&](GraphWidget *graph) -> int {
        QPointF position = graph->cursorPosition();
        *x = position.x();
        *y = position.y();
        return UIE_OK;
    });
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
    return WithGraphCursor(panel, control, cursor, [&](GraphWidget *graph) -> int {
        EngineProgramChange change(graph);
        graph->setCursorPosition(QPointF(x, y));
        return UIE_OK;
    });
}

int PlotStripChart(int panel, int control, const void *values, int numberOfPoints,
                   int startingIndex, int skipCount, int dataType) {
    return WithControl<StripChartWidget>(panel, control, [&](StripChartWidget *chart) -> int {
        if (values == nullptr || numberOfPoints < 0 || startingIndex < 0 || skipCount < 0 ||
            !KnownDataType(dataType))
            return UIE_BAD_VALUE;
        // The values taken, in order: the chart then deals them out to its traces. One buffer for
        // every call (the engine runs on one thread): it only grows, so a frame allocates nothing.
        static QVector<double> taken;
        taken.clear();
        taken.reserve(std::max(0, numberOfPoints - startingIndex) / (skipCount + 1) + 1);
        for (int i = startingIndex; i < numberOfPoints; i += skipCount + 1)
            taken.append(Element(values, dataType, i));
        chart->appendInterleaved(taken.constData(), static_cast<int>(taken.size()), 0, 0);
        return UIE_OK;
    });
}

int SetTraceAttribute(int panel, int control, int trace, int attribute, int value) {
    return WithControl<StripChartWidget>(panel, control, [&](StripChartWidget *chart) -> int {
        if (trace < 1 || trace > chart->traceCount())
            return UIE_BAD_VALUE;
        if (attribute == ATTR_TRACE_VISIBLE)
            chart->setTraceVisible(trace, value != 0);
        else if (attribute == ATTR_TRACE_THICKNESS && value >= 1)
            chart->setTraceThickness(trace, value);
        else
            return attribute == ATTR_TRACE_THICKNESS ? UIE_BAD_VALUE : UIE_BAD_ATTRIBUTE;
        return UIE_OK;
    });
}

int GetTraceAttribute(int panel, int control, int trace, int attribute, int *value) {
    return WithControl<StripChartWidget>(panel, control, [&](StripChartWidget *chart) -> int {
        if (trace < 1 || trace > chart->traceCount())
            return UIE_BAD_VALUE;
        if (attribute == ATTR_TRACE_VISIBLE)
            *value = chart->traceVisible(trace) ? 1 : 0;
        else if (attribute == ATTR_TRACE_THICKNESS)
            *value = chart->traceThickness(trace);
        else
            return UIE_BAD_ATTRIBUTE;
        return UIE_OK;
    });
}
