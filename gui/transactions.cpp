// The three transactions with the sensor.
#include "gui/transactions.h"

#include "changes/changelog.h"
#include "com232/exchanges.h"
#include "gui/layout.h"
#include "gui/linepanel.h"
#include "gui/livedisplay.h"
#include "gui/parameters.h"
#include "gui/recording.h"
#include "gui/records.h"
#include "gui/teachsamples.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"
#include "telemetry/telemetry.h"

// 1 while the transfer loop of RunDataTransfer is on the stack.
static int transferLoopRunning = 0;

void SendParameters(void) {
    acquisitionActive = 0;
    ReadPanelParameters();
    PackParameters();
    const SensorLink link = PanelLink();
    LinkReply reply;
    const ChangeEntry entry =
        LogPanelSendAhead(link.port, ParameterTarget, ParameterBlock, parameterSetFile);
    const bool written = ExchangeWriteBlock(&link, WriteCommandFor(ParameterTarget), ParameterBlock,
                                            &reply) == EXCHANGE_OK;
    LogPanelSendOutcome(entry, written);
    if (!written)
        ReportTimeout();
    else
        PublishParameters(ParameterBlock, MemoryName(ParameterTarget));
}

void GetParameters(void) {
    acquisitionActive = 0;
    // FILE has no read command of its own; the line check after a port change reaches this
    // with FILE selected, and the sensor's working parameters are the RAM ones.
    const SensorLink link = PanelLink();
    LinkReply reply;
    if (ExchangeReadBlock(&link, ReadCommandFor(ParameterTarget), receiveBuffer, &reply) ==
        EXCHANGE_OK) {
        TakeParameters();
        PublishParameters(ParameterBlock, MemoryName(ParameterTarget));
        parameterSetFile[0] = '\0';
        UnpackParameters();
        ShowParameters();
        ApplyEvalMode();
    } else {
        ReportTimeout();
    }
}

int ReceiveFrame(void) {
    const SensorLink link = PanelLink();
    LinkReply reply;
    int result = ExchangeFrame(&link, &acquisitionActive, receiveBuffer, &reply);
    if (result == EXCHANGE_ABORTED)
        return FRAME_ABORTED;
    if (result != EXCHANGE_OK)
        return FRAME_MISSING;
    TakeData();
    StoreData();
    RecordMeasurement(currentMeasurement);
    CollectTeachFrame(currentMeasurement);
    PublishFrame(currentMeasurement);
    DisplayMeasurement(currentMeasurement);
    UpdateGraph(currentMeasurement);
    return FRAME_SHOWN;
}

// One frame, then the event step. Returns 0 when the wait saw the flag cleared: the transfer
// then ends at once, without reading and without the event step.
static int RunTransferCycle(void) {
    int result = ReceiveFrame();
    if (result == FRAME_ABORTED)
        return 0;
    if (result == FRAME_MISSING) {
        ReportTimeout();
        acquisitionActive = 0;
    }
    ProcessSystemEvents();
    return 1;
}

void RunDataTransfer(void) {
    acquisitionActive = 1;
    // Go pressed again (or F11 held) runs this from the event step of the running loop. A
    // second loop on top would nest once per key repeat until the stack runs out; the running
    // loop already does the work, so the flag set above is all a second Go needs.
    if (transferLoopRunning)
        return;
    transferLoopRunning = 1;
    while (acquisitionActive == 1)
        if (!RunTransferCycle())
            break;
    transferLoopRunning = 0;
}

int DataTransferRunning(void) {
    return transferLoopRunning;
}
