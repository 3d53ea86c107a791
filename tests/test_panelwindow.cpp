// The real panel as a window: it fits a 1366 x 768 screen and gives a larger window to its
// graphs, it moves its right column under the panel or folds it onto the graphs' place to fit
// 1280 and 1024 wide screens, Tab leaves the teach table, the colour graphs draw X and Y units
// equally long, the strip chart's limit lines show inside its frame, help texts keep their layout,
// and every control is named for assistive technology.
#include "gui/layout.h"
#include "nvmxv451/helptexts.h"
#include "platform/engine/engine_access.h"
#include "platform/engine/userint.h"
#include "platform/widgets/graphwidget.h"
#include "platform/widgets/stripchartwidget.h"
#include "state/globals.h"
#include "state/panel_ids.h"
#include "support/panel_fixture.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// Screens less a title bar and a task bar, and less the window's frame where the panel is not
// grown to the screen's full width.
const QSize kSmallScreen(1366, 768 - 80);
const QSize k1280x1024(1280 - 10, 1024 - 80);
const QSize k1024x768(1024 - 10, 768 - 80);
// The panel file's size.
const QSize kFileSize(1356, 684);

class PanelWindow : public PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        form = EnginePanelWidget(MainPanel);
        DisplayPanel(MainPanel);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    }
    QWidget *Control(int id) { return EngineControlWidget(MainPanel, id); }
    QWidget *Named(const char *name) { return form->findChild<QWidget *>(name); }
    QRect OnPanel(const QWidget *widget) {
        return QRect(widget->mapTo(form, QPoint(0, 0)), widget->size());
    }
    // The panel's own widgets in panel pixels: the form's children and those of its pages.
    std::map<QWidget *, QRect> Places() {
        std::map<QWidget *, QRect> places;
        for (QWidget *child : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (child == Named("pageButton"))
                continue;
            const bool page = child->objectName().endsWith("Page");
            for (QWidget *widget : page ? child->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)
                                        : QList<QWidget *>{child})
                places[widget] = OnPanel(widget);
        }
        return places;
    }
    // The widget a click at the control's centre reaches: the control, a part of it, or a
    // control it holds.
    bool Reachable(QWidget *control) {
        const QRect place = OnPanel(control);
        QWidget *top = form->childAt(place.center());
        return top != nullptr &&
               (top == control || control->isAncestorOf(top) || place.contains(OnPanel(top)));
    }
    bool Shown(const char *name) {
        const QWidget *widget = Named(name);
        return widget != nullptr && widget->isVisible();
    }
    bool ColumnShown() { return Shown("frameFramesPage") && Shown("frameCheckPage"); }
    bool GraphsShown() { return Shown("graphPage"); }
    // Every control of the panel that the program shows, in either view, lies inside the window
    // and is reached by a click on the page that shows it (both pages where the column folds).
    void ExpectEveryControlInsideAndReachable() {
        std::set<QWidget *> reached;
        QWidget *pageButton = Named("pageButton");
        const bool folded = Shown("pageButton");
        for (bool parameterView : {true, false}) {
            parameterView ? ShowParameterView() : ShowTeachTableView();
            for (bool column : {false, true}) {
                if (folded && ColumnShown() != column)
                    QTest::mouseClick(pageButton, Qt::LeftButton);
                if (folded) {
                    ASSERT_EQ(ColumnShown(), column);
                    ASSERT_NE(GraphsShown(), column);
                    EXPECT_TRUE(Reachable(pageButton));
                }
                for (const auto &[widget, place] : Places())
                    if (widget->isVisibleTo(form)) {
                        EXPECT_TRUE(form->rect().contains(place))
                            << widget->objectName().toStdString();
                        if (Reachable(widget))
                            reached.insert(widget);
                    }
            }
        }
        for (int control = 1; control <= PANEL_CONTROL_COUNT; control++)
            if (!Control(control)->isHidden() && control != PANEL_HEADERFRAME) {
                EXPECT_EQ(reached.count(Control(control)), 1u)
                    << Control(control)->objectName().toStdString() << " cannot be clicked";
            }
    }

    QWidget *form = nullptr;
};

bool InTable(QWidget *widget, QTableWidget *table) {
    return widget != nullptr && (widget == table || table->isAncestorOf(widget));
}

TEST_F(PanelWindow, FitsASmallScreenAndGivesTheGraphsTheRoomOfALargerWindow) {
    form->resize(kFileSize);
    const std::map<QWidget *, QRect> before = Places();
    form->resize(kSmallScreen);
    ASSERT_EQ(form->size(), kSmallScreen);
    EXPECT_TRUE(ColumnShown() && GraphsShown());
    EXPECT_FALSE(Shown("pageButton"));
    ExpectEveryControlInsideAndReachable();

    // The graphs and their frames take the room, the buttons at their right edges, the port note
    // at the header's and the detection column at the panel's move with it; the detection
    // report takes the extra height. Every other control keeps place and size.
    const QSize extra = kSmallScreen - kFileSize;
    const int detectionColumn = before.at(Named("frameFrames")).x();
    for (const auto &[widget, place] : before) {
        if (place.x() < detectionColumn)
            continue;
        EXPECT_EQ(OnPanel(widget).x(), place.x() + extra.width())
            << widget->objectName().toStdString();
        EXPECT_EQ(widget->width(), place.width()) << widget->objectName().toStdString();
    }
    const QRect report = OnPanel(Control(PANEL_DETECTREPORT));
    EXPECT_EQ(report.height(), before.at(Control(PANEL_DETECTREPORT)).height() + extra.height());
    EXPECT_LT(report.bottom(), OnPanel(Control(PANEL_ACCEPTTUNING)).top());
    const std::set<QWidget *> growing = {Control(PANEL_HEADERFRAME), Control(PANEL_PORTNOTE),
                                         Control(PANEL_EXPORT),      Control(PANEL_EXPORTZOOM),
                                         Control(PANEL_COLOURGRAPH), Control(PANEL_SIGNALCHART),
                                         Control(PANEL_ZOOMGRAPH),   Named("frameGraph"),
                                         Named("frameZoom"),         Named("caption_11")};
    for (const auto &[widget, place] : before)
        if (growing.count(widget) == 0 && place.x() < detectionColumn) {
            EXPECT_EQ(OnPanel(widget), place) << widget->objectName().toStdString();
        }
    const QRect graph = OnPanel(Control(PANEL_COLOURGRAPH));
    const QRect zoom = OnPanel(Control(PANEL_ZOOMGRAPH));
    EXPECT_EQ(graph.width(), before.at(Control(PANEL_COLOURGRAPH)).width() + extra.width());
    EXPECT_EQ(OnPanel(Control(PANEL_SIGNALCHART)), graph);
    EXPECT_EQ(zoom.size(), graph.size());
    EXPECT_LT(graph.bottom(), zoom.top());
    EXPECT_LT(zoom.bottom(), OnPanel(Named("caption_11")).top());
    EXPECT_TRUE(OnPanel(Named("frameZoom")).contains(zoom));
    EXPECT_EQ(Control(PANEL_HEADERFRAME)->width(), kSmallScreen.width());

    // Taller still, and back: nothing drifts.
    form->resize(1400, 1000);
    EXPECT_GT(Control(PANEL_ZOOMGRAPH)->height(), zoom.height() + 100);
    form->resize(kFileSize);
    EXPECT_EQ(Places(), before);
}

// Narrower than the panel file and too low for the row, down to the column's left edge, the
// column of teaching from frames and the detection check takes turns with the graphs in their
// place: it keeps its distance from the right edge, the graphs their place, the controls left of
// them theirs, and the program's view of what is shown is the same on either page.
TEST_F(PanelWindow, FitsA1024x768ScreenWithTheColumnFoldedOntoTheGraphs) {
    EXPECT_LE(form->minimumWidth(), k1024x768.width());
    EXPECT_LE(form->minimumHeight(), k1024x768.height());
    form->resize(kFileSize);
    const std::map<QWidget *, QRect> file = Places();
    const int column = file.at(Named("frameFrames")).x();
    const int graphs = file.at(Named("frameGraph")).x();
    QWidget *pageButton = Named("pageButton");
    ASSERT_NE(pageButton, nullptr);

    for (QSize size :
         {k1024x768, QSize(k1280x1024.width(), kFileSize.height()), form->minimumSize()}) {
        SCOPED_TRACE(std::to_string(size.width()) + " x " + std::to_string(size.height()));
        form->resize(size);
        ASSERT_EQ(form->size(), size);
        ASSERT_TRUE(pageButton->isVisible());
        ExpectEveryControlInsideAndReachable();
        const QSize extra = size - kFileSize;
        const bool minimum = size == form->minimumSize();
        for (const auto &[widget, place] : Places()) {
            const QRect filePlace = file.at(widget);
            const std::string name = widget->objectName().toStdString();
            if (filePlace.x() >= column) {
                EXPECT_EQ(place.x(), filePlace.x() + extra.width()) << name;
                EXPECT_EQ(place.width(), filePlace.width()) << name;
            } else if (filePlace.top() > 62 && (filePlace.x() < graphs || minimum)) {
                EXPECT_EQ(place, filePlace) << name;
            }
        }
    }

    // F7 does what the button does; the program sees the graph as shown on either page.
    const bool columnShown = ColumnShown();
    QTest::keyClick(form, Qt::Key_F7);
    EXPECT_NE(ColumnShown(), columnShown);
    EXPECT_EQ(ControlAttribute(PANEL_COLOURGRAPH, ATTR_VISIBLE), 1);
    QTest::keyClick(form, Qt::Key_F7);
    EXPECT_EQ(ColumnShown(), columnShown);

    // The column's buttons answer their keys only while the column is shown.
    if (ColumnShown())
        QTest::keyClick(form, Qt::Key_F7);
    ASSERT_FALSE(ColumnShown());
    QTest::keyClick(form, Qt::Key_K, Qt::AltModifier);
    EXPECT_TRUE(FileSelects().empty());
    QTest::keyClick(form, Qt::Key_F7);
    QTest::keyClick(form, Qt::Key_K, Qt::AltModifier);
    EXPECT_EQ(FileSelects().size(), 1u) << "Check recording… asks for a file";

    // As wide as the file, the column stands beside the graphs again and F7 does nothing.
    form->resize(kFileSize);
    EXPECT_TRUE(ColumnShown() && GraphsShown());
    EXPECT_FALSE(pageButton->isVisible());
    QTest::keyClick(form, Qt::Key_F7);
    EXPECT_TRUE(ColumnShown() && GraphsShown());
    EXPECT_EQ(Places(), file);
}

// Narrower than the panel file but tall enough, the column's groups stand in a row under the
// panel, TEACH FROM FRAMES at the left margin and DETECTION CHECK at the right edge, all at once.
TEST_F(PanelWindow, FitsA1280x1024ScreenWithTheColumnInARowUnderThePanel) {
    form->resize(kFileSize);
    const std::map<QWidget *, QRect> file = Places();
    const QRect frames = file.at(Named("frameFrames"));
    const QRect check = file.at(Named("frameCheck"));
    const int graphs = file.at(Named("frameGraph")).x();
    form->resize(k1280x1024);
    ASSERT_EQ(form->size(), k1280x1024);
    EXPECT_FALSE(Shown("pageButton"));
    EXPECT_TRUE(ColumnShown() && GraphsShown());
    ExpectEveryControlInsideAndReachable();

    // The file's margins: 10 at the sides, the panel's bottom margin above the row.
    const QRect framesNow = OnPanel(Named("frameFrames"));
    const QRect checkNow = OnPanel(Named("frameCheck"));
    EXPECT_EQ(framesNow, QRect(QPoint(10, kFileSize.height()), frames.size()));
    EXPECT_EQ(checkNow.topRight(), QPoint(k1280x1024.width() - 11, kFileSize.height()));
    EXPECT_EQ(checkNow.size(), QSize(check.width(), frames.height()));
    EXPECT_GE(form->height() - checkNow.bottom(), 2);
    const QRect report = OnPanel(Control(PANEL_DETECTREPORT));
    EXPECT_TRUE(checkNow.contains(report));
    EXPECT_GE(report.height(), 120) << "some eight lines of the report";
    EXPECT_LT(report.bottom(), OnPanel(Control(PANEL_ACCEPTTUNING)).top());
    for (const auto &[widget, place] : Places()) {
        const QRect filePlace = file.at(widget);
        if (filePlace.x() < graphs && filePlace.top() > 62) {
            EXPECT_EQ(place, filePlace) << widget->objectName().toStdString();
        }
    }
    // The graphs take the width, and the height above the row once the window is taller.
    EXPECT_LT(OnPanel(Named("frameZoom")).bottom(), framesNow.top());
    EXPECT_EQ(OnPanel(Named("frameGraph")).right(), k1280x1024.width() - 11);
    const int zoomHeight = Control(PANEL_ZOOMGRAPH)->height();
    form->resize(k1280x1024 + QSize(0, 100));
    EXPECT_EQ(Control(PANEL_ZOOMGRAPH)->height(), zoomHeight + 50);
    EXPECT_EQ(OnPanel(Named("frameFrames")).top(), kFileSize.height() + 100);

    // One pixel lower, the column folds; as wide as the file, it stands beside the graphs.
    form->resize(k1280x1024 - QSize(0, 1));
    EXPECT_TRUE(Shown("pageButton"));
    form->resize(kFileSize);
    EXPECT_EQ(Places(), file);
}

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

// The help pop-up: the text's lines as written, unwrapped, continuation lines under the text
// they continue, and no wider than a small screen.
TEST_F(PanelWindow, HelpPopupKeepsTheTextsLinesAndIndentation) {
    StopRecordingPopups();
    struct Shown {
        QString text;
        bool wrapped = true;
        bool aligned = false;
        int width = 0;
    };
    auto inspect = [](Shown *shown) {
        QTimer::singleShot(0, [shown] {
            ProcessEventsUntil([] { return QApplication::activeModalWidget() != nullptr; }, 5.0);
            auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            const QLabel *label = box->findChild<QLabel *>();
            const QFontMetrics metrics(label->font());
            const QStringList lines = label->text().split('\n');
            int longest = 0;
            for (const QString &line : lines)
                longest = std::max(longest, metrics.horizontalAdvance(line.trimmed()));
            shown->text = label->text();
            shown->wrapped = label->contentsRect().width() < longest ||
                             label->height() >= (lines.size() + 1) * metrics.lineSpacing();
            shown->aligned = metrics.horizontalAdvance(" BINARY   : ") ==
                             metrics.horizontalAdvance(QString(12, ' '));
            shown->width = box->frameGeometry().width();
            box->accept();
        });
    };

    Shown outmode;
    inspect(&outmode);
    QWidget *ring = Control(PANEL_OUTMODE);
    QTest::mouseClick(form->windowHandle(), Qt::RightButton, Qt::NoModifier,
                      ring->mapTo(form, ring->rect().center()));
    EXPECT_EQ(outmode.text, QString(HelpTextOf(PANEL_OUTMODE)));
    EXPECT_FALSE(outmode.wrapped);
    EXPECT_TRUE(outmode.aligned);

    for (int control = 1; control <= PANEL_CONTROL_COUNT; control++) {
        if (HelpTextOf(control) == nullptr)
            continue;
        Shown help;
        inspect(&help);
        ShowHelpText(control);
        EXPECT_FALSE(help.wrapped) << HelpTextOf(control);
        EXPECT_LE(help.width, kSmallScreen.width()) << HelpTextOf(control);
    }
}

// Tab and Shift+Tab leave the table, from a cell being edited too, and take the entry; the arrow
// keys move between cells and Enter takes an entry and stays.
TEST_F(PanelWindow, TabLeavesTheTeachTableArrowsAndEnterStayInIt) {
    ShowTeachTableView();
    auto *table = qobject_cast<QTableWidget *>(Control(PANEL_TEACHTABLE));
    table->setFocus();
    table->setCurrentCell(2, 1);
    QTest::keyClick(table, Qt::Key_Right);
    EXPECT_EQ(table->currentColumn(), 2);
    QTest::keyClick(table, Qt::Key_Tab);
    QWidget *next = QApplication::focusWidget();
    EXPECT_FALSE(InTable(next, table));
    EXPECT_TRUE(next == Control(PANEL_NO) || Control(PANEL_NO)->isAncestorOf(next));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Backtab);
    EXPECT_FALSE(InTable(QApplication::focusWidget(), table));

    auto typeIntoCell = [table](int row, int column, const char *digits, Qt::Key finish) {
        table->setFocus();
        table->setCurrentCell(row, column);
        QTest::keyClick(table, Qt::Key_F2);
        // A closed editor lingers until it is deleted: the open one is the visible one.
        QSpinBox *editor = nullptr;
        for (QSpinBox *candidate : table->viewport()->findChildren<QSpinBox *>())
            if (candidate->isVisible())
                editor = candidate;
        if (editor == nullptr)
            return false;
        editor->selectAll();
        QTest::keyClicks(editor, digits);
        QTest::keyClick(editor, finish);
        return true;
    };
    ASSERT_TRUE(typeIntoCell(0, 0, "77", Qt::Key_Tab));
    int cell = 0;
    GetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(1, 1), &cell);
    EXPECT_EQ(cell, 77);
    EXPECT_FALSE(InTable(QApplication::focusWidget(), table));
    ASSERT_TRUE(typeIntoCell(1, 0, "42", Qt::Key_Return));
    // Enter takes the entry once the event loop runs again.
    EXPECT_TRUE(ProcessEventsUntil(
        [&cell] {
            GetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(1, 2), &cell);
            return cell == 42;
        },
        5.0));
    EXPECT_TRUE(InTable(QApplication::focusWidget(), table));

    // The rows fill the table: no strip is left below row 14.
    EXPECT_EQ(table->rowViewportPosition(14) + table->rowHeight(14), table->viewport()->height());
}

TEST_F(PanelWindow, ControlsAreNamedAndColourBarsTellTheirValue) {
    for (int control = 1; control <= PANEL_CONTROL_COUNT; control++) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(Control(control));
        ASSERT_NE(accessible, nullptr);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
            << Control(control)->objectName().toStdString();
    }
    SetCtrlVal(MainPanel, PANEL_GREEN, 77);
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(Control(PANEL_GREEN));
    EXPECT_EQ(bar->role(), QAccessible::ProgressBar);
    EXPECT_EQ(bar->text(QAccessible::Name), QString("GREEN"));
    ASSERT_NE(bar->valueInterface(), nullptr);
    EXPECT_EQ(bar->valueInterface()->currentValue().toInt(), 77);
    EXPECT_EQ(bar->valueInterface()->maximumValue().toInt(), 255);
    EXPECT_EQ(bar->text(QAccessible::Value), QString("77"));
}

} // namespace
