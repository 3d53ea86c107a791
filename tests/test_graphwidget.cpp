// The colour graphs' widget: arcs and lines and their records, what lies on top, deleting by
// handle, the cross cursor by mouse and keys and as it is drawn, the view shade, the panel's
// properties and a whole redraw of a taught table.
#include "platform/widgets/graphwidget.h"
#include "platform/widgets/redraw.h"
#include "support/plot_pixels.h"
#include "support/samples.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

namespace {

const auto *const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new WidgetApplication("test_graphwidget"));

const QColor kBlue(0, 0, 255);
const QColor kNone; // not filled

QPoint PixelOf(const GraphWidget &graph, double x, double y) {
    return QPoint(qRound(graph.xAxis->coordToPixel(x)), qRound(graph.yAxis->coordToPixel(y)));
}

QColor ColourAt(const QImage &image, const GraphWidget &graph, double x, double y) {
    return image.pixelColor(PixelOf(graph, x, y));
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

} // namespace
