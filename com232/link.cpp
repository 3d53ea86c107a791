// The serial line to the sensor: open and configure the port, and the request and reply wait
// that every exchange shares. Nothing here writes to the panel.

#include "com232/link.h"

#include "com232/records.h"
#include "platform/engine/userint.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"


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

int SendRequest(int flushFirst, int expectedLength, int watchAcquisition) {
    if (flushFirst) {
        FlushInQ(portNumber);
        FlushOutQ(portNumber);
    }
    BuildRequest(sensorCommand);
    ComWrt(portNumber, transmitBuffer, HEADER_LENGTH);
    return WaitForReply(expectedLength, watchAcquisition);
}

// Busy poll without sleeping of its own; the engine's poll blocks up to five milliseconds while
// the line is silent. The elapsed time is tested before the count, so a wait never ends early
// on the count alone once the time is up, and never outlasts it.
int WaitForReply(int expectedLength, int watchAcquisition) {
    waitStart = Timer();
    for (;;) {
        int count = GetInQLen(portNumber);
        if (watchAcquisition && acquisitionActive == 0)
            return WAIT_ABORTED;
        waitElapsed = Timer() - waitStart;
        if (waitElapsed > REPLY_TIMEOUT)
            return count;
        if (count >= expectedLength)
            return count;
    }
}

// The engine may report more bytes than the receive buffer holds; only the buffer's worth is
// read, and such a reply still fails on its length.
int ReadReply(int reportedCount) {
    if (reportedCount <= 0)
        return 0;
    int count = reportedCount < BUFFER_LENGTH ? reportedCount : BUFFER_LENGTH;
    return ComRd(portNumber, receiveBuffer, count);
}
