#include "support/engine_fixture.h"

#include "platform/engine/engine_access.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

std::vector<EngineEvent> engineEvents;
std::function<void(int control, int event)> onEngineControlEvent;

static int TestPanelCallback(int panel, int event, void *, int eventData1, int eventData2) {
    engineEvents.push_back({panel, 0, event, eventData1, eventData2});
    return 0;
}

static int TestControlCallback(int panel, int control, int event, void *, int eventData1,
                               int eventData2) {
    engineEvents.push_back({panel, control, event, eventData1, eventData2});
    if (onEngineControlEvent)
        onEngineControlEvent(control, event);
    return 0;
}

const CallbackName engineTestCallbacks[2] = {
    {"TestPanelCallback", nullptr, TestPanelCallback},
    {"TestControlCallback", TestControlCallback, nullptr},
};

const ControlName engineTestControls[TEST_CONTROL_COUNT] = {
    {TEST_BUTTON, "TEST_BUTTON"},   {TEST_TOGGLE, "TEST_TOGGLE"},
    {TEST_SPIN, "TEST_SPIN"},       {TEST_WIDE_SPIN, "TEST_WIDE_SPIN"},
    {TEST_RING, "TEST_RING"},       {TEST_RADIO_A, "TEST_RADIO_A"},
    {TEST_RADIO_B, "TEST_RADIO_B"}, {TEST_DISPLAY, "TEST_DISPLAY"},
    {TEST_SLIDER, "TEST_SLIDER"},   {TEST_BAR, "TEST_BAR"},
    {TEST_FRAME, "TEST_FRAME"},     {TEST_INNER_LABEL, "TEST_INNER_LABEL"},
    {TEST_TABLE, "TEST_TABLE"},     {TEST_GRAPH, "TEST_GRAPH"},
    {TEST_CHART, "TEST_CHART"},     {TEST_COMPORT, "TEST_COMPORT"},
};

void StartEngineFixture() {
    static int argc = 1;
    static char name[] = "engine-test";
    static char *argv[] = {name, nullptr};
    if (InitEngine(argc, argv) < 0)
        std::abort();
    SetCallbackTable(engineTestCallbacks, 2);
    SetControlTable(engineTestControls, TEST_CONTROL_COUNT);
    engineEvents.clear();
    onEngineControlEvent = nullptr;
}

std::string EngineTestDataPath(const char *name) {
    const char *source = std::getenv("NVMX_SOURCE_DIR");
    return std::string(source == nullptr ? "." : source) + "/tests/data/" + name;
}

int LoadEngineTestPanel() {
    return LoadPanel(0, EngineTestDataPath("engine_panel.ui").c_str(), 1);
}

bool ShowEngineTestPanel(int panel) {
    DisplayPanel(panel);
    QWidget *form = EnginePanelWidget(panel);
    if (form == nullptr || !QTest::qWaitForWindowExposed(form))
        return false;
    QApplication::setActiveWindow(form);
    return QTest::qWaitForWindowActive(form);
}

std::vector<int> EngineEventsOf(int control) {
    std::vector<int> events;
    for (const EngineEvent &event : engineEvents)
        if (event.control == control)
            events.push_back(event.event);
    return events;
}

bool EnginePopupOpen() {
    if (QApplication::activePopupWidget() != nullptr)
        return true;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu *>(widget) != nullptr && widget->isVisible())
            return true;
    return false;
}

bool EngineWaitFor(const std::function<bool()> &done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void EnginePanelTest::SetUp() {
    StartEngineFixture();
    panel = LoadEngineTestPanel();
    ASSERT_GE(panel, 1);
}

void EnginePanelTest::TearDown() {
    DiscardPanel(panel);
    onEngineControlEvent = nullptr;
}

QWidget *EnginePanelTest::Control(int id) {
    return EngineControlWidget(panel, id);
}

void EnginePanelTest::RightClick(QWidget *w) {
    QWidget *form = EnginePanelWidget(panel);
    QPoint at = w->mapTo(form, w->rect().center());
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [this] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            menusOpened++;
            popup->close();
        }
    });
    closer.start(500);
    QTest::mouseClick(form->windowHandle(), Qt::RightButton, Qt::NoModifier, at);
    QCoreApplication::processEvents();
    if (EnginePopupOpen()) {
        menusOpened++;
        QApplication::activePopupWidget()->close();
    }
}
