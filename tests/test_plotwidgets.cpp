// The panel's plot and display widgets: arcs and lines of the colour graphs, the cross cursor,
// the view shade, the strip chart's interleaved traces, and the colour bars.
#include "platform/widgets/colourbar.h"
#include "platform/widgets/graphwidget.h"
#include "platform/widgets/redraw.h"
#include "platform/widgets/stripchartwidget.h"
#include "support/samples.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_plotwidgets";
        static char *argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override { delete app_; }

  private:
    QApplication *app_ = nullptr;
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kNone; // not filled

// A graph on screen with its layout computed, so that pixels map to plot coordinates.
void ShowPlot(QCustomPlot *plot) {
    plot->resize(420, 400);
    plot->show();
    plot->replot();
}

QImage Render(QCustomPlot *plot) {
    plot->replot();
    return plot->grab().toImage();
}

QPoint PixelOf(const GraphWidget &graph, double x, double y) {
    return QPoint(qRound(graph.xAxis->coordToPixel(x)), qRound(graph.yAxis->coordToPixel(y)));
}

QColor ColourAt(const QImage &image, const GraphWidget &graph, double x, double y) {
    return image.pixelColor(PixelOf(graph, x, y));
}

// Whether a pixel is close to a colour. A thin anti-aliased line may cover a pixel only half,
// blending it half-way to the white background.
bool Near(const QColor &a, const QColor &b) {
    return std::abs(a.red() - b.red()) < 140 && std::abs(a.green() - b.green()) < 140 &&
           std::abs(a.blue() - b.blue()) < 140;
}

// Whether any pixel within two pixels of (x, y) is close to the colour.
bool ColourAround(const QImage &image, const GraphWidget &graph, double x, double y,
                  const QColor &colour) {
    const QPoint centre = PixelOf(graph, x, y);
    for (int dx = -2; dx <= 2; ++dx) {
        for (int dy = -2; dy <= 2; ++dy) {
            if (Near(image.pixelColor(centre + QPoint(dx, dy)), colour)) {
                return true;
            }
        }
    }
    return false;
}

void SendMouse(QWidget *widget, QEvent::Type type, const QPoint &pixel, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(pixel), QPointF(widget->mapToGlobal(pixel)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

TEST(GraphWidget, ArcsKeepTheirRectangleWhateverTheCornerOrderAndRange) {
    GraphWidget graph;
    const int first = graph.plotArc(130, 40, 90, 80, 0, 3600, kRed, kNone);
    const int outside = graph.plotArc(270, -10, 230, 30, 0, 3600, kBlue, QColor(0, 0, 0, 0));
    const int point = graph.plotArc(17, 33, 17, 33, 0, 3600, kRed, kNone);
    const int filled = graph.plotArc(0, 0, 10, 20, 900, 1800, kRed, kBlue);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(outside, 2);
    EXPECT_EQ(point, 3);
    EXPECT_EQ(filled, 4);

    const QVector<GraphWidget::PlotRecord> records = graph.plotRecords();
    ASSERT_EQ(records.size(), 4);
    EXPECT_EQ(records[0].kind, GraphWidget::PlotRecord::Arc);
    EXPECT_EQ(records[0].bounds, QRectF(90, 40, 40, 40));
    EXPECT_EQ(records[0].colour, kRed);
    EXPECT_FALSE(records[0].fillColour.isValid());
    EXPECT_EQ(records[1].bounds, QRectF(230, -10, 40, 40));
    EXPECT_FALSE(records[1].fillColour.isValid()) << "a transparent fill is no fill";
    EXPECT_EQ(records[2].bounds, QRectF(17, 33, 0, 0));
    EXPECT_EQ(records[3].beginAngle, 900);
    EXPECT_EQ(records[3].arcAngle, 1800);
    EXPECT_EQ(records[3].fillColour, kBlue);

    double min = 0, max = 0;
    graph.axisRange(0, &min, &max);
    EXPECT_EQ(min, 0.0);
    EXPECT_EQ(max, 255.0) << "arcs beyond the range leave the axes alone";

    EXPECT_EQ(graph.plotArc(std::nan(""), 0, 1, 1, 0, 3600, kRed, kNone), -1);
    EXPECT_EQ(graph.plotLine({1, 2, 3}, {1, 2}, kRed), -1);
    EXPECT_EQ(graph.plotRecords().size(), 4);
}

TEST(GraphWidget, ArcsAreDrawnWhereTheirAnglesSay) {
    GraphWidget graph;
    ShowPlot(&graph);
    // A full unfilled circle of radius 50 and a quarter arc from 0 to 90 degrees of radius 30.
    graph.plotArc(178, 178, 78, 78, 0, 3600, kRed, kNone);
    graph.plotArc(68, 68, 8, 8, 0, 900, kBlue, kNone);
    const QImage image = Render(&graph);

    for (const QPointF &onCircle : {QPointF(178, 128), QPointF(78, 128), QPointF(128, 178),
                                    QPointF(128, 78), QPointF(128 + 35.36, 128 + 35.36)}) {
        EXPECT_TRUE(ColourAround(image, graph, onCircle.x(), onCircle.y(), kRed))
            << onCircle.x() << "," << onCircle.y();
    }
    EXPECT_FALSE(Near(ColourAt(image, graph, 128, 128), kRed)) << "the circle is not filled";

    // Counter-clockwise from the positive x direction: right and top ends, not left or bottom.
    EXPECT_TRUE(ColourAround(image, graph, 68, 38, kBlue));
    EXPECT_TRUE(ColourAround(image, graph, 38, 68, kBlue));
    EXPECT_TRUE(ColourAround(image, graph, 38 + 21.2, 38 + 21.2, kBlue));
    EXPECT_FALSE(ColourAround(image, graph, 8, 38, kBlue));
    EXPECT_FALSE(ColourAround(image, graph, 38, 8, kBlue));
}

TEST(GraphWidget, LaterPlotsLieOnTopAndDeletingWorksByHandleOrAll) {
    GraphWidget graph;
    ShowPlot(&graph);
    const int line = graph.plotLine({0, 128, 255}, {255, 127, 0}, QColor(160, 160, 160));
    const int under = graph.plotArc(100, 100, 160, 160, 0, 3600, kRed, kRed);
    const int over = graph.plotArc(120, 120, 180, 180, 0, 3600, kBlue, kBlue);
    EXPECT_TRUE(Near(ColourAt(Render(&graph), graph, 140, 140), kBlue));

    QVector<GraphWidget::PlotRecord> records = graph.plotRecords();
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records[0].handle, line);
    EXPECT_EQ(records[0].kind, GraphWidget::PlotRecord::Line);
    EXPECT_EQ(records[0].pointCount, 3);
    EXPECT_EQ(records[0].bounds, QRectF(0, 0, 255, 255));
    EXPECT_EQ(records[1].handle, under);
    EXPECT_EQ(records[2].handle, over);

    EXPECT_TRUE(graph.deletePlot(over));
    EXPECT_FALSE(graph.deletePlot(over));
    EXPECT_FALSE(graph.deletePlot(99));
    EXPECT_TRUE(Near(ColourAt(Render(&graph), graph, 140, 140), kRed));
    records = graph.plotRecords();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[1].handle, under);

    EXPECT_TRUE(graph.deletePlot(-1));
    EXPECT_TRUE(graph.plotRecords().isEmpty());
    EXPECT_FALSE(Near(ColourAt(Render(&graph), graph, 140, 140), kRed));
    EXPECT_GT(graph.plotArc(1, 1, 2, 2, 0, 3600, kRed, kNone), over) << "handles are not reused";
}

TEST(GraphWidget, CursorMovesByMouseAndKeysAndSignalsOnlyUserMoves) {
    GraphWidget graph;
    ShowPlot(&graph);
    QSignalSpy moved(&graph, &GraphWidget::cursorMovedByUser);

    graph.setCursorPosition(QPointF(100.4, 60.7));
    EXPECT_EQ(graph.cursorPosition(), QPointF(100.4, 60.7));
    EXPECT_EQ(moved.count(), 0);

    const double unitsPerPixel = 255.0 / graph.axisRect()->width();
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, PixelOf(graph, 40, 200));
    EXPECT_EQ(moved.count(), 1);
    EXPECT_NEAR(graph.cursorPosition().x(), 40, unitsPerPixel);
    EXPECT_NEAR(graph.cursorPosition().y(), 200, unitsPerPixel);

    // Outside the plot area, or with the right button, the cursor stays.
    const QPointF before = graph.cursorPosition();
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QTest::mouseClick(&graph, Qt::RightButton, Qt::NoModifier, PixelOf(graph, 150, 150));
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(graph.cursorPosition(), before);

    // A drag follows the mouse, past the edge of the plot area too.
    SendMouse(&graph, QEvent::MouseButtonPress, PixelOf(graph, 100, 100), Qt::LeftButton,
              Qt::LeftButton);
    SendMouse(&graph, QEvent::MouseMove, PixelOf(graph, 120, 110), Qt::NoButton, Qt::LeftButton);
    SendMouse(&graph, QEvent::MouseMove, PixelOf(graph, 270, 110), Qt::NoButton, Qt::LeftButton);
    SendMouse(&graph, QEvent::MouseButtonRelease, PixelOf(graph, 270, 110), Qt::LeftButton,
              Qt::NoButton);
    EXPECT_EQ(moved.count(), 4);
    EXPECT_NEAR(graph.cursorPosition().x(), 270, unitsPerPixel);
    SendMouse(&graph, QEvent::MouseMove, PixelOf(graph, 50, 50), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(moved.count(), 4) << "moving without a pressed button is no drag";

    graph.setCursorPosition(QPointF(100.5, 60.25));
    graph.setFocus();
    QTest::keyClick(&graph, Qt::Key_Right);
    EXPECT_EQ(moved.count(), 5);
    EXPECT_EQ(graph.cursorPosition(), QPointF(101.5, 60.25));
    QTest::keyClick(&graph, Qt::Key_Down);
    QTest::keyClick(&graph, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(&graph, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(moved.count(), 8);
    EXPECT_EQ(graph.cursorPosition(), QPointF(91.5, 69.25));
    QTest::keyClick(&graph, Qt::Key_A);
    EXPECT_EQ(moved.count(), 8);
}

// The cross is drawn over the plot where the cursor is, moves without a redraw of the plot,
// shows through the shade of a closed view only dimmed, and never crosses its caption.
TEST(GraphWidget, CursorCrossIsDrawnWhereTheCursorIsAndDimmedWhenClosed) {
    GraphWidget graph;
    ShowPlot(&graph);
    graph.setCursorPosition(QPointF(110, 60));
    QImage image = Render(&graph);
    const QColor cursorColour(20, 20, 20);
    EXPECT_EQ(ColourAt(image, graph, 110, 210), cursorColour) << "the vertical line";
    EXPECT_EQ(ColourAt(image, graph, 210, 60), cursorColour) << "the horizontal line";
    EXPECT_EQ(ColourAt(image, graph, 130, 170), QColor(Qt::white));

    QTest::qWait(FRAME_MILLISECONDS + 10); // redraws still due from the set-up
    int replots = 0;
    QObject::connect(&graph, &QCustomPlot::afterReplot, [&replots] { replots++; });
    graph.setCursorPosition(QPointF(160, 160));
    QCoreApplication::processEvents();
    image = graph.grab().toImage();
    EXPECT_EQ(replots, 0);
    EXPECT_EQ(ColourAt(image, graph, 160, 30), cursorColour);
    EXPECT_EQ(ColourAt(image, graph, 110, 210), QColor(Qt::white)) << "the old line is gone";

    // A move within a frame time of the last one shown is held, and shown at its end.
    graph.setCursorPosition(QPointF(60, 100));
    QCoreApplication::processEvents();
    image = graph.grab().toImage();
    EXPECT_EQ(ColourAt(image, graph, 160, 30), cursorColour) << "still the last cross shown";
    EXPECT_EQ(graph.cursorPosition(), QPointF(60, 100));
    QTRY_VERIFY_WITH_TIMEOUT(ColourAt(graph.grab().toImage(), graph, 60, 210) == cursorColour,
                             5000);
    EXPECT_EQ(ColourAt(graph.grab().toImage(), graph, 160, 30), QColor(Qt::white));

    QTest::qWait(FRAME_MILLISECONDS + 10);
    graph.setViewShade(100);
    graph.setCursorPosition(QPointF(128, 200));
    image = Render(&graph);
    const QColor dimmed = ColourAt(image, graph, 128, 30);
    EXPECT_GT(dimmed.red(), 100) << "lighter than the open view's cross";
    EXPECT_LT(dimmed.red(), ColourAt(image, graph, 60, 30).red()) << "darker than the shade";
    EXPECT_NE(ColourAt(image, graph, 128, 127.5), dimmed) << "the caption stays whole";
}

// A cursor move repaints only the strips of the old and the new cross; what the window then
// shows must be what a whole redraw draws, plot lines under the cross included.
TEST(GraphWidget, CursorMovesLeaveTheWindowAsAWholeRedrawWould) {
    GraphWidget graph;
    ShowPlot(&graph);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
    graph.plotLine({0, 255}, {0, 255}, kRed);
    graph.plotArc(40, 40, 200, 200, 0, 3600, kBlue, kNone);
    graph.replot();
    for (QPointF position :
         {QPointF(30, 220), QPointF(120, 90), QPointF(121, 91), QPointF(200, 10)}) {
        graph.setCursorPosition(position);
        QCoreApplication::processEvents();
    }
    ShowHeldChanges(); // the last move, held by the pacing
    QCoreApplication::processEvents();
    QImage shown =
        graph.screen()->grabWindow(graph.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    QImage whole = graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), whole.size());
    EXPECT_TRUE(shown == whole);
    EXPECT_EQ(shown.pixelColor(PixelOf(graph, 30, 117)), QColor(Qt::white)) << "old cross gone";
}

TEST(GraphWidget, ClosingAndOpeningTheViewChangesNeitherPlotsNorAxes) {
    GraphWidget graph;
    ShowPlot(&graph);
    graph.xAxis->setLabel("X");
    graph.yAxis->setLabel("Y");
    graph.setAxisRange(0, 75.4, 125.4);
    graph.setAxisRange(1, 35.7, 85.7);
    graph.plotArc(90, 50, 110, 70, 0, 3600, kRed, kNone);
    graph.setCursorPosition(QPointF(100.4, 60.7));
    const QVector<GraphWidget::PlotRecord> records = graph.plotRecords();
    const QImage open = Render(&graph);

    graph.setViewShade(100);
    EXPECT_EQ(graph.viewShade(), 100);
    const QImage closed = Render(&graph);
    EXPECT_NE(closed, open) << "a closed view looks different";
    graph.setViewShade(0);
    EXPECT_EQ(graph.viewShade(), 0);
    EXPECT_EQ(Render(&graph), open);

    ASSERT_EQ(graph.plotRecords().size(), records.size());
    EXPECT_EQ(graph.plotRecords()[0].bounds, records[0].bounds);
    double min = 0, max = 0;
    graph.axisRange(0, &min, &max);
    EXPECT_DOUBLE_EQ(min, 75.4);
    EXPECT_DOUBLE_EQ(max, 125.4);
    graph.axisRange(1, &min, &max);
    EXPECT_DOUBLE_EQ(min, 35.7);
    EXPECT_DOUBLE_EQ(max, 85.7);
    EXPECT_EQ(graph.cursorPosition(), QPointF(100.4, 60.7));
    EXPECT_TRUE(graph.isVisible());
}

TEST(GraphWidget, PanelPropertiesSetRangesAndTitlesButNotEmptyRanges) {
    GraphWidget graph;
    graph.setProperty("xMin", 10.0);
    graph.setProperty("xMax", QString("200"));
    graph.setProperty("yLabel", QString("Y"));
    double min = 0, max = 0;
    graph.axisRange(0, &min, &max);
    EXPECT_EQ(min, 10.0);
    EXPECT_EQ(max, 200.0);
    EXPECT_EQ(graph.yAxis->label(), "Y");

    graph.setAxisRange(1, 50, 50);
    graph.setAxisRange(1, 80, 20);
    graph.setAxisRange(2, 0, 1);
    graph.axisRange(1, &min, &max);
    EXPECT_EQ(min, 0.0);
    EXPECT_EQ(max, 255.0);
}

// What the colour graph draws on each redraw: the grey limit line and three circles per taught
// row. The time is printed to watch for regressions; the machine's load makes a bound useless.
// Its timing is measured by bench/plot_redraw.cpp.
TEST(GraphWidget, RedrawOfLimitLineAndFortyFiveArcs) {
    GraphWidget graph;
    ShowPlot(&graph);
    // Once with a single replot at the end, once with a replot after every plot.
    for (const bool replotEach : {false, true})
        for (int round = 0; round < 2; ++round)
            DrawLimitLineAndFortyFiveArcs(&graph, replotEach);
    EXPECT_EQ(graph.plotRecords().size(), 46);
    graph.setCursorPosition(QPointF(120, 100));
    EXPECT_EQ(graph.cursorPosition(), QPointF(120, 100));
}

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

// Counts the paint events of the widgets it watches.
class PaintCount : public QObject {
  public:
    explicit PaintCount(std::initializer_list<QWidget *> widgets) {
        for (QWidget *widget : widgets) {
            counts[widget] = 0;
            widget->installEventFilter(this);
        }
    }
    std::map<QObject *, int> counts;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            counts[watched]++;
        return false;
    }
};

// The bounding box of the dark pixels in an area.
QRect DarkArea(const QImage &image, const QRect &area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y).lightness() < 80)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(ColourBar, FillsItsShareOfTheFrameAndRepaintsWithoutThePanelBehind) {
    QWidget panel;
    panel.resize(300, 80);
    ColourBar bar(&panel);
    bar.setGeometry(10, 10, 190, 28);
    bar.setRange(0, 255);
    bar.setFormat("%v");
    bar.setBarColor(kRed);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    QCoreApplication::processEvents();

    PaintCount painted({&panel, &bar});
    bar.setValue(64);
    QTRY_VERIFY_WITH_TIMEOUT(painted.counts[&bar] > 0, 2000);
    EXPECT_EQ(painted.counts[&panel], 0);

    // Inside the frame, 188 pixels: 64 of 255 fill 47 of them.
    QImage image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(0x7a, 0x7a, 0x7a)) << "frame";
    EXPECT_EQ(image.pixelColor(189, 27), QColor(0x7a, 0x7a, 0x7a)) << "frame";
    EXPECT_EQ(image.pixelColor(47, 3), kRed) << "last filled pixel";
    EXPECT_EQ(image.pixelColor(48, 3), bar.palette().color(QPalette::Base)) << "first empty one";
    EXPECT_FALSE(DarkArea(image, QRect(80, 4, 30, 20)).isEmpty()) << "the number in the middle";

    bar.setValue(300);
    EXPECT_EQ(bar.value(), 255) << "held in the range";
    image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(188, 3), kRed);
    bar.setFormat("%v of %m, %p%");
    EXPECT_EQ(bar.text(), "255 of 255, 100%");
    bar.setValue(0);
    image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 3), bar.palette().color(QPalette::Base));
    bar.setRange(7, 7);
    bar.setValue(7);
    image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 3), kRed) << "a range of one value shows it full";

    // The number in the middle, in the bar's font of the moment.
    bar.setFormat("%v");
    bar.setRange(0, 255);
    bar.setValue(0);
    const QRect inside(1, 1, 188, 26);
    const QRect small = DarkArea(bar.grab().toImage(), inside);
    EXPECT_NEAR(small.center().x(), inside.center().x(), 2);
    EXPECT_NEAR(small.center().y(), inside.center().y(), 2);
    QFont larger = bar.font();
    larger.setPointSizeF(larger.pointSizeF() * 1.6);
    bar.setFont(larger);
    const QRect large = DarkArea(bar.grab().toImage(), inside);
    EXPECT_GT(large.height(), small.height() + 2) << "not the number laid out in the old font";
}
