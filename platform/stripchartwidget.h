// A strip chart for the panel: a fixed number of traces that take appended values in turn and
// show the last pointsPerScreen points of each.
#pragma once

#include <QVector>
#include <qcustomplot.h>

class StripChartWidget : public QCustomPlot {
    Q_OBJECT
  public:
    explicit StripChartWidget(QWidget *parent = nullptr);

    void setTraceCount(int count); // default 7
    int traceCount() const;
    void setPointsPerScreen(int points);
    int pointsPerScreen() const;
    // values[start], values[start + skip + 1], ... go to traces 1, 2, ..., n, 1, ...
    void appendInterleaved(const double *values, int count, int start, int skip);
    void setTraceVisible(int trace, bool visible); // traces count from 1
    bool traceVisible(int trace) const;
    void setTraceThickness(int trace, int pixels);
    int traceThickness(int trace) const;
    // The points of a trace that the screen shows, oldest first.
    QVector<double> traceValues(int trace) const;
};
