// The real panel as a window on small screens: it fits a 1366 x 768 screen and gives a larger
// window to its graphs, and it moves its right column under the panel or folds it onto the
// graphs' place to fit 1280 and 1024 wide screens.
#include "platform/engine/userint.h"
#include "state/panel_ids.h"
#include "support/panel_window.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

// Screens less a title bar, a task bar and the window's frame, and the panel file's size.
const QSize k1280x1024(1280 - 10, 1024 - 80);
const QSize k1024x768(1024 - 10, 768 - 80);
const QSize kFileSize(1356, 684);

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

} // namespace
