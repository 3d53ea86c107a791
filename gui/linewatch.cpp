#include "gui/linewatch.h"

#include "gui/linepanel.h"
#include "platform/serial/rs232.h"
#include "platform/widgets/portrings.h"
#include "state/globals.h"

#include <cstdio>

enum { NOTE_LEN = 512 };

// The COM number whose device went away, 0 while none is awaited.
static int lostPort = 0;

// Stops a running transfer, and says what happened: the port itself is already closed.
static void ShowLineLost(void) {
    acquisitionActive = 0;
    lostPort = portNumber;
    ShowStatus("LINE LOST");
    SensorSession *session = PanelSession();
    char note[NOTE_LEN];
    std::snprintf(note, sizeof note,
                  "%s %s: the device went away - the line reopens by itself when it is back",
                  session->label, session->device);
    ReportSessionLost(session, "the device went away");
    ShowPortNote(note);
}

// The same steps as a port change by the user. A device that is back but cannot be opened yet
// (its access rights are still being set up) is tried again at the next tick.
static void Reconnect(void) {
    RefreshComPortRings();
    ShowStatus("Init COM-Port ...");
    OpenPort(portNumber);
    if (ComPortIsOpen(portNumber))
        lostPort = 0;
}

void WatchLine(void) {
    if (lostPort != 0 && lostPort != portNumber)
        lostPort = 0;
    if (lostPort == 0 && ComLineLost(portNumber))
        ShowLineLost();
    // Asking the system for its ports takes a moment; a running transfer is not held up.
    if (acquisitionActive == 0 && ComPortListChanged())
        RefreshComPortRings();
    if (lostPort != 0 && ComPortReturned(lostPort))
        Reconnect();
}

void EndLineWatch(void) {
    lostPort = 0;
}

int LineWatchWaiting(void) {
    return lostPort != 0;
}
