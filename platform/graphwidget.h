// An XY graph for the panel: line plots and arcs with integer handles, manual axis ranges, one
// cross cursor that the user moves with the mouse or, with the focus, the arrow keys, and a view
// shade (0 open, 100 closed) that shows at a glance whether the view is active.
#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QVector>
#include <qcustomplot.h>

class GraphWidget : public QCustomPlot {
    Q_OBJECT
  public:
    // What a plot is, for the engine's callers that inspect a graph (tests).
    struct PlotRecord {
        enum Kind { Line, Arc } kind;
        int handle;
        QColor color;
        QRectF bounds;  // Line: bounding box of the points; Arc: the ellipse's rectangle
        int pointCount; // Line only
        int beginAngle; // Arc only, tenths of a degree
        int arcAngle;
        QColor fillColor; // Arc only; invalid when not filled
    };

    explicit GraphWidget(QWidget *parent = nullptr);

    int plotLine(const QVector<double> &x, const QVector<double> &y, const QColor &color);
    // Rectangle corners in any order. fill invalid: not filled.
    int plotArc(double x1, double y1, double x2, double y2, int beginAngle, int arcAngle,
                const QColor &color, const QColor &fill);
    // -1 deletes every plot. Returns false for an unknown handle.
    bool deletePlot(int handle);
    // axis 0: x, 1: left y.
    void setAxisRange(int axis, double min, double max);
    void axisRange(int axis, double *min, double *max) const;

    QPointF cursorPosition() const;
    void setCursorPosition(const QPointF &position); // raises no signal
    void setViewShade(int percent);
    int viewShade() const;

    QVector<PlotRecord> plotRecords() const; // in drawing order, oldest first

  signals:
    // The user moved the cursor (mouse press or drag, arrow key).
    void cursorMovedByUser();
};
