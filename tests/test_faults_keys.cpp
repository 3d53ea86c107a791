// Keys and close requests that follow each other closely: a select button's mnemonic and F9 a
// few milliseconds apart, and a window close right after F9 or during a wait for the sensor. In
// the engine offscreen, and in the real program in a real X window.
#include "platform/engine/engine.h"
#include "platform/engine/engine_access.h"
#include "support/engine_fixture.h"
#include "support/pty_peer.h"
#include "support/sensor_bytes.h"
#include "support/xsession.h"

#include <QApplication>
#include <QDialog>
#include <QSpinBox>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// ---- The engine, offscreen ------------------------------------------------------------------

class QuickKeys : public ::testing::Test {
  protected:
    void SetUp() override {
        StartEngineFixture();
        panel = LoadEngineTestPanel();
        ASSERT_GE(panel, 1);
        ASSERT_TRUE(ShowEngineTestPanel(panel));
        engineEvents.clear();
    }
    void TearDown() override {
        DiscardPanel(panel);
        onEngineControlEvent = nullptr;
    }

    static size_t PanelCloses() {
        return size_t(std::count_if(engineEvents.begin(), engineEvents.end(), [](auto &event) {
            return event.control == 0 && event.event == EVENT_CLOSE;
        }));
    }

    int panel = -1;
};

TEST_F(QuickKeys, MnemonicCommitsItsButtonBeforeTheNextKeyIsRead) {
    auto *spin = qobject_cast<QSpinBox *>(EngineControlWidget(panel, TEST_SPIN));
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, "42");
    int spinValueAtCommit = -1;
    onEngineControlEvent = [&](int control, int event) {
        if (control == TEST_BUTTON && event == EVENT_COMMIT)
            GetCtrlVal(panel, TEST_SPIN, &spinValueAtCommit);
    };
    // Alt+G ("&Go") has acted when the key has been handled, with no event loop run since.
    QTest::keyClick(spin, Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(EngineEventsOf(TEST_BUTTON), std::vector<int>{EVENT_COMMIT});
    // As with its function key, the typed number is taken first.
    EXPECT_EQ(spinValueAtCommit, 42);
}

TEST_F(QuickKeys, CloseThatAPopupKeptFromThePanelIsRaisedOnceThePopupHasGone) {
    QWidget *form = EnginePanelWidget(panel);
    WId window = form->windowHandle()->winId();
    QDialog popup;
    popup.setModal(true);

    // A request that reached the panel is not raised again after a later pop-up.
    EngineNoteCloseRequest(window);
    form->close();
    EXPECT_EQ(PanelCloses(), 1u);
    popup.show();
    popup.hide();
    QCoreApplication::processEvents();
    EXPECT_EQ(PanelCloses(), 1u);

    // Still in Qt's queue when a pop-up blocks the panel (the key before it opened the pop-up):
    // Qt drops it there; it waits for the pop-up, then comes once.
    EngineNoteCloseRequest(window);
    popup.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(PanelCloses(), 1u);
    popup.hide();
    EXPECT_TRUE(EngineWaitFor([] { return PanelCloses() == 2u; }));

    // Sent while the pop-up is open.
    popup.show();
    EngineNoteCloseRequest(window);
    EngineNoteCloseRequest(window);
    QCoreApplication::processEvents();
    EXPECT_EQ(PanelCloses(), 2u);
    popup.hide();
    EXPECT_TRUE(EngineWaitFor([] { return PanelCloses() == 3u; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(PanelCloses(), 3u);
}

// ---- The real program in a real X window ----------------------------------------------------

const char saveDialogTitle[] = "init";
const char timeoutPopupTitle[] = "INFO";
const double timeout = 20.0;
const Bytes sensorBlock = SensorBlock({55, 0, 0, 1, 0, 10, 0, 3, 2});

Bytes WriteRequest(unsigned char command) {
    Bytes request(2 + sensorBlock.size());
    request[0] = 0x55;
    request[1] = command;
    std::copy(sensorBlock.begin(), sensorBlock.end(), request.begin() + 2);
    return request;
}

class KeysInWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x.start());
        ASSERT_TRUE(StartProgramOnSensor(x, peer, program, sensorBlock, timeout, &panel));
    }

    void TearDown() override {
        if (panel != 0 && program.running()) {
            EXPECT_TRUE(x.closeWindow(panel));
            EXPECT_EQ(program.wait(timeout), 0);
        }
    }

    // Types the keys and returns the request the sensor sees next.
    Bytes requestAfter(const std::vector<std::string> &keys, int delayMs) {
        size_t before = peer.requests().size();
        EXPECT_TRUE(x.typeKeys(panel, keys, delayMs));
        EXPECT_TRUE(peer.waitForRequests(before + 1, timeout));
        std::vector<PeerRequest> requests = peer.requests();
        return requests.size() > before ? requests[before].bytes : Bytes{};
    }

    // Closes the window that opens under title, as its close button does; false when none opens.
    bool closeWhenOpen(const char *title) {
        unsigned long window = x.waitForWindow(title, timeout);
        return window != 0 && x.closeWindow(window);
    }

    XSession x;
    PtyPeer peer;
    ChildProcess program;
    unsigned long panel = 0;
};

TEST_F(KeysInWindow, SelectKeyActsBeforeTheF9ThatFollowsIt) {
    for (int delay : {0, 10, 50}) {
        EXPECT_EQ(requestAfter({"alt+e", "F9"}, delay), WriteRequest(0x02)) << delay << " ms";
        EXPECT_EQ(requestAfter({"alt+r", "F9"}, delay), WriteRequest(0x01)) << delay << " ms";
    }
    // FILE: the save dialog, and nothing on the line; the next request is the RAM write after it.
    size_t before = peer.requests().size();
    ASSERT_TRUE(x.typeKeys(panel, {"alt+f", "F9"}, 0));
    ASSERT_TRUE(closeWhenOpen(saveDialogTitle)) << "F9 right after Alt+F opened no save dialog";
    EXPECT_EQ(requestAfter({"alt+r", "F9"}, 0), WriteRequest(0x01));
    EXPECT_EQ(peer.requests().size(), before + 1);
}

TEST_F(KeysInWindow, CloseRightAfterF9EndsTheProgramAfterTheWrite) {
    size_t before = peer.requests().size();
    ASSERT_TRUE(x.typeKeys(panel, {"F9"}, 0));
    ASSERT_TRUE(x.closeWindow(panel));
    EXPECT_EQ(program.wait(timeout), 0);
    ASSERT_TRUE(peer.waitForRequests(before + 1, timeout));
    EXPECT_EQ(peer.requests()[before].bytes, WriteRequest(0x01));
}

TEST_F(KeysInWindow, CloseRightAfterF9IsKeptWhileItsSaveDialogIsOpen) {
    size_t before = peer.requests().size();
    ASSERT_TRUE(x.typeKeys(panel, {"alt+f", "F9"}, 0));
    ASSERT_TRUE(x.closeWindow(panel));
    ASSERT_TRUE(closeWhenOpen(saveDialogTitle));
    EXPECT_EQ(program.wait(timeout), 0) << "the close sent before the dialog was lost";
    EXPECT_EQ(peer.requests().size(), before);
}

TEST_F(KeysInWindow, CloseDuringAWaitForTheSensorIsKeptThroughItsTimeoutReport) {
    peer.setScript(SilentPeer());
    ASSERT_TRUE(x.typeKeys(panel, {"F10"}, 0));
    ASSERT_TRUE(x.closeWindow(panel));
    ASSERT_TRUE(closeWhenOpen(timeoutPopupTitle));
    EXPECT_EQ(program.wait(timeout), 0) << "the close sent during the wait was lost";
}

} // namespace
