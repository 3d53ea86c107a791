// The serial services' system calls on Windows: COM n is the system's own "COMn", and Qt
// SerialPort does all the talking to the port.

#include "platform/serial/rs232_state.h"
#include "platform/serial/rs232_system.h"
#include "textforms/portlabel.h"

#include <QElapsedTimer>
#include <QSerialPortInfo>

#include <algorithm>

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
    return mapped.empty() ? PortLabel(port) : mapped;
}

bool PortListMayHaveChanged() {
    return true;
}

void TakeInput(PortSlot &slot, int milliseconds) {
    TakeBufferedInput(slot);
    if (slot.input.room() > 0 && slot.serial->waitForReadyRead(milliseconds))
        TakeBufferedInput(slot);
}

bool HungUp(const QSerialPort &) {
    return false; // a port that went away shows as a resource error
}

void DiscardSystemInput(QSerialPort &) {}

// Clearing also drops what the system's driver holds.
void ClearReadBuffer(QSerialPort &serial) {
    serial.clear(QSerialPort::Input);
}

int WriteToLine(QSerialPort &serial, const unsigned char *buffer, int count, qint64 limit) {
    if (serial.write(reinterpret_cast<const char *>(buffer), count) != count) {
        serial.clear(QSerialPort::Output);
        return -1;
    }
    QElapsedTimer clock;
    clock.start();
    while (serial.bytesToWrite() > 0) {
        qint64 left = limit - clock.elapsed();
        if (left <= 0 || !serial.waitForBytesWritten(int(left)))
            break;
    }
    int written = count - int(serial.bytesToWrite());
    // A tail left behind after the time-out would go out in front of the next request.
    if (written < count)
        serial.clear(QSerialPort::Output);
    return written;
}

bool DevicePresent(const std::string &path) {
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        if (info.portName().toStdString() == path || info.systemLocation().toStdString() == path)
            return true;
    return false;
}

// Windows opens a port for one program only and refuses what is no port itself.
DeviceLook::DeviceLook(const std::string &) {}

DeviceLook::~DeviceLook() {}

OpenFailureFacts FactsOf(const std::string &device, const QSerialPort &serial, const DeviceLook &) {
    OpenFailureFacts facts;
    facts.qtError = int(serial.error());
    facts.qtText = serial.errorString().toStdString();
    facts.device = device;
    facts.exists = DevicePresent(device);
    return facts;
}

bool LockExclusively(QSerialPort &) {
    return true; // Windows opens a port for one program only
}
