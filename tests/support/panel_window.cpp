#include "support/panel_window.h"

#include "gui/layout.h"
#include "platform/engine/engine_access.h"
#include "platform/engine/userint.h"
#include "state/globals.h"
#include "state/panel_ids.h"

#include <QTest>
#include <QWidget>

#include <set>

void PanelWindow::SetUp() {
    PanelFixture::SetUp();
    form = EnginePanelWidget(MainPanel);
    DisplayPanel(MainPanel);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
}

QWidget *PanelWindow::Control(int id) {
    return EngineControlWidget(MainPanel, id);
}

QWidget *PanelWindow::Named(const char *name) {
    return form->findChild<QWidget *>(name);
}

QRect PanelWindow::OnPanel(const QWidget *widget) {
    return QRect(widget->mapTo(form, QPoint(0, 0)), widget->size());
}

std::map<QWidget *, QRect> PanelWindow::Places() {
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

bool PanelWindow::Reachable(QWidget *control) {
    const QRect place = OnPanel(control);
    QWidget *top = form->childAt(place.center());
    return top != nullptr &&
           (top == control || control->isAncestorOf(top) || place.contains(OnPanel(top)));
}

bool PanelWindow::Shown(const char *name) {
    const QWidget *widget = Named(name);
    return widget != nullptr && widget->isVisible();
}

bool PanelWindow::ColumnShown() {
    return Shown("frameFramesPage") && Shown("frameCheckPage");
}

bool PanelWindow::GraphsShown() {
    return Shown("graphPage");
}

void PanelWindow::ExpectEveryControlInsideAndReachable() {
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
                    EXPECT_TRUE(form->rect().contains(place)) << widget->objectName().toStdString();
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
