// The real panel's plots as a window shows them: the colour graphs draw X and Y units equally
// long, and the strip chart's limit lines show inside its frame.
#include "gui/layout.h"
#include "platform/engine/userint.h"
#include "platform/widgets/graphwidget.h"
#include "platform/widgets/stripchartwidget.h"
#include "state/globals.h"
#include "state/panel_ids.h"
#include "support/panel_window.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

// One unit of X and one unit of Y cover the same number of pixels, whatever the window's size
// and the zoom window; the axis ranges stay as set.
TEST_F(PanelWindow, ColourGraphsDrawOneUnitOfXAndOneOfYEquallyLong) {
    auto check = [this](const char *where) {
        for (int id : {PANEL_COLOURGRAPH, PANEL_ZOOMGRAPH}) {
            auto *graph = qobject_cast<GraphWidget *>(Control(id));
            graph->replot();
            const QCPRange x = graph->xAxis->range(), y = graph->yAxis->range();
            const double xPixels =
                graph->xAxis->coordToPixel(x.upper) - graph->xAxis->coordToPixel(x.lower);
            const double yPixels =
                graph->yAxis->coordToPixel(y.lower) - graph->yAxis->coordToPixel(y.upper);
            EXPECT_NEAR(xPixels / x.size(), yPixels / y.size(), 1.0 / x.size())
                << where << " " << graph->objectName().toStdString();
            EXPECT_GT(xPixels, 150) << where;
        }
    };
    check("panel size");
    form->resize(kSmallScreen);
    check("small screen");
    form->resize(1100, 1000);
    check("tall window");

    SetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_XAXIS, VAL_MANUAL, 75.4, 125.4);
    SetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, 35.7, 85.7);
    check("zoomed");
    int mode = -1;
    double min = 0, max = 0;
    GetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_XAXIS, &mode, &min, &max);
    EXPECT_EQ(min, 75.4);
    EXPECT_EQ(max, 125.4);
    GetAxisScalingMode(MainPanel, PANEL_COLOURGRAPH, VAL_LEFT_YAXIS, &mode, &min, &max);
    EXPECT_EQ(min, 0.0);
    EXPECT_EQ(max, 255.0);
}

bool Orange(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) > 90 && qGreen(pixel) < 190 && qBlue(pixel) < 90;
}

// In CONTRAST R with SOURCE RED, UL 255 and LL 0 are drawn as lines inside the chart's frame,
// not under it or outside the drawn area.
TEST_F(PanelWindow, StripChartShowsLimitLinesAtTheEndsOfTheRange) {
    SetCtrlVal(MainPanel, PANEL_EVALMODE, 3);
    SetCtrlVal(MainPanel, PANEL_SOURCE, 2);
    ApplySource();
    auto *chart = qobject_cast<StripChartWidget *>(Control(PANEL_SIGNALCHART));
    ASSERT_TRUE(chart->isVisible());
    ASSERT_TRUE(chart->traceVisible(6) && chart->traceVisible(7));
    double history[700];
    for (int i = 0; i < 700; i++)
        history[i] = i % 7 == 5 ? 255 : i % 7 == 6 ? 0 : 128;
    PlotStripChart(MainPanel, PANEL_SIGNALCHART, history, 700, 0, 0, VAL_DOUBLE);
    chart->replot();
    const QImage image = chart->grab().toImage();
    const QRect area = chart->xAxis->axisRect()->rect();

    bool upper = false, lower = false;
    for (int x = area.left() + 5; x < area.right() - 5; x++)
        for (int y = area.top() + 1; y < area.bottom(); y++)
            if (Orange(image.pixel(x, y)))
                (y < area.center().y() ? upper : lower) = true;
    EXPECT_TRUE(upper) << "UL at 255";
    EXPECT_TRUE(lower) << "LL at 0";
}

} // namespace
