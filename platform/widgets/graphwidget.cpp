#include "platform/widgets/graphwidget.h"

#include "platform/widgets/plotstyle.h"
#include "platform/widgets/redraw.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

const double DEFAULT_MIN = 0.0;
const double DEFAULT_MAX = 255.0;
// Arcs are drawn as polylines with a vertex every 2.5 degrees: smooth even for a circle that
// spans the whole zoomed view.
const double ARC_STEP_TENTHS = 25.0;
const int FULL_TURN = 3600;
// The side of a point plot's squares in pixels: a cloud of samples stays readable at full range.
const double POINT_SIZE = 3.0;

const QColor CURSOR_COLOUR(20, 20, 20);
const QColor SHADE_COLOUR(190, 190, 190, 170);
const QColor SHADED_BACKGROUND(228, 228, 228);
const QColor CAPTION_COLOUR(70, 70, 70);
const char *const SHADE_CAPTION = "ZOOM CLOSED";
const char *const SHADE_LAYER = "shade";

QRectF SpanOf(const QVector<double> &x, const QVector<double> &y) {
    double left = 0, right = 0, bottom = 0, top = 0;
    bool any = false;
    for (int i = 0; i < x.size(); ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            continue; // a gap in the line
        }
        if (!any) {
            left = right = x[i];
            bottom = top = y[i];
            any = true;
        }
        left = std::min(left, x[i]);
        right = std::max(right, x[i]);
        bottom = std::min(bottom, y[i]);
        top = std::max(top, y[i]);
    }
    return QRectF(QPointF(left, bottom), QPointF(right, top));
}

// The polyline of an arc of the ellipse inscribed in rect, from beginAngle over arcAngle
// (tenths of a degree, counter-clockwise for a positive arcAngle).
void ArcPoints(const QRectF &rect, int beginAngle, int arcAngle, QVector<double> *x,
               QVector<double> *y) {
    const int sweep = std::clamp(arcAngle, -FULL_TURN, FULL_TURN);
    const int segments = std::max(1, int(std::ceil(std::abs(sweep) / ARC_STEP_TENTHS)));
    const QPointF centre = rect.center();
    const double rx = rect.width() / 2.0;
    const double ry = rect.height() / 2.0;
    x->resize(segments + 1);
    y->resize(segments + 1);
    for (int i = 0; i <= segments; ++i) {
        const double tenths = beginAngle + double(sweep) * i / segments;
        const double radians = tenths / 10.0 * M_PI / 180.0;
        (*x)[i] = centre.x() + rx * std::cos(radians);
        (*y)[i] = centre.y() + ry * std::sin(radians);
    }
}

QCPAxis *AxisOf(QCustomPlot *plot, int axis) {
    return axis == 0 ? plot->xAxis : axis == 1 ? plot->yAxis : nullptr;
}

} // namespace

GraphWidget::GraphWidget(QWidget *parent) : InstrumentPlot(parent) {
    plotstyle::ApplyInstrumentLook(this);
    xAxis->setRange(DEFAULT_MIN, DEFAULT_MAX);
    yAxis->setRange(DEFAULT_MIN, DEFAULT_MAX);
    setFocusPolicy(Qt::StrongFocus);

    addLayer(SHADE_LAYER, layer("overlay"), limAbove);

    // The shade covers the plot area; the caption sits in its middle.
    shade_ = new QCPItemRect(this);
    shade_->setLayer(SHADE_LAYER);
    shade_->setSelectable(false);
    shade_->setClipToAxisRect(false);
    shade_->topLeft->setType(QCPItemPosition::ptAxisRectRatio);
    shade_->bottomRight->setType(QCPItemPosition::ptAxisRectRatio);
    shade_->topLeft->setCoords(0, 0);
    shade_->bottomRight->setCoords(1, 1);
    shade_->setPen(Qt::NoPen);
    shade_->setBrush(SHADE_COLOUR);
    shadeCaption_ = new QCPItemText(this);
    shadeCaption_->setLayer(SHADE_LAYER);
    shadeCaption_->setSelectable(false);
    shadeCaption_->setClipToAxisRect(false);
    shadeCaption_->position->setType(QCPItemPosition::ptAxisRectRatio);
    shadeCaption_->position->setCoords(0.5, 0.5);
    shadeCaption_->setPositionAlignment(Qt::AlignCenter);
    shadeCaption_->setText(SHADE_CAPTION);
    shadeCaption_->setColor(CAPTION_COLOUR);
    shadeCaption_->setPen(QPen(CAPTION_COLOUR, 1));
    shadeCaption_->setBrush(QColor(245, 245, 245));
    shadeCaption_->setPadding(QMargins(8, 4, 8, 4));
    QFont captionFont = shadeCaption_->font();
    captionFont.setPointSizeF(11);
    captionFont.setBold(true);
    shadeCaption_->setFont(captionFont);

    updateShade();
    connect(this, &QCustomPlot::beforeReplot, this, &GraphWidget::keepUnitsSquare);
}

// One unit of X and one of Y take the same length on screen, so that a circle is drawn round:
// the plot area takes the proportions of the axis ranges, as large as the room that the axes
// leave, and centred in it. The ranges stay as they are.
void GraphWidget::keepUnitsSquare() {
    QCPAxisRect *area = axisRect();
    area->setMinimumMargins(QMargins());
    updateLayout();
    const QRect room = area->rect();
    const double xSpan = xAxis->range().size();
    const double ySpan = yAxis->range().size();
    if (room.isEmpty() || !(xSpan > 0) || !(ySpan > 0))
        return;
    const double pixelsPerUnit = std::min(room.width() / xSpan, room.height() / ySpan);
    const int spareWidth = room.width() - int(std::lround(pixelsPerUnit * xSpan));
    const int spareHeight = room.height() - int(std::lround(pixelsPerUnit * ySpan));
    area->setMinimumMargins(area->margins() + QMargins(spareWidth / 2, spareHeight / 2,
                                                       spareWidth - spareWidth / 2,
                                                       spareHeight - spareHeight / 2));
    updateLayout();
}

// Registers a plot on top of the earlier ones and returns its new handle.
int GraphWidget::addPlot(QCPCurve *curve, const PlotRecord &record) {
    Plot plot{record, curve};
    plot.record.handle = nextHandle_++;
    plots_.append(plot);
    ScheduleReplot(this);
    return plot.record.handle;
}

int GraphWidget::plotLine(const QVector<double> &x, const QVector<double> &y,
                          const QColor &colour) {
    if (x.size() != y.size()) {
        return -1;
    }
    auto *curve = new QCPCurve(xAxis, yAxis);
    curve->setData(x, y); // parameter = index, so the points keep their order
    curve->setPen(QPen(colour, 1));
    curve->setBrush(Qt::NoBrush);
    PlotRecord record{PlotRecord::Line, 0, colour, SpanOf(x, y), int(x.size()), 0, 0, QColor()};
    return addPlot(curve, record);
}

int GraphWidget::plotPoints(const QVector<double> &x, const QVector<double> &y,
                            const QColor &colour) {
    if (x.size() != y.size()) {
        return -1;
    }
    auto *curve = new QCPCurve(xAxis, yAxis);
    curve->setData(x, y);
    curve->setLineStyle(QCPCurve::lsNone);
    curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, colour, colour, POINT_SIZE));
    PlotRecord record{PlotRecord::Points, 0, colour, SpanOf(x, y), int(x.size()), 0, 0, QColor()};
    return addPlot(curve, record);
}

int GraphWidget::plotArc(double x1, double y1, double x2, double y2, int beginAngle, int arcAngle,
                         const QColor &colour, const QColor &fill) {
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) {
        return -1;
    }
    const QRectF rect(QPointF(std::min(x1, x2), std::min(y1, y2)),
                      QPointF(std::max(x1, x2), std::max(y1, y2)));
    QVector<double> x, y;
    ArcPoints(rect, beginAngle, arcAngle, &x, &y);
    auto *curve = new QCPCurve(xAxis, yAxis);
    curve->setData(x, y);
    curve->setPen(QPen(colour, 1));
    const bool filled = fill.isValid() && fill.alpha() > 0;
    curve->setBrush(filled ? QBrush(fill) : Qt::NoBrush);
    if (rect.width() == 0 && rect.height() == 0) {
        // A polyline of one point paints nothing: show the arc as a dot.
        curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, colour, 3));
    }
    PlotRecord record{PlotRecord::Arc,         0, colour, rect, 0, beginAngle, arcAngle,
                      filled ? fill : QColor()};
    return addPlot(curve, record);
}

bool GraphWidget::deletePlot(int handle) {
    if (handle == -1) {
        for (const Plot &plot : plots_) {
            removePlottable(plot.curve);
        }
        plots_.clear();
        ScheduleReplot(this);
        return true;
    }
    for (int i = 0; i < plots_.size(); ++i) {
        if (plots_[i].record.handle == handle) {
            removePlottable(plots_[i].curve);
            plots_.remove(i);
            ScheduleReplot(this);
            return true;
        }
    }
    return false;
}

void GraphWidget::setAxisRange(int axis, double min, double max) {
    QCPAxis *target = AxisOf(this, axis);
    if (target == nullptr || !std::isfinite(min) || !std::isfinite(max) || !(min < max)) {
        return;
    }
    target->setRange(min, max);
    ScheduleReplot(this);
}

void GraphWidget::axisRange(int axis, double *min, double *max) const {
    QCPAxis *target = AxisOf(const_cast<GraphWidget *>(this), axis);
    if (target == nullptr) {
        return;
    }
    *min = target->range().lower;
    *max = target->range().upper;
}

// The cursor lies beneath the view's shade: drawn over the plot, it takes the colour it would
// have through the shade, and it leaves out the caption of a closed view.
void GraphWidget::drawCursor(QPainter *painter) const {
    const QRect area = plotArea();
    if (area.isEmpty())
        return;
    QRegion clip(area);
    if (shadeCaption_->visible())
        clip -= QRect(shadeCaption_->topLeft->pixelPosition().toPoint(),
                      shadeCaption_->bottomRight->pixelPosition().toPoint());
    const double shade = shade_->visible() ? SHADE_COLOUR.alphaF() * viewShade_ / 100.0 : 0.0;
    const QColor colour =
        QColor::fromRgbF(CURSOR_COLOUR.redF() * (1 - shade) + SHADE_COLOUR.redF() * shade,
                         CURSOR_COLOUR.greenF() * (1 - shade) + SHADE_COLOUR.greenF() * shade,
                         CURSOR_COLOUR.blueF() * (1 - shade) + SHADE_COLOUR.blueF() * shade);

    painter->save();
    painter->setClipRegion(clip);
    painter->setRenderHint(QPainter::Antialiasing, false);
    const QPoint at = pixelOf(shownCursor_);
    painter->setPen(QPen(colour, 1));
    painter->drawLine(at.x(), area.top(), at.x(), area.bottom());
    painter->drawLine(area.left(), at.y(), area.right(), at.y());
    // The square's four sides as filled bars: far cheaper than a stroked rectangle.
    const int half = CURSOR_MARKER_SIZE / 2 + CURSOR_MARKER_PEN / 2;
    const int side = 2 * half + 1;
    const QPoint corner = at - QPoint(half, half);
    painter->fillRect(QRect(corner, QSize(side, CURSOR_MARKER_PEN)), colour);
    painter->fillRect(
        QRect(corner + QPoint(0, side - CURSOR_MARKER_PEN), QSize(side, CURSOR_MARKER_PEN)),
        colour);
    painter->fillRect(QRect(corner, QSize(CURSOR_MARKER_PEN, side)), colour);
    painter->fillRect(
        QRect(corner + QPoint(side - CURSOR_MARKER_PEN, 0), QSize(CURSOR_MARKER_PEN, side)),
        colour);
    painter->restore();
}

// The cursor as two plot items: a cross over the plot area and the square around its point.
void GraphWidget::lendMovingParts(bool lent) {
    if (!lent) {
        for (QCPItemTracer *&tracer : exportCursor_) {
            removeItem(tracer);
            tracer = nullptr;
        }
        return;
    }
    const QCPItemTracer::TracerStyle styles[2] = {QCPItemTracer::tsCrosshair,
                                                  QCPItemTracer::tsSquare};
    for (int i = 0; i < 2; ++i) {
        auto *tracer = new QCPItemTracer(this);
        tracer->setStyle(styles[i]);
        tracer->setPen(QPen(CURSOR_COLOUR, i == 0 ? 1 : CURSOR_MARKER_PEN));
        tracer->setSize(CURSOR_MARKER_SIZE + CURSOR_MARKER_PEN);
        tracer->position->setCoords(cursor_);
        tracer->setClipToAxisRect(true);
        exportCursor_[i] = tracer;
    }
}

void GraphWidget::setViewShade(int percent) {
    viewShade_ = std::clamp(percent, 0, 100);
    updateShade();
}

int GraphWidget::viewShade() const {
    return viewShade_;
}

// The shade deepens with the percentage; from half-way on the view counts as closed and says so.
void GraphWidget::updateShade() {
    QColor shade = SHADE_COLOUR;
    shade.setAlpha(SHADE_COLOUR.alpha() * viewShade_ / 100);
    shade_->setBrush(shade);
    shade_->setVisible(viewShade_ > 0);
    shadeCaption_->setVisible(viewShade_ >= 50);
    setBackground(viewShade_ >= 50 ? SHADED_BACKGROUND : plotstyle::BACKGROUND);
    ScheduleReplot(this);
}

QVector<GraphWidget::PlotRecord> GraphWidget::plotRecords() const {
    QVector<PlotRecord> records;
    records.reserve(plots_.size());
    for (const Plot &plot : plots_) {
        records.append(plot.record);
    }
    return records;
}

// The panel file's optional graph properties: initial axis ranges and axis titles.
void GraphWidget::applyProperty(const QByteArray &name) {
    const QVariant value = property(name.constData());
    double number = 0;
    double min = 0, max = 0;
    if (name == "xMin" || name == "xMax") {
        axisRange(0, &min, &max);
        if (plotstyle::ReadDouble(value, &number)) {
            setAxisRange(0, name == "xMin" ? number : min, name == "xMax" ? number : max);
        }
    } else if (name == "yMin" || name == "yMax") {
        axisRange(1, &min, &max);
        if (plotstyle::ReadDouble(value, &number)) {
            setAxisRange(1, name == "yMin" ? number : min, name == "yMax" ? number : max);
        }
    } else if (name == "xLabel") {
        xAxis->setLabel(value.toString());
        ScheduleReplot(this);
    } else if (name == "yLabel") {
        yAxis->setLabel(value.toString());
        ScheduleReplot(this);
    }
}

// The finished plot, one rectangle of the dirty region at a time: under a clip of one rectangle
// the raster engine copies the plot's buffers row by row, while under a clip of several (the
// strips a cursor move leaves and enters) it sends every pixel through its span filler and
// splits that work over a thread pool, which costs more in wake-ups than it saves.
void GraphWidget::drawFinishedPlot(QCPPainter *painter, const QRegion &region) {
    for (const QRect &rect : region) {
        painter->setClipRect(rect);
        drawBuffers(painter);
    }
    painter->setClipping(false);
}

// The cursor over the plot; with the focus, a thin frame tells the user that the arrow keys move
// the cursor.
void GraphWidget::paintPlot(QPaintEvent *event) {
    QCPPainter painter(this);
    drawFinishedPlot(&painter, event->region());
    drawCursor(&painter);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}
