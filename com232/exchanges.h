// The sensor's exchanges, each one request and its reply recognised by its exact length, free
// of the panel: the panel's transactions and the headless commands run the same bytes.
#pragma once

enum {
    EXCHANGE_OK = 0,
    EXCHANGE_NO_REPLY = -1,     // nothing, too little or too much came back in time
    EXCHANGE_ABORTED = -2,      // the wait saw acquisitionActive cleared
    EXCHANGE_WRITE_FAILED = -3, // the line did not take the whole request
};

// 0x55 0x07 on portNumber; EXCHANGE_OK when the single byte 0xAA came back.
int ExchangeLineCheck(void);
// Requests the block with command (ReadRAM or ReadEEPROM) after emptying both queues; on
// exactly 84 bytes it becomes the ParameterBlock, otherwise the block keeps its bytes.
int ExchangeReadBlock(unsigned char command);
// Writes the ParameterBlock behind command (WriteRAM or WriteEEPROM); no answer is awaited.
int ExchangeWriteBlock(unsigned char command);
// Requests one frame after emptying both queues; on exactly 7 bytes it becomes the
// MeasurementFrame and currentMeasurement. With watchAcquisition set, EXCHANGE_ABORTED as soon as
// a poll finds acquisitionActive cleared.
int ExchangeFrame(int watchAcquisition);
// Bytes that the last exchange read (0 after a write or an aborted wait).
int ExchangeReplyLength(void);
// The name of a block offset for people: "MAXCOL-No.", "COLOR TEACH TABLE row 3 CTO" (rows
// counted from 0, as the panel shows them).
void DescribeBlockOffset(int offset, char *text, int size);
