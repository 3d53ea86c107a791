// Serial-port services over Qt SerialPort: opening and closing, settings, the queues, writes and
// reads. Ports live in one table indexed by COM number; each open port owns one QSerialPort for
// its settings and notifications, and an input queue of its own that reads fill straight from
// the descriptor.

#include "platform/serial/rs232.h"
#include "platform/serial/linesilence.h"
#include "platform/serial/rs232_state.h"
#include "platform/serial/rs232_system.h"
#include "textforms/portlabel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

namespace {

// While nothing new waits, a poll blocks up to this long for the line, so a busy loop sleeps
// instead. It is longer than a request and the first byte of its reply take at 9600 baud, so a
// request-reply turn sleeps once until the reply begins instead of timing out on the way.
constexpr int IDLE_POLL_MILLISECONDS = 5;
// A poll that blocked this long has met a silent line, not a reply on its way: it is longer than
// the gap between two bytes of a reply at 9600 baud.
constexpr qint64 SILENCE_NANOSECONDS = 2000000;
constexpr int DEFAULT_QUEUE_SIZE = 1024;

LineSilenceHook lineSilenceHook = nullptr;

// Code for a call that found no open port behind the number.
int NotOpenCode(int port) {
    return IsValidPortNumber(port) ? RS232_PORT_NOT_OPEN : RS232_INVALID_PORT_NUMBER;
}

void CloseAllPorts() {
    for (PortSlot &slot : Serial().ports)
        slot.serial.reset();
}

// The ports close with the application object, while Qt can still tear them down cleanly.
void CloseAllPortsWithApplication() {
    static bool registered = false;
    if (!registered && QCoreApplication::instance()) {
        qAddPostRoutine(CloseAllPorts);
        registered = true;
    }
}

bool ApplySettings(QSerialPort &serial, long baudRate, int parity, int dataBits, int stopBits) {
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                   QSerialPort::EvenParity};
    return serial.setBaudRate(qint32(baudRate)) && serial.setParity(parities[parity]) &&
           serial.setDataBits(QSerialPort::DataBits(dataBits)) &&
           serial.setStopBits(stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
           serial.setFlowControl(QSerialPort::NoFlowControl);
}

bool ValidSettings(long baudRate, int parity, int dataBits, int stopBits) {
    return baudRate > 0 && baudRate <= 0x7fffffffL && parity >= 0 && parity <= 2 && dataBits >= 5 &&
           dataBits <= 8 && (stopBits == 1 || stopBits == 2);
}

// Lets the port take what the operating system holds; blocks briefly only when nothing new
// waits beyond the known count, so a poll loop sleeps while a reply trickles in at line rate.
// Returns true when it blocked long enough to have met a silent line, whether or not the first
// byte of a reply then ended the block.
bool PullFromSystem(PortSlot &slot, int idleMilliseconds, qint64 knownCount = 0) {
    if (slot.input.count > knownCount || idleMilliseconds <= 0) {
        TakeInput(slot, 0);
        return false;
    }
    QElapsedTimer blocked;
    blocked.start();
    TakeInput(slot, idleMilliseconds);
    return blocked.nsecsElapsed() >= SILENCE_NANOSECONDS;
}

void TellOpenFailure(PortSlot &slot, const OpenFailureFacts &facts) {
    slot.failure = DescribeOpenFailure(facts);
    slot.busy = CauseOfOpenFailure(facts) == OpenFailureCause::Busy;
}

// Opens device on a fresh QSerialPort with the settings, into opened. Returns 0, or a negative
// code with the port's slot saying why.
int OpenDevice(PortSlot &slot, const std::string &device, long baudRate, int parity, int dataBits,
               int stopBits, std::unique_ptr<QSerialPort> &opened) {
    DeviceLook look(device);
    if (const OpenFailureFacts *refused = look.refusal()) {
        TellOpenFailure(slot, *refused);
        return RS232_CANNOT_OPEN_PORT;
    }
    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(QString::fromStdString(device));
    if (!serial->open(QIODevice::ReadWrite)) {
        TellOpenFailure(slot, FactsOf(device, *serial, look));
        return RS232_CANNOT_OPEN_PORT;
    }
    if (!LockExclusively(*serial)) {
        OpenFailureFacts facts = FactsOf(device, *serial, look);
        facts.qtError = QSerialPort::PermissionError;
        facts.qtText = "locked";
        TellOpenFailure(slot, facts);
        return RS232_CANNOT_OPEN_PORT;
    }
    if (HungUp(*serial)) {
        slot.failure = device + ": the line hangs up at once - check the cable and the adapter";
        return RS232_CANNOT_OPEN_PORT;
    }
    if (!ApplySettings(*serial, baudRate, parity, dataBits, stopBits)) {
        slot.failure = device + ": " + serial->errorString().toStdString();
        return RS232_IO_ERROR;
    }
    opened = std::move(serial);
    return 0;
}

} // namespace

void SetLineSilenceHook(LineSilenceHook hook) {
    lineSilenceHook = hook;
}

int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
    const std::lock_guard<std::recursive_mutex> tables(SerialTables());
    (void)outputQueueSize; // writes are handed to the line at once, so no output queue builds up
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    CloseCom(port);
    if (!ValidSettings(baudRate, parity, dataBits, stopBits))
        return RS232_ERROR;
    bool givenPath = (deviceName && *deviceName) || !MappedDevice(port).empty();
    std::string device = deviceName && *deviceName ? deviceName : DeviceForNumber(port);
    PortSlot &slot = Serial().ports[port];
    slot.busy = false;
    if (device.empty()) {
        slot.failure = PortLabel(port) + ": no device has this number - pick a port";
        return RS232_NO_PORT_FOUND;
    }
    std::unique_ptr<QSerialPort> serial;
    int opened = OpenDevice(slot, device, baudRate, parity, dataBits, stopBits, serial);
    if (opened != 0)
        return opened;
    const int queueSize = inputQueueSize > 0 ? inputQueueSize : DEFAULT_QUEUE_SIZE;
    // Qt buffers only what its event loop reads before the engine takes it; the engine's queue
    // holds the rest.
    serial->setReadBufferSize(queueSize);
    slot.serial = std::move(serial);
    slot.input.bytes.assign(size_t(queueSize), 0);
    slot.input.count = 0;
    slot.readFailed = false;
    slot.timeoutSeconds = DEFAULT_TIMEOUT_SECONDS;
    slot.reportedCount = 0;
    slot.identity = IdentityOf(device, givenPath);
    slot.failure.clear();
    CloseOnHangUp(port);
    CloseAllPortsWithApplication();
    return 0;
}

int CloseCom(int port) {
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    bool wasOpen = OpenSerial(port) != nullptr;
    PortSlot &slot = Serial().ports[port];
    slot.serial.reset();
    slot.lost = false;
    slot.input.count = 0;
    slot.reportedCount = 0;
    return wasOpen ? 0 : RS232_PORT_NOT_OPEN;
}

int SetComTime(int port, double timeoutSeconds) {
    if (!OpenSerial(port))
        return NotOpenCode(port);
    if (!(timeoutSeconds >= 0.0))
        return RS232_ERROR;
    Serial().ports[port].timeoutSeconds = timeoutSeconds;
    return 0;
}

int SetCTSMode(int port, int mode) {
    QSerialPort *serial = OpenSerial(port);
    if (!serial)
        return NotOpenCode(port);
    if (mode != 0 && mode != 1)
        return RS232_ERROR;
    bool done =
        serial->setFlowControl(mode ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
    return done ? 0 : RS232_IO_ERROR;
}

int FlushInQ(int port) {
    QSerialPort *serial = OpenSerial(port);
    if (!serial)
        return NotOpenCode(port);
    PortSlot &slot = Serial().ports[port];
    ClearReadBuffer(*serial);
    DiscardSystemInput(*serial);
    slot.input.count = 0;
    slot.reportedCount = 0;
    // Clearing makes a new error text; a port without an error keeps its own.
    if (serial->error() != QSerialPort::NoError)
        serial->clearError();
    return 0;
}

int FlushOutQ(int port) {
    QSerialPort *serial = OpenSerial(port);
    if (!serial)
        return NotOpenCode(port);
    // Qt's clear empties its own buffer and the system's output queue (tcflush, PurgeComm).
    serial->clear(QSerialPort::Output);
    return 0;
}

int ComWrt(int port, const unsigned char *buffer, int count) {
    QSerialPort *serial = OpenSerial(port);
    if (!serial)
        return NotOpenCode(port);
    if (!buffer || count < 0)
        return RS232_ERROR;
    if (count == 0)
        return 0;
    qint64 limit = qint64(Serial().ports[port].timeoutSeconds * 1000.0);
    int written = WriteToLine(*serial, buffer, count, limit);
    if (written < 0 || LineLost(Serial().ports[port])) {
        MarkLost(port);
        return RS232_IO_ERROR;
    }
    return written > 0 ? written : RS232_TIMEOUT;
}

int GetInQLen(int port) {
    if (!OpenSerial(port)) {
        // A reply wait on a closed port sleeps as it does on a silent open one.
        QThread::msleep(IDLE_POLL_MILLISECONDS);
        return NotOpenCode(port);
    }
    PortSlot &slot = Serial().ports[port];
    if (PullFromSystem(slot, IDLE_POLL_MILLISECONDS, slot.reportedCount) && lineSilenceHook)
        lineSilenceHook();
    slot.reportedCount = slot.input.count;
    if (slot.input.count == 0 && LineLost(slot)) {
        MarkLost(port);
        return RS232_IO_ERROR;
    }
    return int(slot.input.count);
}

int ComRd(int port, unsigned char *buffer, int count) {
    if (!OpenSerial(port))
        return NotOpenCode(port);
    if (!buffer || count < 0)
        return RS232_ERROR;
    PortSlot &slot = Serial().ports[port];
    if (slot.input.count < count)
        PullFromSystem(slot, 0);
    qint64 moved = slot.input.take(buffer, count);
    slot.reportedCount = std::max<qint64>(0, slot.reportedCount - moved);
    return int(moved);
}

int ComPortIsOpen(int port) {
    return OpenSerial(port) != nullptr ? 1 : 0;
}

int ComOpenFailure(int port, char *text, int size) {
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    return CopyText(Serial().ports[port].failure, text, size);
}

int ComPortBusy(int port) {
    return IsValidPortNumber(port) && Serial().ports[port].busy ? 1 : 0;
}
