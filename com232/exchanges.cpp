// The sensor's exchanges over the link's request and reply wait.
#include "com232/exchanges.h"

#include "com232/link.h"
#include "com232/records.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"

#include <cstdio>

// Bytes that the last exchange read; the headless commands say how a reply fell short.
static int replyLength = 0;

// Reads the reply that the last poll announced and keeps its length.
static int TakeReply(int waiting) {
    replyLength = ReadReply(waiting);
    return replyLength;
}

int ExchangeLineCheck(void) {
    sensorCommand = LineCheck;
    int read = TakeReply(SendRequest(0, 1, 0));
    return read == 1 && receiveBuffer[0] == LineOkReply ? EXCHANGE_OK : EXCHANGE_NO_REPLY;
}

int ExchangeReadBlock(unsigned char command) {
    sensorCommand = command;
    if (TakeReply(SendRequest(1, BLOCK_LENGTH, 0)) != BLOCK_LENGTH)
        return EXCHANGE_NO_REPLY;
    TakeParameters();
    return EXCHANGE_OK;
}

// The queues are not emptied before a write: nothing is awaited that a stale byte could spoil.
int ExchangeWriteBlock(unsigned char command) {
    sensorCommand = command;
    BuildRequest(command);
    const int requestLength = HEADER_LENGTH + BLOCK_LENGTH;
    replyLength = 0;
    return ComWrt(portNumber, transmitBuffer, requestLength) == requestLength
               ? EXCHANGE_OK
               : EXCHANGE_WRITE_FAILED;
}

int ExchangeFrame(int watchAcquisition) {
    sensorCommand = ReadData;
    int waiting = SendRequest(1, FRAME_LENGTH, watchAcquisition);
    if (waiting == WAIT_ABORTED) {
        replyLength = 0;
        return EXCHANGE_ABORTED;
    }
    if (TakeReply(waiting) != FRAME_LENGTH)
        return EXCHANGE_NO_REPLY;
    TakeData();
    StoreData();
    return EXCHANGE_OK;
}

int ExchangeReplyLength(void) {
    return replyLength;
}

void DescribeBlockOffset(int offset, char *text, int size) {
    if (offset >= 0 && offset < OFFSET_TABLE) {
        std::snprintf(text, (size_t)size, "%s", PARAMETER_NAMES[offset]);
        return;
    }
    const int cell = offset - OFFSET_TABLE;
    std::snprintf(text, (size_t)size, "COLOR TEACH TABLE row %d %s", cell / TEACH_COLUMNS,
                  TEACH_COLUMN_NAMES[cell % TEACH_COLUMNS]);
}
