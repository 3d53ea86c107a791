// Prints how long the plots take to redraw: the colour graph with the limit line and 45 arcs
// (one replot, and a replot after every plot), and the strip chart's append and replot of a
// 700-value window. Offscreen; figures only, no verdict.
//   QT_QPA_PLATFORM=offscreen build/bin/plot-redraw
#include "platform/widgets/graphwidget.h"
#include "platform/widgets/stripchartwidget.h"
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
    for (const bool replotEach : {false, true}) {
        const int rounds = 10;
        QElapsedTimer clock;
        clock.start();
        for (int round = 0; round < rounds; ++round)
            DrawLimitLineAndFortyFiveArcs(&graph, replotEach);
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
