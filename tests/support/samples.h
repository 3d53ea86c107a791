// Sample data that tests and benchmarks share.
#pragma once

#include "platform/widgets/graphwidget.h"

#include <cmath>
#include <vector>

// 100 samples of the live display's seven signals (RED, GREEN, BLUE, INT, C-No, UL, LL),
// interleaved as the strip chart takes them: smooth colour waves, C-No stepping from 3 to 255
// half-way, the limits UL 200 and LL 40.
inline std::vector<double> LiveDisplayHistory() {
    std::vector<double> history(700);
    for (int s = 0; s < 100; ++s) {
        history[7 * s + 0] = 120 + 60 * std::sin(s / 9.0);
        history[7 * s + 1] = 90 + 40 * std::cos(s / 13.0);
        history[7 * s + 2] = 60 + 20 * std::sin(s / 5.0);
        history[7 * s + 3] = (history[7 * s] + history[7 * s + 1] + history[7 * s + 2]) / 3;
        history[7 * s + 4] = s < 50 ? 3 : 255;
        history[7 * s + 5] = 200;
        history[7 * s + 6] = 40;
    }
    return history;
}

// What the colour graph draws on a redraw with a full teach table: the grey limit line and three
// circles per taught row, with a replot after every plot or one at the end.
inline void DrawLimitLineAndFortyFiveArcs(GraphWidget *graph, bool replotEach) {
    QVector<double> x(256), y(256);
    for (int i = 0; i < 256; ++i) {
        x[i] = i;
        y[i] = 255 - i;
    }
    graph->deletePlot(-1);
    graph->plotLine(x, y, QColor(160, 160, 160));
    for (int row = 0; row < 15; ++row) {
        const QColor colour = QColor::fromHsv(row * 24, 255, 200);
        const double cx = 20 + row * 15, cy = 230 - row * 14, r = 5 + row;
        for (const double shift : {0.0, 0.025, 0.05}) {
            const double upper = shift == 0.05 ? 0.005 : shift;
            graph->plotArc(cx - r + shift, cy - r + shift, cx + r + upper, cy + r + upper, 0, 3600,
                           colour, QColor());
            if (replotEach)
                graph->replot();
        }
    }
    graph->replot();
}
