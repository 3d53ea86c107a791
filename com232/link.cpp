// The serial line to one sensor: open and configure the port, and the request and reply wait
// that every exchange shares.
#include "com232/link.h"

#include "platform/serial/rs232.h"

#include <algorithm>
#include <chrono>
#include <thread>

double MonotonicSeconds(void) {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

SensorLink MakeSensorLink(int port, double (*clock)(void)) {
    return SensorLink{port, REPLY_TIMEOUT, clock ? clock : MonotonicSeconds, SYNC_BYTE, 0.0, false};
}

int OpenSensorPort(int port) {
    int code = OpenComConfig(port, "", 9600, 0, 8, 1, 1024, 1024);
    if (code < 0)
        return code;
    SetComTime(port, REPLY_TIMEOUT);
    FlushInQ(port);
    FlushOutQ(port);
    SetCTSMode(port, 0);
    return 0;
}

const char *OpenErrorText(int code) {
    switch (code) {
    case RS232_UNKNOWN_SYSTEM_ERROR:
        return "Unknown system error";
    case RS232_INVALID_PORT_NUMBER:
        return "Invalid port number";
    case RS232_PORT_NOT_OPEN:
        return "Port is not open";
    case RS232_IO_ERROR:
        return "Unknown I/0 error";
    case RS232_NO_PORT_FOUND:
        return "No serial port found";
    case RS232_CANNOT_OPEN_PORT:
        return "Cannot open port";
    case RS232_TIMEOUT:
        return "Timeout";
    default:
        return "RS-232 error!";
    }
}

int BuildRequest(const SensorLink *link, int command, const unsigned char *block,
                 unsigned char request[HEADER_LENGTH + BLOCK_LENGTH]) {
    request[0] = link->syncByte;
    request[1] = static_cast<unsigned char>(command);
    if (command != WriteRAM && command != WriteEEPROM)
        return HEADER_LENGTH;
    for (int i = 0; i < BLOCK_LENGTH; i++)
        request[HEADER_LENGTH + i] = block[i];
    return HEADER_LENGTH + BLOCK_LENGTH;
}

int SendRequest(const SensorLink *link, const unsigned char *request, int length, int flushFirst) {
    if (flushFirst) {
        FlushInQ(link->port);
        FlushOutQ(link->port);
    }
    return ComWrt(link->port, request, length);
}

// Sleeps for seconds, never past the time-out of a wait that began elapsed seconds ago.
static void SleepWithin(const SensorLink *link, double seconds, double elapsed) {
    const double rest = std::min(seconds, link->replyTimeout - elapsed);
    if (rest > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(rest));
}

// A poll loop; the port's poll blocks up to five milliseconds while the line is silent. The
// elapsed time is tested before the count, so a wait never ends early on the count alone once
// the time is up, and never outlasts it. With byteSeconds set, the wait first sleeps for as
// long as the reply's bytes take on the line at the least, and once part of it is there, for as
// long as all but its last byte take: the poll then takes the last byte as it arrives, so the
// reply is not late, and a reply costs about two wake-ups instead of one a byte.
int WaitForReply(const SensorLink *link, int expectedLength, const volatile int *keepWaiting) {
    const double start = link->clock();
    if (link->byteSeconds > 0)
        SleepWithin(link, expectedLength * link->byteSeconds, 0.0);
    for (;;) {
        int count = GetInQLen(link->port);
        if (keepWaiting && *keepWaiting == 0)
            return WAIT_ABORTED;
        // A device that went away answers nothing more: a link that says so ends its wait.
        if (count < 0 && link->endOnLoss && ComLineLost(link->port))
            return count;
        const double elapsed = link->clock() - start;
        if (elapsed > link->replyTimeout)
            return count;
        if (count >= expectedLength)
            return count;
        if (count > 0 && link->byteSeconds > 0)
            SleepWithin(link, (expectedLength - count - 1) * link->byteSeconds, elapsed);
    }
}

// The port may report more bytes than the buffer holds; only the buffer's worth is read, and
// such a reply still fails on its length.
int ReadReply(const SensorLink *link, int reportedCount, unsigned char receive[BUFFER_LENGTH]) {
    if (reportedCount <= 0)
        return 0;
    int count = reportedCount < BUFFER_LENGTH ? reportedCount : BUFFER_LENGTH;
    return ComRd(link->port, receive, count);
}
