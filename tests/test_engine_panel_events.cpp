// Loading panel files and turning the user's actions into events: right clicks, typed numbers,
// buttons, rings and sliders, the close box, shortcuts and held keys, a quit while callbacks
// run, and the COM-port ring's width and tooltip.
#include "platform/engine/engine_access.h"
#include "support/engine_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QHelpEvent>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(EngineLoad, RefusesBadFilesAndBindsGoodOnes) {
    StartEngineFixture();
    EXPECT_EQ(LoadPanel(0, EngineTestDataPath("engine_unknown_callback.ui").c_str(), 1),
              UIE_UNKNOWN_CALLBACK);
    EXPECT_EQ(LoadPanel(0, EngineTestDataPath("no_such_panel.ui").c_str(), 1), UIE_FILE_NOT_FOUND);
    EXPECT_LT(LoadPanel(0, EngineTestDataPath("").c_str(), 1), 0); // a directory

    QTemporaryDir directory;
    QString garbage = directory.filePath("garbage.ui");
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a panel\n");
    file.close();
    EXPECT_LT(LoadPanel(0, garbage.toUtf8().constData(), 1), 0);

    // A control the program needs but the file lacks.
    const ControlName withMissing[] = {{1, "TEST_BUTTON"}, {2, "NOT_IN_THE_FILE"}};
    SetControlTable(withMissing, 2);
    EXPECT_EQ(LoadEngineTestPanel(), UIE_MISSING_CONTROL);
    SetControlTable(engineTestControls, TEST_CONTROL_COUNT);

    // Relative names are found in the program's directory; two panels live side by side.
    QString relative =
        QDir(QCoreApplication::applicationDirPath())
            .relativeFilePath(QString::fromStdString(EngineTestDataPath("engine_panel.ui")));
    int first = LoadPanel(0, relative.toUtf8().constData(), 1);
    int second = LoadEngineTestPanel();
    ASSERT_GE(first, 1);
    ASSERT_GE(second, 1);
    EXPECT_NE(first, second);
    EXPECT_NE(EngineControlWidget(first, TEST_SPIN), EngineControlWidget(second, TEST_SPIN));
    EXPECT_EQ(EngineControlWidget(first, TEST_SPIN)->objectName(), QString("TEST_SPIN"));
    EXPECT_FALSE(EnginePanelWidget(first)->isVisible()); // nothing is shown by loading
    EXPECT_EQ(DiscardPanel(first), UIE_OK);
    EXPECT_EQ(EnginePanelWidget(first), nullptr);
    EXPECT_EQ(SetCtrlVal(first, TEST_SPIN, 1), UIE_BAD_PANEL);
    EXPECT_EQ(SetCtrlVal(second, 999, 1), UIE_BAD_CONTROL);
    DiscardPanel(second);
}

TEST_F(EnginePanelTest, ProgramChangesRaiseNoEvents) {
    SetCtrlVal(panel, TEST_SPIN, 99);
    SetCtrlVal(panel, TEST_RING, 5);
    SetCtrlVal(panel, TEST_RING, 17); // adds an item
    SetCtrlVal(panel, TEST_TOGGLE, 1);
    SetCtrlVal(panel, TEST_SLIDER, 40);
    SetCtrlVal(panel, TEST_COMPORT, 3);
    SetCtrlAttribute(panel, TEST_SPIN, ATTR_DIMMED, 1);
    SetTableCellVal(panel, TEST_TABLE, MakePoint(1, 1), 5);
    SetGraphCursor(panel, TEST_GRAPH, 1, 20, 30);
    QCoreApplication::processEvents();
    EXPECT_TRUE(engineEvents.empty());
}

TEST_F(EnginePanelTest, RightClickRaisesFiveWithoutContextMenu) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    auto *spin = qobject_cast<QSpinBox *>(Control(TEST_SPIN));
    auto *table = qobject_cast<QTableWidget *>(Control(TEST_TABLE));
    // The spin box's inner line edit and the table's viewport would open menus of their own.
    RightClick(spin->findChild<QLineEdit *>());
    RightClick(Control(TEST_BUTTON));
    RightClick(table->viewport());
    EXPECT_EQ(EngineEventsOf(TEST_SPIN), std::vector<int>{EVENT_RIGHT_CLICK});
    EXPECT_EQ(EngineEventsOf(TEST_BUTTON), std::vector<int>{EVENT_RIGHT_CLICK});
    EXPECT_EQ(EngineEventsOf(TEST_TABLE), std::vector<int>{EVENT_RIGHT_CLICK});
    EXPECT_EQ(menusOpened, 0);
    // The click position comes along in panel pixels: vertical, then horizontal.
    QWidget *button = Control(TEST_BUTTON);
    QPoint centre = button->mapTo(EnginePanelWidget(panel), button->rect().center());
    auto click = std::find_if(engineEvents.begin(), engineEvents.end(),
                              [](const EngineEvent &e) { return e.control == TEST_BUTTON; });
    EXPECT_EQ(click->eventData1, centre.y());
    EXPECT_EQ(click->eventData2, centre.x());
    // A control without a callback raises nothing.
    RightClick(Control(TEST_SLIDER));
    EXPECT_EQ(engineEvents.size(), 3u);
}

TEST_F(EnginePanelTest, TypedNumberCommitsOncePerEntry) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    auto *spin = qobject_cast<QSpinBox *>(Control(TEST_SPIN));
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, "123");
    EXPECT_TRUE(engineEvents.empty()); // no event per digit
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_EQ(EngineEventsOf(TEST_SPIN), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    int value = 0;
    GetCtrlVal(panel, TEST_SPIN, &value);
    EXPECT_EQ(value, 123);
    // Leaving the field after the entry was taken adds nothing.
    Control(TEST_WIDE_SPIN)->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(EngineEventsOf(TEST_SPIN).size(), 2u);
    // An arrow step is a finished entry of its own.
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(EngineEventsOf(TEST_SPIN).size(), 4u);
    GetCtrlVal(panel, TEST_SPIN, &value);
    EXPECT_EQ(value, 124);
}

TEST_F(EnginePanelTest, ButtonsRingsAndSliders) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    QTest::mouseClick(Control(TEST_BUTTON), Qt::LeftButton);
    EXPECT_EQ(EngineEventsOf(TEST_BUTTON), std::vector<int>{EVENT_COMMIT});
    QTest::mouseClick(Control(TEST_TOGGLE), Qt::LeftButton);
    EXPECT_EQ(EngineEventsOf(TEST_TOGGLE), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    int value = -1;
    GetCtrlVal(panel, TEST_TOGGLE, &value);
    EXPECT_EQ(value, 1);
    // Choosing the second ring item gives its value from the "values" list.
    Control(TEST_RING)->setFocus();
    QTest::keyClick(Control(TEST_RING), Qt::Key_Down);
    EXPECT_EQ(EngineEventsOf(TEST_RING), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    GetCtrlVal(panel, TEST_RING, &value);
    EXPECT_EQ(value, 2);
}

TEST_F(EnginePanelTest, CloseRaisesElevenAndKeepsTheWindow) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    QWidget *form = EnginePanelWidget(panel);
    EXPECT_FALSE(form->close());
    QCoreApplication::processEvents();
    ASSERT_EQ(engineEvents.size(), 1u);
    EXPECT_EQ(engineEvents[0].control, 0);
    EXPECT_EQ(engineEvents[0].event, EVENT_CLOSE);
    EXPECT_EQ(engineEvents[0].panel, panel);
    EXPECT_TRUE(form->isVisible());

    // A size the program sets is not the user's; one the window system reports is.
    SetPanelAttribute(panel, ATTR_WIDTH, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(engineEvents.size(), 1u);
    form->windowHandle()->resize(700, 500);
    EXPECT_TRUE(EngineWaitFor([] { return engineEvents.size() == 2; }));
    EXPECT_EQ(engineEvents.back().event, EVENT_PANEL_SIZE);
}

TEST_F(EnginePanelTest, ShortcutCommitsButtonWithFocusInSpinBox) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    auto *spin = qobject_cast<QSpinBox *>(Control(TEST_SPIN));
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, "42");
    int spinValueAtCommit = -1;
    onEngineControlEvent = [&](int control, int event) {
        if (control == TEST_BUTTON && event == EVENT_COMMIT)
            GetCtrlVal(panel, TEST_SPIN, &spinValueAtCommit);
    };
    QTest::keyClick(spin, Qt::Key_F11);
    EXPECT_EQ(EngineEventsOf(TEST_BUTTON), std::vector<int>{EVENT_COMMIT});
    // The typed number is taken first, so the button sees it.
    EXPECT_EQ(EngineEventsOf(TEST_SPIN), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(spinValueAtCommit, 42);
    // A dimmed button ignores its key.
    SetCtrlAttribute(panel, TEST_BUTTON, ATTR_DIMMED, 1);
    QTest::keyClick(spin, Qt::Key_F11);
    EXPECT_EQ(EngineEventsOf(TEST_BUTTON).size(), 1u);
}

TEST_F(EnginePanelTest, HeldKeysCommitTheirButtonOnce) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    auto *spin = qobject_cast<QSpinBox *>(Control(TEST_SPIN));
    spin->setFocus();
    // Held, a key repeats its press until it is let go: the shortcut and the mnemonic act once.
    for (auto [key, modifiers] :
         {std::pair{Qt::Key_F11, Qt::NoModifier}, std::pair{Qt::Key_G, Qt::AltModifier}}) {
        engineEvents.clear();
        for (int press = 0; press < 4; press++) {
            QTest::simulateEvent(spin, true, key, modifiers, QString(), press > 0);
            QTest::qWait(30);
        }
        QTest::simulateEvent(spin, false, key, modifiers, QString(), false);
        QTest::qWait(30);
        EXPECT_EQ(EngineEventsOf(TEST_BUTTON), std::vector<int>{EVENT_COMMIT}) << key;
    }
    // A held arrow key still steps the field with the focus.
    int start = spin->value();
    for (int press = 0; press < 4; press++)
        QTest::simulateEvent(spin, true, Qt::Key_Up, Qt::NoModifier, QString(), press > 0);
    QTest::simulateEvent(spin, false, Qt::Key_Up, Qt::NoModifier, QString(), false);
    EXPECT_GT(spin->value(), start + 1);
}

TEST_F(EnginePanelTest, QuitWaitsForRunningCallbacks) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    int nestedRounds = 0;
    bool popupWasOpen = false;
    onEngineControlEvent = [&](int control, int event) {
        if (control != TEST_BUTTON || event != EVENT_COMMIT)
            return;
        QuitUserInterface(3);
        // Nested work after the quit request, as the transfer loop does: it must run on.
        for (int i = 0; i < 20; i++, nestedRounds++)
            ProcessSystemEvents();
        QTimer::singleShot(50, [&] {
            auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            popupWasOpen = box != nullptr;
            if (box != nullptr)
                box->accept();
        });
        MessagePopup("INFO", "still here");
    };
    QTimer::singleShot(0, [&] { QTest::mouseClick(Control(TEST_BUTTON), Qt::LeftButton); });
    EXPECT_EQ(RunUserInterface(), 3);
    EXPECT_EQ(nestedRounds, 20);
    EXPECT_TRUE(popupWasOpen);
    // A quit asked for before the loop runs makes it return at once.
    QuitUserInterface(4);
    EXPECT_EQ(RunUserInterface(), 4);
}

// The COM-port ring's list is wide enough for its longest port, and the closed ring's tooltip
// names the whole port before its help.
TEST_F(EnginePanelTest, PortRingShowsTheWholePort) {
    ASSERT_TRUE(ShowEngineTestPanel(panel));
    qputenv("NVMX_COM7", "/dev/serial/by-id/usb-Example_Serial_Adapter_A1B2C3D4-if00-port0");
    SetCtrlVal(panel, TEST_COMPORT, 7);
    SetCtrlAttribute(panel, TEST_COMPORT, ATTR_TOOLTIP_TEXT, "Select a port.");
    auto *ring = qobject_cast<QComboBox *>(Control(TEST_COMPORT));
    const QString port = ring->currentText();
    ASSERT_TRUE(port.contains("A1B2C3D4"));
    ring->showPopup();
    EXPECT_GE(ring->view()->viewport()->width(),
              ring->view()->fontMetrics().horizontalAdvance(port));
    ring->hidePopup();
    QHelpEvent ask(QEvent::ToolTip, QPoint(5, 5), ring->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(ring, &ask);
    EXPECT_EQ(QToolTip::text(), port + "\nSelect a port.");
    QToolTip::hideText();
    qunsetenv("NVMX_COM7");
}

} // namespace
