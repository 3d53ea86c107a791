// How the engine draws the test panel: streamed values at most once a frame time and never as a
// whole replot, opaque controls without the panel behind them, drawing moved into the line's
// silences, and a callback's wait that begins with a painted panel.
#include "platform/engine/engine_access.h"
#include "platform/widgets/redraw.h"
#include "platform/widgets/stripchartwidget.h"
#include "support/engine_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <map>

#include <unistd.h>

namespace {

// Counts the paint events of the widgets it watches and the drawing passes they come in: a
// pass is the paint that one update request of the window brings.
class PaintCounter : public QObject {
  public:
    PaintCounter(QWidget *window, std::initializer_list<QWidget *> widgets) {
        window->installEventFilter(this);
        for (QWidget *w : widgets) {
            counts[w] = 0;
            w->installEventFilter(this);
        }
    }
    void reset() {
        for (auto &entry : counts)
            entry.second = 0;
        passes = 0;
    }
    std::map<QWidget *, int> counts;
    int passes = 0;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::UpdateRequest) {
            request++;
        } else if (event->type() == QEvent::Paint) {
            counts[static_cast<QWidget *>(watched)]++;
            if (request != lastPaintedRequest)
                passes++;
            lastPaintedRequest = request;
        }
        return false;
    }

  private:
    long request = 0;
    long lastPaintedRequest = -1;
};

// A transfer changes displays, the cursor and the chart on every cycle, far more often than a
// screen shows. Each frame time must bring at most one drawing pass, with every change in it,
// and no plot may be redrawn whole for a new point or a cursor move; the last state must still
// reach the screen when the stream stops.
TEST_F(EnginePanelTest, StreamedValuesAreDrawnOncePerFrame) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    QWidget *bar = Control(TEST_BAR);
    QWidget *display = Control(TEST_DISPLAY);
    auto *graph = qobject_cast<QCustomPlot *>(Control(TEST_GRAPH));
    auto *chart = qobject_cast<StripChartWidget *>(Control(TEST_CHART));
    ASSERT_NE(graph, nullptr);
    ASSERT_NE(chart, nullptr);
    QTest::qWait(2 * FRAME_MILLISECONDS);
    PaintCounter painted(EnginePanelWidget(panel), {bar, display, graph, chart});
    int wholeReplots = 0;
    for (QCustomPlot *plot : {graph, static_cast<QCustomPlot *>(chart)})
        QObject::connect(plot, &QCustomPlot::afterReplot, [&wholeReplots] { wholeReplots++; });

    QElapsedTimer clock;
    clock.start();
    double values[7] = {};
    int cycle = 0;
    for (; clock.elapsed() < 10 * FRAME_MILLISECONDS; cycle++) {
        SetCtrlVal(panel, TEST_BAR, cycle % 2 ? 10 : 200);
        SetCtrlVal(panel, TEST_DISPLAY, cycle);
        SetGraphCursor(panel, TEST_GRAPH, 1, cycle % 256, 255 - cycle % 256);
        std::fill(std::begin(values), std::end(values), double(cycle));
        PlotStripChart(panel, TEST_CHART, values, 7, 0, 0, VAL_DOUBLE);
        ProcessSystemEvents();
        usleep(1000); // the line's share of a transfer cycle
    }
    const int frames = int(clock.elapsed() / FRAME_MILLISECONDS);
    ASSERT_GT(cycle, 4 * frames) << "the loop must change things faster than frames pass";
    EXPECT_LE(painted.passes, frames + 2);
    for (auto [widget, count] : painted.counts)
        EXPECT_LE(count, frames + 2) << widget->objectName().toStdString();
    EXPECT_LE(wholeReplots, 2);

    painted.reset();
    for (QWidget *w : {bar, display, static_cast<QWidget *>(graph), static_cast<QWidget *>(chart)})
        QTRY_VERIFY_WITH_TIMEOUT(painted.counts[w] > 0, 2000);
    EXPECT_EQ(chart->traceValues(1).last(), cycle - 1);
}

// A control the panel file marks opaque is drawn without the panel behind it, style sheet or
// not; other controls keep the usual see-through drawing.
TEST_F(EnginePanelTest, OpaqueControlsPaintWithoutThePanelBehind) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    EXPECT_TRUE(Control(TEST_BAR)->testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_FALSE(Control(TEST_DISPLAY)->testAttribute(Qt::WA_OpaquePaintEvent));

    PaintCounter painted(EnginePanelWidget(panel), {EnginePanelWidget(panel), Control(TEST_BAR)});
    SetCtrlVal(panel, TEST_BAR, 120);
    QTRY_VERIFY_WITH_TIMEOUT(painted.counts[Control(TEST_BAR)] > 0, 2000);
    EXPECT_EQ(painted.counts[EnginePanelWidget(panel)], 0);
}

// While serial waits meet a silent line, a due redraw happens in that silence and the event
// step leaves it alone; once the silences stop, the event loop draws again.
TEST_F(EnginePanelTest, DrawingMovesIntoTheLinesSilence) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    QWidget *display = Control(TEST_DISPLAY);
    auto *graph = qobject_cast<QCustomPlot *>(Control(TEST_GRAPH));
    ASSERT_NE(graph, nullptr);
    PaintCounter painted(EnginePanelWidget(panel), {display, graph});
    QTest::qWait(FRAME_MILLISECONDS + 10);
    QElapsedTimer sinceSilence;
    sinceSilence.start();
    DrawInLineSilence();
    painted.reset();

    SetCtrlVal(panel, TEST_DISPLAY, 7);
    SetGraphCursor(panel, TEST_GRAPH, 1, 100, 100);
    QTest::qWait(FRAME_MILLISECONDS + 10); // a frame time of event steps: nothing drawn
    if (sinceSilence.elapsed() >= 2 * FRAME_MILLISECONDS)
        GTEST_SKIP() << "the machine stalled for longer than a silence holds the drawing";
    EXPECT_EQ(painted.counts[display], 0);
    EXPECT_EQ(painted.counts[graph], 0);
    DrawInLineSilence();
    EXPECT_EQ(painted.counts[display], 1);
    EXPECT_EQ(painted.counts[graph], 1);

    SetCtrlVal(panel, TEST_DISPLAY, 8);
    QTRY_VERIFY_WITH_TIMEOUT(painted.counts[display] == 2, 2000);
}

// A callback that waits holds the event loop: what it changed before its first timer reading,
// and what the window showed meanwhile, is painted before the wait, not after it.
TEST_F(EnginePanelTest, ACallbacksWaitBeginsWithAPaintedPanel) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    QWidget *display = Control(TEST_DISPLAY);
    QTest::qWait(2 * FRAME_MILLISECONDS);
    PaintCounter painted(EnginePanelWidget(panel), {display});
    int paintsBeforeWait = -1, paintsAfterWait = -1;
    onEngineControlEvent = [&](int control, int event) {
        if (control != TEST_BUTTON || event != EVENT_COMMIT)
            return;
        SetCtrlVal(panel, TEST_DISPLAY, 42);
        paintsBeforeWait = painted.counts[display];
        double start = Timer();
        while (Timer() - start < 0.05) {
        }
        paintsAfterWait = painted.counts[display];
    };
    QTest::mouseClick(Control(TEST_BUTTON), Qt::LeftButton);
    EXPECT_EQ(paintsBeforeWait, 0);
    // A loaded machine may deliver the window system's own repaint in the same pass.
    EXPECT_GE(paintsAfterWait, 1);
}

} // namespace
