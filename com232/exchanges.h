// The sensor's exchanges on one link, each one request and its reply recognised by its exact
// length. The reply lands in the caller's receive buffer (BUFFER_LENGTH bytes), so the panel's
// transactions and the headless commands run the same bytes, each into its own records.
#pragma once

#include "com232/link.h"

enum {
    EXCHANGE_OK = 0,
    EXCHANGE_NO_REPLY = -1,     // nothing, too little or too much came back in time
    EXCHANGE_ABORTED = -2,      // the wait saw its keep-waiting flag cleared
    EXCHANGE_WRITE_FAILED = -3, // the line did not take the whole request
};

// 0x55 0x07; EXCHANGE_OK when the single byte 0xAA came back. A one-byte reply other than
// 0xAA is in receive[0].
int ExchangeLineCheck(const SensorLink *link, unsigned char receive[BUFFER_LENGTH],
                      LinkReply *reply);
// Requests the block with command (ReadRAM or ReadEEPROM) after emptying both queues;
// EXCHANGE_OK when exactly 84 bytes came back, in receive.
int ExchangeReadBlock(const SensorLink *link, int command, unsigned char receive[BUFFER_LENGTH],
                      LinkReply *reply);
// Writes block behind command (WriteRAM or WriteEEPROM); no answer is awaited.
int ExchangeWriteBlock(const SensorLink *link, int command, const unsigned char block[BLOCK_LENGTH],
                       LinkReply *reply);
// Requests one frame after emptying both queues; EXCHANGE_OK when exactly 7 bytes came back, in
// receive. With keepWaiting given, EXCHANGE_ABORTED as soon as a poll finds it cleared.
int ExchangeFrame(const SensorLink *link, const volatile int *keepWaiting,
                  unsigned char receive[BUFFER_LENGTH], LinkReply *reply);
// The name of a block offset for people: "MAXCOL-No.", "COLOR TEACH TABLE row 3 CTO" (rows
// counted from 0, as the panel shows them).
void DescribeBlockOffset(int offset, char *text, int size);
