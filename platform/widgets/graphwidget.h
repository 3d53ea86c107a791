// An XY graph for the panel: line plots and arcs with integer handles, manual axis ranges, one
// cross cursor that the user moves with the mouse or, with the focus, the arrow keys, and a view
// shade (0 open, 100 closed) that shows at a glance whether the view is active.
#pragma once

#include "platform/widgets/instrumentplot.h"
#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QVector>

class GraphWidget : public InstrumentPlot {
    Q_OBJECT
  public:
    // What a plot is, for the engine's callers that inspect a graph (tests).
    struct PlotRecord {
        enum Kind { Line, Arc, Points } kind;
        int handle;
        QColor colour;
        QRectF bounds;  // Line, Points: bounding box of the points; Arc: the ellipse's rectangle
        int pointCount; // Line and Points
        int beginAngle; // Arc only, tenths of a degree
        int arcAngle;
        QColor fillColour; // Arc only; invalid when not filled
    };

    explicit GraphWidget(QWidget *parent = nullptr);

    // A line through the points in the given order (not sorted by x). Returns the plot handle
    // (>= 1), or -1 when x and y differ in length. Handles are never reused.
    int plotLine(const QVector<double> &x, const QVector<double> &y, const QColor &colour);
    // Each point as a small filled square, unconnected. Returns the plot handle, or -1 when x
    // and y differ in length.
    int plotPoints(const QVector<double> &x, const QVector<double> &y, const QColor &colour);
    // Rectangle corners in any order, also outside the axis ranges; a zero-size rectangle is an
    // arc at a point. Angles count counter-clockwise from the positive x direction; a negative
    // arcAngle runs clockwise. fill invalid or transparent: not filled. Returns the plot handle,
    // or -1 for a coordinate that is not a number.
    int plotArc(double x1, double y1, double x2, double y2, int beginAngle, int arcAngle,
                const QColor &colour, const QColor &fill);
    // -1 deletes every plot. Returns false for an unknown handle.
    bool deletePlot(int handle);
    // axis 0: x, 1: left y. The range is held as given; an empty or reversed range is refused.
    void setAxisRange(int axis, double min, double max);
    void axisRange(int axis, double *min, double *max) const;

    QPointF cursorPosition() const;
    void setCursorPosition(const QPointF &position); // raises no signal
    // 0 shows the view open, 100 closed (subdued, with a caption). Plots and axes stay as they are.
    void setViewShade(int percent);
    int viewShade() const;

    QVector<PlotRecord> plotRecords() const; // in drawing order, oldest first

  signals:
    // The user moved the cursor (mouse press or drag, arrow key).
    void cursorMovedByUser();

  protected:
    void applyProperty(const QByteArray &name) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintPlot(QPaintEvent *event) override;
    void lendMovingParts(bool lent) override;

  private:
    // The cross: 1-pixel lines over the plot area and a square of 9 pixels, 2 wide, at the point.
    static constexpr int CURSOR_MARKER_SIZE = 9;
    static constexpr int CURSOR_MARKER_PEN = 2;

    struct Plot {
        PlotRecord record;
        QCPCurve *curve;
    };

    void keepUnitsSquare();
    int addPlot(QCPCurve *curve, const PlotRecord &record);
    void moveCursorByUser(const QPointF &position);
    bool inPlotArea(const QPoint &pixel);
    QPointF pixelToPlot(const QPointF &pixel) const;
    void updateShade();
    void showCursorMove();
    QPoint pixelOf(const QPointF &position) const;
    QPoint cursorPixel() const;
    QRegion cursorRegion(const QPoint &at) const;
    void drawFinishedPlot(QCPPainter *painter, const QRegion &region);
    void drawCursor(QPainter *painter) const;

    QVector<Plot> plots_;
    int nextHandle_ = 1;
    QPointF cursor_;
    QPointF shownCursor_; // where the cross is painted
    QCPItemRect *shade_;
    QCPItemText *shadeCaption_;
    QCPItemTracer *exportCursor_[2] = {nullptr, nullptr}; // cross and square, during an export
    int viewShade_ = 0;
    bool dragging_ = false;
};
