// Prints how long the plots take to redraw: the colour graph with the limit line and 45 arcs
// (one replot, and a replot after every plot), and the strip chart's append and replot of a
// 700-value window. Offscreen; figures only, no verdict.
//   QT_QPA_PLATFORM=offscreen build/bin/plot-redraw
#include "platform/graphwidget.h"
#include "platform/stripchartwidget.h"
#include "tests/support/samples.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

void Show(QCustomPlot *plot) {
    plot->resize(420, 400);
    plot->show();
    plot->replot();
}

void GraphRedraw() {
    GraphWidget graph;
    Show(&graph);
    QVector<double> x(256), y(256);
    for (int i = 0; i < 256; ++i) {
        x[i] = i;
        y[i] = 255 - i;
    }
    for (const bool replotEach : {false, true}) {
        const int rounds = 10;
        QElapsedTimer clock;
        clock.start();
        for (int round = 0; round < rounds; ++round) {
            graph.deletePlot(-1);
            graph.plotLine(x, y, QColor(160, 160, 160));
            for (int row = 0; row < 15; ++row) {
                const QColor colour = QColor::fromHsv(row * 24, 255, 200);
                const double cx = 20 + row * 15, cy = 230 - row * 14, r = 5 + row;
                for (const double shift : {0.0, 0.025, 0.05}) {
                    const double upper = shift == 0.05 ? 0.005 : shift;
                    graph.plotArc(cx - r + shift, cy - r + shift, cx + r + upper, cy + r + upper, 0,
                                  3600, colour, QColor());
                    if (replotEach)
                        graph.replot();
                }
            }
            graph.replot();
        }
        std::printf("redraw of 1 line and 45 arcs, %s: %.2f ms\n",
                    replotEach ? "replot after every plot" : "one replot",
                    clock.nsecsElapsed() / 1e6 / rounds);
    }
}

void StripChartRedraw() {
    StripChartWidget chart;
    Show(&chart);
    chart.setPointsPerScreen(101);
    const std::vector<double> history = LiveDisplayHistory();
    chart.appendInterleaved(history.data(), 700, 0, 0);
    const int rounds = 50;
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < rounds; ++round) {
        chart.appendInterleaved(history.data(), 700, 0, 0);
        chart.replot();
    }
    std::printf("strip chart append and replot: %.2f ms\n", clock.nsecsElapsed() / 1e6 / rounds);
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    GraphRedraw();
    StripChartRedraw();
    return 0;
}
