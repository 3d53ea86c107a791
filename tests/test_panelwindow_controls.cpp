// The real panel's controls as a window offers them: help texts keep their layout, Tab leaves
// the teach table, and every control is named for assistive technology.
#include "gui/layout.h"
#include "nvmxv451/helptexts.h"
#include "platform/engine/userint.h"
#include "state/globals.h"
#include "state/panel_ids.h"
#include "support/panel_window.h"

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

#include <algorithm>

namespace {

bool InTable(QWidget *widget, QTableWidget *table) {
    return widget != nullptr && (widget == table || table->isAncestorOf(widget));
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
