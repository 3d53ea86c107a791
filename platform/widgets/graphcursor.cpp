// The graph's cursor: where it is, the pixels its cross covers, and the user's moves of it by
// mouse and arrow keys.
#include "platform/widgets/graphwidget.h"

#include "platform/widgets/redraw.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {

const double CURSOR_STEP = 1.0;
const double CURSOR_BIG_STEP = 10.0;

} // namespace

QPointF GraphWidget::cursorPosition() const {
    return cursor_;
}

// The cursor is drawn over the finished plot, so that a move repaints only the strips that the
// old and the new cross cover instead of the whole graph.
void GraphWidget::setCursorPosition(const QPointF &position) {
    const QPoint from = cursorPixel();
    cursor_ = position;
    // The cross is drawn at whole pixels: a move within one pixel leaves the screen as it is,
    // which a steady colour does frame after frame.
    if (cursorPixel() == from && !plotArea().isEmpty())
        return;
    PaceChange(this, [](QWidget *graph, const QString &) {
        static_cast<GraphWidget *>(graph)->showCursorMove();
    });
}

// The cross is painted where it was last shown, so that a move still held by the pacing leaves
// no part of a cross outside the regions that the next move repaints.
void GraphWidget::showCursorMove() {
    const QPoint from = pixelOf(shownCursor_);
    shownCursor_ = cursor_;
    update(cursorRegion(from) | cursorRegion(cursorPixel()));
}

QPoint GraphWidget::pixelOf(const QPointF &position) const {
    return QPoint(qRound(xAxis->coordToPixel(position.x())),
                  qRound(yAxis->coordToPixel(position.y())));
}

QPoint GraphWidget::cursorPixel() const {
    return pixelOf(cursor_);
}

// The pixels that a cross at pixel at covers; the whole widget while the plot area is not laid
// out yet.
QRegion GraphWidget::cursorRegion(const QPoint &at) const {
    const QRect area = plotArea();
    if (area.isEmpty())
        return QRegion(rect());
    const int reach = CURSOR_MARKER_SIZE / 2 + CURSOR_MARKER_PEN;
    QRegion region(QRect(at.x() - 1, area.top(), 3, area.height()));
    region += QRect(area.left(), at.y() - 1, area.width(), 3);
    region += QRect(at - QPoint(reach, reach), at + QPoint(reach, reach));
    return region & area;
}

// The plot area in pixels is only known once the layout has been computed.
bool GraphWidget::inPlotArea(const QPoint &pixel) {
    if (plotArea().isEmpty()) {
        updateLayout();
    }
    return plotArea().contains(pixel);
}

QPointF GraphWidget::pixelToPlot(const QPointF &pixel) const {
    return QPointF(xAxis->pixelToCoord(pixel.x()), yAxis->pixelToCoord(pixel.y()));
}

// A move by the user: the cursor goes there and the owner hears of it once.
void GraphWidget::moveCursorByUser(const QPointF &position) {
    setCursorPosition(position);
    emit cursorMovedByUser();
}

void GraphWidget::mousePressEvent(QMouseEvent *event) {
    QCustomPlot::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && inPlotArea(event->position().toPoint())) {
        dragging_ = true;
        moveCursorByUser(pixelToPlot(event->position()));
    }
}

void GraphWidget::mouseMoveEvent(QMouseEvent *event) {
    QCustomPlot::mouseMoveEvent(event);
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        const QPointF position = pixelToPlot(event->position());
        if (position != cursor_) {
            moveCursorByUser(position);
        }
    }
}

void GraphWidget::mouseReleaseEvent(QMouseEvent *event) {
    QCustomPlot::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        dragging_ = false;
    }
}

void GraphWidget::keyPressEvent(QKeyEvent *event) {
    const double step = (event->modifiers() & Qt::ShiftModifier) ? CURSOR_BIG_STEP : CURSOR_STEP;
    QPointF delta;
    switch (event->key()) {
    case Qt::Key_Left:
        delta = QPointF(-step, 0);
        break;
    case Qt::Key_Right:
        delta = QPointF(step, 0);
        break;
    case Qt::Key_Up:
        delta = QPointF(0, step);
        break;
    case Qt::Key_Down:
        delta = QPointF(0, -step);
        break;
    default:
        QCustomPlot::keyPressEvent(event);
        return;
    }
    event->accept();
    moveCursorByUser(cursor_ + delta);
}
