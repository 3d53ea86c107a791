#include "platform/widgets/stripchartwidget.h"

#include "platform/widgets/plotstyle.h"
#include "platform/widgets/redraw.h"

#include <algorithm>
#include <cmath>

namespace {

const double DEFAULT_MIN = 0.0;
const double DEFAULT_MAX = 255.0;
const int DEFAULT_TRACE_COUNT = 7;
const int DEFAULT_POINTS_PER_SCREEN = 100;
// The layer of the trace graphs, a hidden one of their own: the plot never draws them, the widget
// does. (The plot's "main" layer also carries the axis rect and legend, whose visibility their
// axes and items inherit.)
const char *const TRACE_LAYER = "traces";

struct TraceLook {
    const char *name;
    QColor colour;
    Qt::PenStyle style;
};

// RED, GREEN, BLUE, INT, C-No and the upper and lower limit lines.
const TraceLook DEFAULT_LOOKS[] = {
    {"RED", QColor(220, 0, 0), Qt::SolidLine},    {"GREEN", QColor(0, 150, 0), Qt::SolidLine},
    {"BLUE", QColor(0, 0, 220), Qt::SolidLine},   {"INT", QColor(0, 0, 0), Qt::SolidLine},
    {"C-No", QColor(128, 0, 160), Qt::SolidLine}, {"UL", QColor(255, 140, 0), Qt::SolidLine},
    {"LL", QColor(255, 140, 0), Qt::DashLine},
};
const int DEFAULT_LOOK_COUNT = int(sizeof DEFAULT_LOOKS / sizeof DEFAULT_LOOKS[0]);

// Traces beyond the named ones get distinct hues.
TraceLook LookOf(int index) {
    if (index < DEFAULT_LOOK_COUNT) {
        return DEFAULT_LOOKS[index];
    }
    return {"", QColor::fromHsv((index * 67) % 360, 200, 180), Qt::SolidLine};
}

} // namespace

StripChartWidget::StripChartWidget(QWidget *parent) : InstrumentPlot(parent) {
    plotstyle::ApplyInstrumentLook(this);
    addLayer(TRACE_LAYER, layer("main"), QCustomPlot::limAbove);
    layer(TRACE_LAYER)->setVisible(false);
    yAxis->setRange(DEFAULT_MIN, DEFAULT_MAX);
    for (int i = 0; i < MAX_TRACES; ++i) {
        const TraceLook look = LookOf(i);
        traces_[i].name = QString::fromLatin1(look.name);
        traces_[i].colour = look.colour;
        traces_[i].style = look.style;
    }

    // The legend is one row above the plot area, so that it never hides a trace.
    plotLayout()->insertRow(0);
    axisRect()->insetLayout()->take(legend);
    plotLayout()->addElement(0, 0, legend);
    plotLayout()->setRowStretchFactor(0, 0.001);
    plotLayout()->setRowSpacing(0);
    legend->setFillOrder(QCPLegend::foColumnsFirst);
    legend->setBorderPen(Qt::NoPen);
    legend->setBrush(Qt::NoBrush);
    legend->setMargins(QMargins(4, 2, 4, 0));
    legend->setColumnSpacing(10);
    QFont legendFont = legend->font();
    legendFont.setPointSizeF(8);
    legend->setFont(legendFont);
    legend->setIconSize(18, 8);
    legend->setVisible(true);

    traceCount_ = DEFAULT_TRACE_COUNT;
    pointsPerScreen_ = DEFAULT_POINTS_PER_SCREEN;
    for (int i = 0; i < traceCount_; ++i) {
        resizeRing(&traces_[i], pointsPerScreen_);
    }
    xAxis->setRange(0, pointsPerScreen_ - 1);
    rebuildGraphs();
    connect(this, &QCustomPlot::afterReplot, this, [this] { backdropStale_ = true; });
}

// The plot without its traces as one opaque image, which the raster engine copies row by row
// whenever the traces are drawn anew.
void StripChartWidget::buildBackdrop() {
    const qreal ratio = bufferDevicePixelRatio();
    backdrop_ = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_RGB32);
    backdrop_.setDevicePixelRatio(ratio);
    QCPPainter painter(&backdrop_);
    drawBuffers(&painter);
    backdropStale_ = false;
}

// Each visible graph as a line through its points inside the plot area, broken where a value is
// not a number.
void StripChartWidget::drawTraces(QPainter *painter) const {
    painter->save();
    painter->setClipRect(plotArea(), Qt::IntersectClip);
    for (int i = 0; i < graphCount(); ++i) {
        const QCPGraph *trace = graph(i);
        if (!trace->visible())
            continue;
        painter->setPen(trace->pen());
        painter->setRenderHint(QPainter::Antialiasing, trace->antialiased());
        QPolygonF line;
        line.reserve(trace->data()->size());
        for (const QCPGraphData &point : *trace->data()) {
            if (!std::isfinite(point.value)) {
                painter->drawPolyline(line);
                line.clear();
                continue;
            }
            line.append(QPointF(xAxis->coordToPixel(point.key), yAxis->coordToPixel(point.value)));
        }
        painter->drawPolyline(line);
    }
    painter->restore();
}

void StripChartWidget::paintPlot(QPaintEvent *) {
    if (backdropStale_ || backdrop_.deviceIndependentSize() != QSizeF(size()))
        buildBackdrop();
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), backdrop_);
    drawTraces(&painter);
}

// The trace layer is shown to the plot only while it writes a file.
void StripChartWidget::lendMovingParts(bool lent) {
    layer(TRACE_LAYER)->setVisible(lent);
}

bool StripChartWidget::validTrace(int trace) const {
    return trace >= 1 && trace <= traceCount_;
}

// Colours and names may be given for traces that a later trace count brings in.
static bool KnownTrace(int trace) {
    return trace >= 1 && trace <= StripChartWidget::MAX_TRACES;
}

void StripChartWidget::setTraceCount(int count) {
    count = std::clamp(count, 1, MAX_TRACES);
    if (count == traceCount_) {
        return;
    }
    for (int i = 0; i < MAX_TRACES; ++i) {
        resizeRing(&traces_[i], i < count ? pointsPerScreen_ : 0);
    }
    traceCount_ = count;
    rebuildGraphs();
}

int StripChartWidget::traceCount() const {
    return traceCount_;
}

void StripChartWidget::setPointsPerScreen(int points) {
    points = std::clamp(points, 1, MAX_POINTS_PER_SCREEN);
    if (points == pointsPerScreen_) {
        return; // the program sets it before every plot: keep that free
    }
    pointsPerScreen_ = points;
    for (int i = 0; i < traceCount_; ++i) {
        resizeRing(&traces_[i], points);
        refreshData(i);
    }
    xAxis->setRange(0, std::max(1, points - 1));
    ScheduleReplot(this);
}

int StripChartWidget::pointsPerScreen() const {
    return pointsPerScreen_;
}

// Re-sizes a ring to the given number of points, keeping the newest values that fit.
void StripChartWidget::resizeRing(Trace *trace, int points) {
    const int kept = std::min(trace->count, points);
    QVector<double> ring(points, 0.0);
    for (int i = 0; i < kept; ++i) {
        ring[i] = valueAt(*trace, trace->count - kept + i);
    }
    trace->ring.swap(ring);
    trace->count = kept;
    trace->head = points == 0 ? 0 : kept % points;
}

void StripChartWidget::push(Trace *trace, double value) {
    const int size = int(trace->ring.size());
    trace->ring[trace->head] = value;
    trace->head = (trace->head + 1) % size;
    trace->count = std::min(trace->count + 1, size);
}

double StripChartWidget::valueAt(const Trace &trace, int i) const {
    const int size = int(trace.ring.size());
    return trace.ring[(trace.head - trace.count + i + size) % size];
}

void StripChartWidget::appendInterleaved(const double *values, int count, int start, int skip) {
    if (values == nullptr || count < 0 || start < 0 || skip < 0) {
        return;
    }
    int trace = 0;
    for (long long i = start; i < count; i += skip + 1) {
        push(&traces_[trace], values[i]);
        trace = (trace + 1) % traceCount_;
    }
    for (int t = 0; t < traceCount_; ++t) {
        refreshData(t);
    }
    // New points change only the plot area; the window's repaint throttle makes one redraw of
    // many such updates.
    update(plotArea());
}

// Hands a trace's ring to its graph, the newest point at the right edge. Once the screen is
// full the graph's points are overwritten in place, so a steady stream allocates nothing.
void StripChartWidget::refreshData(int index) {
    const Trace &trace = traces_[index];
    QSharedPointer<QCPGraphDataContainer> data = graph(index)->data();
    if (data->size() != trace.count) {
        QVector<QCPGraphData> points(trace.count);
        for (int i = 0; i < trace.count; ++i) {
            points[i] = QCPGraphData(pointsPerScreen_ - trace.count + i, valueAt(trace, i));
        }
        data->set(points, true);
        return;
    }
    int i = 0;
    for (auto it = data->begin(); it != data->end(); ++it, ++i) {
        it->value = valueAt(trace, i);
    }
}

void StripChartWidget::setTraceVisible(int trace, bool visible) {
    if (!validTrace(trace)) {
        return;
    }
    traces_[trace - 1].visible = visible;
    graph(trace - 1)->setVisible(visible);
    rebuildLegend();
    ScheduleReplot(this);
}

bool StripChartWidget::traceVisible(int trace) const {
    return validTrace(trace) && traces_[trace - 1].visible;
}

void StripChartWidget::setTraceThickness(int trace, int pixels) {
    if (!validTrace(trace) || pixels < 1) {
        return;
    }
    traces_[trace - 1].thickness = pixels;
    applyPen(trace - 1);
    ScheduleReplot(this);
}

int StripChartWidget::traceThickness(int trace) const {
    return validTrace(trace) ? traces_[trace - 1].thickness : 0;
}

void StripChartWidget::setTraceColour(int trace, const QColor &colour) {
    if (!KnownTrace(trace) || !colour.isValid()) {
        return;
    }
    traces_[trace - 1].colour = colour;
    if (validTrace(trace)) {
        applyPen(trace - 1);
        ScheduleReplot(this);
    }
}

QColor StripChartWidget::traceColour(int trace) const {
    return KnownTrace(trace) ? traces_[trace - 1].colour : QColor();
}

void StripChartWidget::setTraceName(int trace, const QString &name) {
    if (!KnownTrace(trace)) {
        return;
    }
    traces_[trace - 1].name = name;
    if (validTrace(trace)) {
        graph(trace - 1)->setName(name);
        rebuildLegend();
        ScheduleReplot(this);
    }
}

QString StripChartWidget::traceName(int trace) const {
    return KnownTrace(trace) ? traces_[trace - 1].name : QString();
}

QVector<double> StripChartWidget::traceValues(int trace) const {
    QVector<double> values;
    if (!validTrace(trace)) {
        return values;
    }
    const Trace &t = traces_[trace - 1];
    values.reserve(t.count);
    for (int i = 0; i < t.count; ++i) {
        values.append(valueAt(t, i));
    }
    return values;
}

void StripChartWidget::setValueRange(double min, double max) {
    if (!std::isfinite(min) || !std::isfinite(max) || !(min < max)) {
        return;
    }
    yAxis->setRange(min, max);
    ScheduleReplot(this);
}

void StripChartWidget::applyPen(int index) {
    const Trace &trace = traces_[index];
    graph(index)->setPen(QPen(trace.colour, trace.thickness, trace.style));
}

// One graph per trace, with the trace's look and points.
void StripChartWidget::rebuildGraphs() {
    clearGraphs();
    for (int i = 0; i < traceCount_; ++i) {
        QCPGraph *g = addGraph();
        g->setLayer(TRACE_LAYER);
        g->setName(traces_[i].name);
        g->setLineStyle(QCPGraph::lsLine);
        g->setVisible(traces_[i].visible);
        applyPen(i);
        refreshData(i);
    }
    rebuildLegend();
    ScheduleReplot(this);
}

// The legend lists the visible traces in trace order.
void StripChartWidget::rebuildLegend() {
    legend->clearItems();
    for (int i = 0; i < traceCount_; ++i) {
        if (traces_[i].visible && !traces_[i].name.isEmpty()) {
            graph(i)->addToLegend();
        }
    }
}

// The panel file's optional strip-chart properties.
void StripChartWidget::applyProperty(const QByteArray &name) {
    const QVariant value = property(name.constData());
    int number = 0;
    double limit = 0;
    if (name == "traceCount" && plotstyle::ReadInt(value, &number)) {
        setTraceCount(number);
    } else if (name == "pointsPerScreen" && plotstyle::ReadInt(value, &number)) {
        setPointsPerScreen(number);
    } else if (name == "yMin" && plotstyle::ReadDouble(value, &limit)) {
        setValueRange(limit, yAxis->range().upper);
    } else if (name == "yMax" && plotstyle::ReadDouble(value, &limit)) {
        setValueRange(yAxis->range().lower, limit);
    } else if (name == "traceColors") {
        const QStringList colours = plotstyle::ReadList(value);
        for (int i = 0; i < colours.size(); ++i) {
            setTraceColour(i + 1, QColor(colours[i]));
        }
    } else if (name == "traceNames") {
        const QStringList names = plotstyle::ReadList(value);
        for (int i = 0; i < names.size(); ++i) {
            setTraceName(i + 1, names[i]);
        }
    }
}
