// The sensor's exchanges over the link's request and reply wait.
#include "com232/exchanges.h"

#include <cstdio>

// Sends command's request, waits for expectedLength bytes and reads what came; the outcome is
// EXCHANGE_OK only for exactly expectedLength bytes.
static int Transact(const SensorLink *link, int command, int flushFirst, int expectedLength,
                    const volatile int *keepWaiting, unsigned char receive[BUFFER_LENGTH],
                    LinkReply *reply) {
    unsigned char request[HEADER_LENGTH + BLOCK_LENGTH];
    const int length = BuildRequest(link, command, nullptr, request);
    // The count written is not examined: a request the line did not take ends as no reply.
    SendRequest(link, request, length, flushFirst);
    const int waiting = WaitForReply(link, expectedLength, keepWaiting);
    if (waiting == WAIT_ABORTED) {
        *reply = LinkReply{EXCHANGE_ABORTED, 0};
        return EXCHANGE_ABORTED;
    }
    const int read = ReadReply(link, waiting, receive);
    *reply = LinkReply{read == expectedLength ? EXCHANGE_OK : EXCHANGE_NO_REPLY, read};
    return reply->outcome;
}

// The line check alone leaves the queues as they are: the reply it waits for is one byte.
int ExchangeLineCheck(const SensorLink *link, unsigned char receive[BUFFER_LENGTH],
                      LinkReply *reply) {
    if (Transact(link, LineCheck, 0, 1, nullptr, receive, reply) == EXCHANGE_OK &&
        receive[0] != LineOkReply)
        reply->outcome = EXCHANGE_NO_REPLY;
    return reply->outcome;
}

int ExchangeReadBlock(const SensorLink *link, int command, unsigned char receive[BUFFER_LENGTH],
                      LinkReply *reply) {
    return Transact(link, command, 1, BLOCK_LENGTH, nullptr, receive, reply);
}

// The queues are not emptied before a write: nothing is awaited that a stale byte could spoil.
int ExchangeWriteBlock(const SensorLink *link, int command, const unsigned char block[BLOCK_LENGTH],
                       LinkReply *reply) {
    unsigned char request[HEADER_LENGTH + BLOCK_LENGTH];
    const int length = BuildRequest(link, command, block, request);
    const bool whole = SendRequest(link, request, length, 0) == length;
    *reply = LinkReply{whole ? EXCHANGE_OK : EXCHANGE_WRITE_FAILED, 0};
    return reply->outcome;
}

int ExchangeFrame(const SensorLink *link, const volatile int *keepWaiting,
                  unsigned char receive[BUFFER_LENGTH], LinkReply *reply) {
    return Transact(link, ReadData, 1, FRAME_LENGTH, keepWaiting, receive, reply);
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
