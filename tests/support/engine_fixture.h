// Shared set-up of the engine tests: the engine started once, the test panel's callback and
// control tables, and a record of every event the test callbacks receive.
#pragma once

#include "platform/engine/userint.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

class QWidget;

// Control ids of tests/data/engine_panel.ui.
enum {
    TEST_BUTTON = 1,
    TEST_TOGGLE,
    TEST_SPIN,
    TEST_WIDE_SPIN,
    TEST_RING,
    TEST_RADIO_A,
    TEST_RADIO_B,
    TEST_DISPLAY,
    TEST_SLIDER,
    TEST_BAR,
    TEST_FRAME,
    TEST_INNER_LABEL,
    TEST_TABLE,
    TEST_GRAPH,
    TEST_CHART,
    TEST_COMPORT,
    TEST_CONTROL_COUNT = TEST_COMPORT
};

struct EngineEvent {
    int panel;
    int control; // 0 for a panel event
    int event;
    int eventData1;
    int eventData2;
    bool operator==(const EngineEvent &other) const = default;
};

extern std::vector<EngineEvent> engineEvents;
// Runs inside the control callback after the event was recorded, when set.
extern std::function<void(int control, int event)> onEngineControlEvent;

extern const CallbackName engineTestCallbacks[2];
extern const ControlName engineTestControls[TEST_CONTROL_COUNT];

// Starts the engine (once per test program) and installs the test tables.
void StartEngineFixture();
// tests/data/<name> in the source tree.
std::string EngineTestDataPath(const char *name);
// Loads tests/data/engine_panel.ui; fails the calling test when it does not load.
int LoadEngineTestPanel();
// Shows the panel and waits until it is exposed and active.
bool ShowEngineTestPanel(int panel);
// Events of one kind for one control, in order.
std::vector<int> EngineEventsOf(int control);
// True while any context menu or other pop-up is open.
bool EnginePopupOpen();
// Polls the event loop until done() or the time runs out.
bool EngineWaitFor(const std::function<bool()> &done, int milliseconds = 5000);

// The fixture of the test panel's tests: the engine, a freshly loaded test panel, discarded
// after the test with the control callback's hook.
class EnginePanelTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    QWidget *Control(int id);

    // A right click as the window system delivers it: through the window, at the centre of w.
    // A menu that opens anyway is closed again after a while and counted.
    void RightClick(QWidget *w);

    int panel = -1;
    int menusOpened = 0;
};
