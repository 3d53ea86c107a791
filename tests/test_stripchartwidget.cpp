// The strip chart: seven-hundred-value windows of interleaved traces, the start and skip of
// the interleaving, traces hidden, thickened and named from the panel, and the live display's
// traces as drawn.
#include "platform/widgets/stripchartwidget.h"
#include "support/plot_pixels.h"
#include "support/samples.h"

#include <QCoreApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <vector>

namespace {

const auto *const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new WidgetApplication("test_stripchartwidget"));

std::vector<double> History(int samples, int offset) {
    std::vector<double> values(7 * samples);
    for (int s = 0; s < samples; ++s) {
        for (int k = 0; k < 7; ++k) {
            values[7 * s + k] = offset + s * 10 + k;
        }
    }
    return values;
}

TEST(StripChartWidget, SevenHundredValueWindowsShowTheLastPointsOfEachTrace) {
    StripChartWidget chart;
    EXPECT_EQ(chart.traceCount(), 7);
    chart.setPointsPerScreen(101);
    const std::vector<double> first = History(100, 0);
    chart.appendInterleaved(first.data(), 700, 0, 0);
    EXPECT_EQ(chart.traceValues(1).size(), 100);
    EXPECT_EQ(chart.traceValues(7).front(), 6.0);
    EXPECT_EQ(chart.traceValues(7).back(), 996.0);

    const std::vector<double> second = History(100, 5000);
    chart.appendInterleaved(second.data(), 700, 0, 0);
    for (int trace = 1; trace <= 7; ++trace) {
        const QVector<double> values = chart.traceValues(trace);
        ASSERT_EQ(values.size(), 101) << trace;
        EXPECT_EQ(values[0], 990.0 + trace - 1) << "newest of the first window";
        for (int s = 0; s < 100; ++s) {
            ASSERT_EQ(values[s + 1], 5000.0 + s * 10 + trace - 1) << trace << " " << s;
        }
        EXPECT_EQ(chart.graph(trace - 1)->data()->size(), 101);
    }

    // Many more windows: the graphs keep exactly one screen of points.
    for (int round = 0; round < 50; ++round) {
        chart.appendInterleaved(second.data(), 700, 0, 0);
    }
    EXPECT_EQ(chart.graph(0)->data()->size(), 101);
    EXPECT_EQ(chart.graph(0)->data()->at(100)->value, 5990.0);
    EXPECT_EQ(chart.graph(0)->data()->at(100)->key, 100.0) << "newest at the right edge";
    EXPECT_EQ(chart.traceValues(1).back(), 5990.0);

    // A smaller screen keeps the newest points.
    chart.setPointsPerScreen(3);
    EXPECT_EQ(chart.traceValues(2), QVector<double>({5971, 5981, 5991}));
    EXPECT_EQ(chart.xAxis->range().upper, 2.0);
}

TEST(StripChartWidget, InterleavingHonoursStartAndSkipAndIgnoresBadCalls) {
    StripChartWidget chart;
    chart.setTraceCount(2);
    chart.setPointsPerScreen(10);
    const double values[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    // Start 1, skip 2: values 1, 4, 7, 10 go to traces 1, 2, 1, 2.
    chart.appendInterleaved(values, 11, 1, 2);
    EXPECT_EQ(chart.traceValues(1), QVector<double>({1, 7}));
    EXPECT_EQ(chart.traceValues(2), QVector<double>({4, 10}));
    // An odd count: the next call still begins with trace 1.
    chart.appendInterleaved(values, 3, 0, 0);
    EXPECT_EQ(chart.traceValues(1), QVector<double>({1, 7, 0, 2}));
    EXPECT_EQ(chart.traceValues(2), QVector<double>({4, 10, 1}));

    chart.appendInterleaved(nullptr, 5, 0, 0);
    chart.appendInterleaved(values, 11, -1, 0);
    chart.appendInterleaved(values, 11, 0, -1);
    chart.appendInterleaved(values, 11, 11, 0);
    EXPECT_EQ(chart.traceValues(1).size(), 4);
    EXPECT_EQ(chart.traceValues(2).size(), 3);
    EXPECT_TRUE(chart.traceValues(3).isEmpty());
}

TEST(StripChartWidget, TracesCanBeHiddenThickenedAndNamedFromThePanel) {
    StripChartWidget chart;
    EXPECT_TRUE(chart.traceVisible(6));
    chart.setTraceVisible(6, false);
    chart.setTraceVisible(7, false);
    EXPECT_FALSE(chart.traceVisible(6));
    EXPECT_FALSE(chart.graph(5)->visible());
    EXPECT_TRUE(chart.traceVisible(5));
    EXPECT_EQ(chart.legend->itemCount(), 5) << "the legend lists the visible traces";
    chart.setTraceVisible(6, true);
    EXPECT_TRUE(chart.graph(5)->visible());
    EXPECT_EQ(chart.legend->itemCount(), 6);
    EXPECT_FALSE(chart.traceVisible(8));

    chart.setTraceThickness(1, 3);
    EXPECT_EQ(chart.traceThickness(1), 3);
    EXPECT_EQ(chart.graph(0)->pen().width(), 3);
    EXPECT_EQ(chart.graph(6)->pen().style(), Qt::DashLine);

    chart.setProperty("traceColors", QString("#102030, #405060"));
    chart.setProperty("traceNames", QString("A,B"));
    chart.setProperty("yMax", 100.0);
    EXPECT_EQ(chart.traceColour(2), QColor(0x40, 0x50, 0x60));
    EXPECT_EQ(chart.graph(1)->pen().color(), QColor(0x40, 0x50, 0x60));
    EXPECT_EQ(chart.traceName(1), "A");
    EXPECT_EQ(chart.traceName(3), "BLUE");
    EXPECT_EQ(chart.yAxis->range().upper, 100.0);

    // Trace settings survive a change of the trace count.
    chart.setProperty("traceCount", 3);
    EXPECT_EQ(chart.traceCount(), 3);
    EXPECT_EQ(chart.traceThickness(1), 3);
    chart.setProperty("traceCount", 7);
    EXPECT_FALSE(chart.traceVisible(7));
    EXPECT_EQ(chart.graph(6)->pen().style(), Qt::DashLine);
}

// The chart as the live display shows it: RED, GREEN, BLUE and the limit lines.
TEST(StripChartWidget, RendersTheTracesOfTheLiveDisplay) {
    StripChartWidget chart;
    ShowPlot(&chart);
    chart.setPointsPerScreen(101);
    const std::vector<double> history = LiveDisplayHistory();
    // Its timing is measured by bench/plot_redraw.cpp.
    for (int round = 0; round < 3; ++round) {
        chart.appendInterleaved(history.data(), 700, 0, 0);
        chart.replot();
    }
    const QImage image = Render(&chart);
    const int flat =
        qRound(chart.yAxis->coordToPixel(200)); // the upper limit runs across the screen
    const int middle = qRound(chart.xAxis->coordToPixel(50));
    bool found = false;
    for (int dy = -2; dy <= 2 && !found; ++dy) {
        found = Near(image.pixelColor(middle, flat + dy), chart.traceColour(6));
    }
    EXPECT_TRUE(found) << "the UL trace is drawn in dark orange at 200";

    // Around the plot area, where no trace reaches, new points leave the frame as a whole
    // redraw draws it: axes, tick labels and legend.
    for (int round = 0; round < 20; ++round)
        chart.appendInterleaved(history.data(), 700, 0, 0);
    QCoreApplication::processEvents();
    const QImage streamed = chart.grab().toImage();
    const QRect plotArea = chart.axisRect()->rect().adjusted(-2, -2, 2, 2);
    int framePixels = 0;
    int differing = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!plotArea.contains(x, y)) {
                framePixels += streamed.pixelColor(x, y) != QColor(Qt::white);
                differing += streamed.pixel(x, y) != image.pixel(x, y);
            }
    EXPECT_GT(framePixels, 1500) << "tick labels and legend";
    EXPECT_EQ(differing, 0);
}

} // namespace
