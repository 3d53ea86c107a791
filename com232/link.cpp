// The serial line to the sensor: open and configure the port, prove the sensor with a line
// check, and the reply wait that the line check and the transactions share.

#include "com232/link.h"

#include "com232/exchanges.h"
#include "com232/records.h"
#include "platform/engine/userint.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"
#include "telemetry/telemetry.h"

#include <cstdio>

static const char timeoutMessage[] = " ATTENTION! \n \n TIMEOUT \n NO SERIAL CONNECTION TO SENSOR";

enum { PORT_NOTE_LEN = 512 };

// Copies an open failure text into statusText and shows it there, with the engine's reason and
// remedy beside it.
static void ShowOpenFailure(int port, int code) {
    std::snprintf(statusText, STATUS_TEXT_LEN, "%s", OpenErrorText(code));
    ShowStatus(statusText);
    PublishStatus(statusText);
    char note[PORT_NOTE_LEN] = "";
    ComOpenFailure(port, note, sizeof note);
    ShowPortNote(note);
}

// The settings the sensor expects; the port stays closed when the open fails. The port opened
// becomes portNumber, so that the line check, the transactions and the close at shutdown all
// work on the port that was opened: the number has one carrier.
void OpenPort(int port) {
    acquisitionActive = 0;
    portNumber = port;
    int code = OpenSensorPort(port);
    if (code < 0) {
        ShowOpenFailure(port, code);
        return;
    }
    ShowPortNote("");
    CheckLine();
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

// A present sensor answers 0x55 0x07 with the single byte 0xAA.
void CheckLine(void) {
    if (ExchangeLineCheck() == EXCHANGE_OK) {
        ShowStatus("LINE OK");
        PublishStatus("LINE OK");
        if (afterLineOk)
            afterLineOk();
    } else {
        ReportTimeout();
    }
}

void ReportTimeout(void) {
    ShowStatus("TIMEOUT");
    PublishStatus("TIMEOUT");
    MessagePopup("INFO", timeoutMessage);
}

void ShowStatus(const char *text) {
    SetCtrlVal(MainPanel, PANEL_STATUS, text);
}

void ShowPortNote(const char *text) {
    SetCtrlVal(MainPanel, PANEL_PORTNOTE, text);
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
