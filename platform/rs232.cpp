// Serial-port services over Qt SerialPort. Ports live in a fixed table indexed by COM number;
// each open port owns one QSerialPort whose read buffer is the engine's input queue.

#include "platform/rs232.h"

#include "platform/engine.h"
#include "platform/engineredraw.h"
#include "platform/rs232_ports.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifndef _WIN32
#include <termios.h>
#endif

namespace {

// While nothing new waits, a poll blocks up to this long for the line, so a busy loop sleeps
// instead. It is longer than a request and the first byte of its reply take at 9600 baud, so a
// request-reply turn sleeps once until the reply begins instead of timing out on the way.
constexpr int IDLE_POLL_MILLISECONDS = 5;
// A poll that blocked this long has met a silent line, not a reply on its way: it is longer than
// the gap between two bytes of a reply at 9600 baud.
constexpr qint64 SILENCE_NANOSECONDS = 2000000;
constexpr int DEFAULT_QUEUE_SIZE = 1024;
// Time-out of a freshly opened port, until SetComTime sets another.
constexpr double DEFAULT_TIMEOUT_SECONDS = 5.0;

struct PortSlot {
    std::unique_ptr<QSerialPort> serial;
    double timeoutSeconds = DEFAULT_TIMEOUT_SECONDS;
};

PortSlot portTable[COM_MAX_PORT + 1];
// The list that ComPortCount took last; ComPortNumber answers from it.
std::vector<NumberedPort> lastInventory;

bool IsValidPortNumber(int port) {
    return port >= 1 && port <= COM_MAX_PORT;
}

// The open port of a COM number, or null.
QSerialPort *OpenSerial(int port) {
    if (!IsValidPortNumber(port))
        return nullptr;
    QSerialPort *serial = portTable[port].serial.get();
    return serial && serial->isOpen() ? serial : nullptr;
}

// Code for a call that found no open port behind the number.
int NotOpenCode(int port) {
    return IsValidPortNumber(port) ? RS232_PORT_NOT_OPEN : RS232_INVALID_PORT_NUMBER;
}

void CloseAllPorts() {
    for (PortSlot &slot : portTable)
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

std::string MappedDevice(int number) {
    std::string variable = "NVMX_COM" + std::to_string(number);
    const char *value = std::getenv(variable.c_str());
    return value ? std::string(value) : std::string();
}

std::vector<std::string> MappedDevices() {
    std::vector<std::string> mapped(COM_MAX_PORT + 1);
    for (int number = 1; number <= COM_MAX_PORT; number++)
        mapped[number] = MappedDevice(number);
    return mapped;
}

std::string DescriptionOf(const QSerialPortInfo &info) {
    QString text = info.description();
    if (text.isEmpty())
        text = info.manufacturer();
    if (text.isEmpty())
        text = QStringLiteral("serial port");
    return text.toStdString();
}

#ifdef _WIN32
// On Windows COM n is the system's own "COMn".
std::vector<NumberedPort> TakeInventory() {
    std::vector<std::string> mapped = MappedDevices();
    std::vector<NumberedPort> inventory;
    for (int number = 1; number <= COM_MAX_PORT; number++) {
        if (!mapped[number].empty())
            inventory.push_back({number, mapped[number], MappedDescription(number)});
    }
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        QString name = info.portName();
        bool isNumber = false;
        int number = name.startsWith(QStringLiteral("COM")) ? name.mid(3).toInt(&isNumber) : 0;
        if (isNumber && IsValidPortNumber(number) && mapped[number].empty())
            inventory.push_back({number, name.toStdString(), DescriptionOf(info)});
    }
    std::sort(inventory.begin(), inventory.end(),
              [](const NumberedPort &a, const NumberedPort &b) { return a.number < b.number; });
    return inventory;
}

std::string DeviceForNumber(int port) {
    std::string mapped = MappedDevice(port);
    return mapped.empty() ? "COM" + std::to_string(port) : mapped;
}
#else
std::vector<NumberedPort> TakeInventory() {
    std::vector<DiscoveredPort> discovered;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        discovered.push_back({info.portName().toStdString(), info.systemLocation().toStdString(),
                              DescriptionOf(info), info.hasVendorIdentifier()});
    }
    OrderDiscoveredPorts(discovered);
    return NumberPorts(discovered, MappedDevices());
}

std::string DeviceForNumber(int port) {
    std::string mapped = MappedDevice(port);
    if (!mapped.empty())
        return mapped;
    for (const NumberedPort &entry : TakeInventory()) {
        if (entry.number == port)
            return entry.device;
    }
    return std::string();
}
#endif

const NumberedPort *FindInInventory(const std::vector<NumberedPort> &inventory, int port) {
    for (const NumberedPort &entry : inventory) {
        if (entry.number == port)
            return &entry;
    }
    return nullptr;
}

// Bounded copy of text into a caller's buffer of size characters (the engine's text copy).
int CopyText(const std::string &text, char *buffer, int size) {
    return EngineCopyText(QString::fromStdString(text), buffer, size) == UIE_OK ? 0 : RS232_ERROR;
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
bool PullFromSystem(QSerialPort &serial, int idleMilliseconds, qint64 knownCount = 0) {
    if (serial.bytesAvailable() > knownCount || idleMilliseconds <= 0) {
        serial.waitForReadyRead(0);
        return false;
    }
    QElapsedTimer blocked;
    blocked.start();
    serial.waitForReadyRead(idleMilliseconds);
    return blocked.nsecsElapsed() >= SILENCE_NANOSECONDS;
}

// The count each port's last GetInQLen reported.
qint64 reportedCount[COM_MAX_PORT + 1];

bool LineLost(const QSerialPort &serial) {
    QSerialPort::SerialPortError error = serial.error();
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
           error == QSerialPort::WriteError;
}

// Drops what the operating system still holds for the port, in one direction.
void DiscardSystemQueue(QSerialPort &serial, bool input) {
#ifndef _WIN32
    if (serial.handle() >= 0)
        tcflush(serial.handle(), input ? TCIFLUSH : TCOFLUSH);
#else
    (void)serial;
    (void)input;
#endif
}

} // namespace

int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
    (void)outputQueueSize; // writes are handed to the line at once, so no output queue builds up
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    CloseCom(port);
    if (!ValidSettings(baudRate, parity, dataBits, stopBits))
        return RS232_ERROR;
    std::string device = deviceName && *deviceName ? deviceName : DeviceForNumber(port);
    if (device.empty())
        return RS232_NO_PORT_FOUND;

    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(QString::fromStdString(device));
    if (!serial->open(QIODevice::ReadWrite))
        return RS232_CANNOT_OPEN_PORT;
    if (!ApplySettings(*serial, baudRate, parity, dataBits, stopBits)) {
        serial->close();
        return RS232_IO_ERROR;
    }
    serial->setReadBufferSize(inputQueueSize > 0 ? inputQueueSize : DEFAULT_QUEUE_SIZE);
    portTable[port].serial = std::move(serial);
    portTable[port].timeoutSeconds = DEFAULT_TIMEOUT_SECONDS;
    CloseAllPortsWithApplication();
    return 0;
}

int CloseCom(int port) {
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    bool wasOpen = OpenSerial(port) != nullptr;
    portTable[port].serial.reset();
    return wasOpen ? 0 : RS232_PORT_NOT_OPEN;
}

int SetComTime(int port, double timeoutSeconds) {
    if (!OpenSerial(port))
        return NotOpenCode(port);
    if (!(timeoutSeconds >= 0.0))
        return RS232_ERROR;
    portTable[port].timeoutSeconds = timeoutSeconds;
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
    serial->clear(QSerialPort::Input);
    DiscardSystemQueue(*serial, true);
    serial->clearError();
    return 0;
}

int FlushOutQ(int port) {
    QSerialPort *serial = OpenSerial(port);
    if (!serial)
        return NotOpenCode(port);
    serial->clear(QSerialPort::Output);
    DiscardSystemQueue(*serial, false);
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
    if (serial->write(reinterpret_cast<const char *>(buffer), count) != count) {
        serial->clear(QSerialPort::Output);
        return RS232_IO_ERROR;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 limit = qint64(portTable[port].timeoutSeconds * 1000.0);
    while (serial->bytesToWrite() > 0) {
        qint64 left = limit - clock.elapsed();
        if (left <= 0 || !serial->waitForBytesWritten(int(left)))
            break;
    }
    int written = count - int(serial->bytesToWrite());
    // A tail left behind after the time-out would go out in front of the next request.
    if (written < count)
        serial->clear(QSerialPort::Output);
    if (written > 0)
        return written;
    return LineLost(*serial) ? RS232_IO_ERROR : RS232_TIMEOUT;
}

int GetInQLen(int port) {
    QSerialPort *serial = OpenSerial(port);
    if (!serial)
        return NotOpenCode(port);
    if (PullFromSystem(*serial, IDLE_POLL_MILLISECONDS, reportedCount[port]))
        DrawInLineSilence();
    qint64 waiting = serial->bytesAvailable();
    reportedCount[port] = waiting;
    if (waiting == 0 && LineLost(*serial))
        return RS232_IO_ERROR;
    return int(waiting);
}

int ComRd(int port, unsigned char *buffer, int count) {
    QSerialPort *serial = OpenSerial(port);
    if (!serial)
        return NotOpenCode(port);
    if (!buffer || count < 0)
        return RS232_ERROR;
    PullFromSystem(*serial, 0);
    qint64 take = std::min<qint64>(count, serial->bytesAvailable());
    if (take == 0)
        return 0;
    qint64 moved = serial->read(reinterpret_cast<char *>(buffer), take);
    return moved < 0 ? RS232_IO_ERROR : int(moved);
}

int ComPortCount(void) {
    lastInventory = TakeInventory();
    return int(lastInventory.size());
}

int ComPortNumber(int index) {
    if (index < 0 || index >= int(lastInventory.size()))
        return RS232_INVALID_PORT_NUMBER;
    return lastInventory[index].number;
}

int ComPortDevice(int port, char *device, int size) {
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    // A port of the last ComPortCount's scan is answered from it: one scan per refresh.
    const NumberedPort *entry = FindInInventory(lastInventory, port);
    std::string path = entry != nullptr ? entry->device : DeviceForNumber(port);
    int copied = CopyText(path, device, size);
    if (copied < 0)
        return copied;
    return path.empty() ? RS232_NO_PORT_FOUND : 0;
}

int ComPortDescription(int port, char *description, int size) {
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    std::vector<NumberedPort> inventory;
    const NumberedPort *entry = FindInInventory(lastInventory, port);
    if (entry == nullptr) {
        inventory = TakeInventory();
        entry = FindInInventory(inventory, port);
    }
    int copied = CopyText(entry ? entry->description : std::string(), description, size);
    if (copied < 0)
        return copied;
    return entry ? 0 : RS232_NO_PORT_FOUND;
}
