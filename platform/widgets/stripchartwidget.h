// A strip chart for the panel: a fixed number of traces that take appended values in turn and
// show the last pointsPerScreen points of each. The plot draws the frame around the traces
// (axes, grid, legend) only when it changes and keeps it as an image; the widget draws the
// traces over that image, since they move with every new point.
#pragma once

#include "platform/widgets/instrumentplot.h"
#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>
#include <array>

class StripChartWidget : public InstrumentPlot {
    Q_OBJECT
  public:
    explicit StripChartWidget(QWidget *parent = nullptr);

    static constexpr int MAX_TRACES = 16;
    static constexpr int MAX_POINTS_PER_SCREEN = 10000;

    // 1..MAX_TRACES, default 7. Traces that stay keep their points and settings.
    void setTraceCount(int count);
    int traceCount() const;
    // 1..MAX_POINTS_PER_SCREEN. Each trace keeps its newest points that still fit.
    void setPointsPerScreen(int points);
    int pointsPerScreen() const;
    // values[start], values[start + skip + 1], ... go to traces 1, 2, ..., n, 1, ...
    // count is the length of values; every call begins with trace 1. Nothing happens when
    // values is null, count or start is negative, or skip is negative.
    void appendInterleaved(const double *values, int count, int start, int skip);
    void setTraceVisible(int trace, bool visible); // traces count from 1
    bool traceVisible(int trace) const;
    void setTraceThickness(int trace, int pixels);
    int traceThickness(int trace) const;
    // Colour and name of a trace, traces 1..MAX_TRACES (the lower limit, 7, is dashed).
    void setTraceColour(int trace, const QColor &colour);
    QColor traceColour(int trace) const;
    void setTraceName(int trace, const QString &name);
    QString traceName(int trace) const;
    // The points of a trace that the screen shows, oldest first.
    QVector<double> traceValues(int trace) const;
    // y axis range, default 0..255. An empty or reversed range is refused.
    void setValueRange(double min, double max);

  protected:
    void applyProperty(const QByteArray &name) override;
    void paintPlot(QPaintEvent *event) override;
    void lendMovingParts(bool lent) override;

  private:
    // What a trace looks like and holds. The ring keeps the last pointsPerScreen values.
    struct Trace {
        QColor colour;
        QString name;
        Qt::PenStyle style = Qt::SolidLine;
        int thickness = 1;
        bool visible = true;
        QVector<double> ring;
        int head = 0; // where the next value goes
        int count = 0;
    };

    bool validTrace(int trace) const;
    void push(Trace *trace, double value);
    double valueAt(const Trace &trace, int i) const; // i counts from the oldest
    void resizeRing(Trace *trace, int points);
    void applyPen(int index);
    void refreshData(int index);
    void rebuildGraphs();
    void rebuildLegend();
    void buildBackdrop();
    void drawTraces(QPainter *painter) const;

    std::array<Trace, MAX_TRACES> traces_;
    int traceCount_ = 7;
    int pointsPerScreen_ = 100;
    // The plot without its traces as of its last whole redraw, opaque; stale after the next one.
    QImage backdrop_;
    bool backdropStale_ = true;
};
