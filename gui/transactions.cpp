// The three transactions with the sensor.
#include "gui/transactions.h"

#include "gui/layout.h"
#include "gui/linepanel.h"
#include "gui/livedisplay.h"
#include "gui/parameters.h"
#include "gui/recording.h"
#include "gui/records.h"
#include "gui/teachsamples.h"
#include "state/globals.h"

#include <cstdio>

// 1 while the transfer loop of RunDataTransfer is on the stack.
static int transferLoopRunning = 0;

// The panel's Send is logged as the panel's own set, or as the file it was loaded from.
static SessionWrite PanelWrite(void) {
    SessionWrite write;
    write.source = parameterSetFile[0] ? parameterSetFile : "panel";
    return write;
}

void SendParameters(void) {
    acquisitionActive = 0;
    ReadPanelParameters();
    PackParameters();
    unsigned char unread[BLOCK_LENGTH]; // no verify: nothing is read back
    std::string logTrouble;
    const int outcome = WriteSessionMemory(PanelSession(), SensorMemoryOf(ParameterTarget),
                                           ParameterBlock, PanelWrite(), unread, &logTrouble);
    if (!logTrouble.empty())
        std::fprintf(stderr, "nvmxv451: %s\n", logTrouble.c_str());
    if (outcome == WRITE_FAILED)
        ReportTimeout();
}

void GetParameters(void) {
    acquisitionActive = 0;
    // FILE has no read command of its own; the line check after a port change reaches this
    // with FILE selected, and the sensor's working parameters are the RAM ones.
    if (ReadSessionMemory(PanelSession(), SensorMemoryOf(ParameterTarget), receiveBuffer) ==
        SESSION_OK) {
        TakeParameters();
        parameterSetFile[0] = '\0';
        UnpackParameters();
        ShowParameters();
        ApplyEvalMode();
    } else {
        ReportTimeout();
    }
}

// A frame in the receive buffer stored, recorded, taught from and shown.
static void ShowFrame(void) {
    TakeData();
    StoreData();
    RecordMeasurement(currentMeasurement);
    CollectTeachFrame(currentMeasurement);
    DisplayMeasurement(currentMeasurement);
    UpdateGraph(currentMeasurement);
}

int ReceiveFrame(void) {
    const int outcome = ReceiveSessionFrame(PanelSession(), &acquisitionActive, receiveBuffer);
    if (outcome == SESSION_ABORTED)
        return FRAME_ABORTED;
    if (outcome != SESSION_OK)
        return FRAME_MISSING;
    ShowFrame();
    return FRAME_SHOWN;
}

// The event step after each frame; a missing frame gives the time-out report and ends the
// transfer. A wait that saw the flag cleared ends it at once, without reading and without the
// event step (RunFrameLoop).
static bool RunTransferCycle(int, const unsigned char *frame, void *) {
    if (frame != nullptr) {
        ShowFrame();
    } else {
        ReportTimeout();
        acquisitionActive = 0;
    }
    ProcessSystemEvents();
    return true;
}

void RunDataTransfer(void) {
    acquisitionActive = 1;
    // Go pressed again (or F11 held) runs this from the event step of the running loop. A
    // second loop on top would nest once per key repeat until the stack runs out; the running
    // loop already does the work, so the flag set above is all a second Go needs.
    if (transferLoopRunning)
        return;
    transferLoopRunning = 1;
    RunFrameLoop(PanelSession(), &acquisitionActive, receiveBuffer, RunTransferCycle, nullptr);
    transferLoopRunning = 0;
}

int DataTransferRunning(void) {
    return transferLoopRunning;
}
