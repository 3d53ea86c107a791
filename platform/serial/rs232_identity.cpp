// A line that goes away and comes back: what identifies the device behind a port, and finding
// that device again, under its old number.

#include "platform/serial/rs232.h"
#include "platform/serial/rs232_state.h"
#include "platform/serial/rs232_system.h"

#include <QSerialPortInfo>

#include <cstdio>

namespace {

// The same USB device: the same serial number, or without one the same maker's ids.
bool SameUsbDevice(const PortIdentity &identity, const QSerialPortInfo &info) {
    if (!info.hasVendorIdentifier() || info.vendorIdentifier() != identity.vendorId ||
        info.productIdentifier() != identity.productId)
        return false;
    return info.serialNumber().toStdString() == identity.serialNumber;
}

// A device that came back under another path takes its old number again.
void Renumber(int port, const std::string &device) {
    std::erase_if(Serial().lastNumbering, [&](const NumberedPort &entry) {
        return entry.number == port || entry.device == device;
    });
    Serial().lastNumbering.push_back({port, device, std::string()});
}

std::string IdentityText(const PortIdentity &identity) {
    if (identity.byPath)
        return "path:" + identity.path;
    char ids[32];
    std::snprintf(ids, sizeof ids, "usb:%04x:%04x:", identity.vendorId, identity.productId);
    return ids + identity.serialNumber;
}

// The port of the system's list that text (from IdentityText) names, or a null info.
QSerialPortInfo FindUsbDevice(const std::string &text) {
    unsigned vendor = 0, product = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "usb:%4x:%4x:%n", &vendor, &product, &consumed) != 2 ||
        consumed == 0)
        return QSerialPortInfo();
    PortIdentity identity;
    identity.vendorId = quint16(vendor);
    identity.productId = quint16(product);
    identity.serialNumber = text.substr(size_t(consumed));
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        if (SameUsbDevice(identity, info))
            return info;
    return QSerialPortInfo();
}

} // namespace

bool LineLost(const PortSlot &slot) {
    QSerialPort::SerialPortError error = slot.serial->error();
    return slot.readFailed || error == QSerialPort::ResourceError ||
           error == QSerialPort::ReadError || error == QSerialPort::WriteError ||
           HungUp(*slot.serial);
}

// Qt SerialPort also reads the line in the event loop. A read on a line that hung up finds the
// end of the file; Qt reports a read error and reads again at once, a core's worth of calls for
// as long as nothing of the engine looks at the port (all the while a modal pop-up is open). The
// port is closed there instead, not destroyed, since the engine or Qt may be inside one of its
// calls; the line watch reports the loss when it next looks.
void CloseOnHangUp(int port) {
    QSerialPort *serial = Serial().ports[port].serial.get();
    QObject::connect(serial, &QSerialPort::errorOccurred, serial,
                     [port, serial](QSerialPort::SerialPortError error) {
                         bool readFailed =
                             error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
                         if (!readFailed || !serial->isOpen() || !HungUp(*serial))
                             return;
                         serial->close();
                         Serial().ports[port].lost = true;
                     });
}

PortIdentity IdentityOf(const std::string &device, bool givenPath) {
    PortIdentity identity;
    identity.path = device;
    if (givenPath)
        return identity;
    QSerialPortInfo info(QString::fromStdString(device));
    if (!info.isNull() && info.hasVendorIdentifier() && info.hasProductIdentifier()) {
        identity.byPath = false;
        identity.vendorId = info.vendorIdentifier();
        identity.productId = info.productIdentifier();
        identity.serialNumber = info.serialNumber().toStdString();
    }
    return identity;
}

int ComLineLost(int port) {
    if (!IsValidPortNumber(port))
        return 0;
    PortSlot &slot = Serial().ports[port];
    QSerialPort *serial = OpenSerial(port);
    if (serial && (LineLost(slot) || !DevicePresent(slot.identity.path)))
        MarkLost(port);
    return slot.lost ? 1 : 0;
}

int ComPortReturned(int port) {
    const std::lock_guard<std::recursive_mutex> tables(SerialTables());
    if (!IsValidPortNumber(port) || OpenSerial(port) || Serial().ports[port].identity.path.empty())
        return 0;
    const PortIdentity &identity = Serial().ports[port].identity;
    if (identity.byPath)
        return DevicePresent(identity.path) ? 1 : 0;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (SameUsbDevice(identity, info)) {
            Renumber(port, info.systemLocation().toStdString());
            return 1;
        }
    }
    return 0;
}

int ComPortIdentity(int port, char *text, int size) {
    const std::lock_guard<std::recursive_mutex> tables(SerialTables());
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    std::string device = DeviceForNumber(port);
    if (device.empty())
        return RS232_NO_PORT_FOUND;
    return CopyText(IdentityText(IdentityOf(device, !MappedDevice(port).empty())), text, size);
}

int ComPortForIdentity(const char *identity) {
    const std::lock_guard<std::recursive_mutex> tables(SerialTables());
    std::string text = identity ? identity : "";
    if (text.rfind("path:", 0) == 0) {
        std::string path = text.substr(5);
        return DevicePresent(path) ? ComPortForDevice(path.c_str()) : RS232_NO_PORT_FOUND;
    }
    QSerialPortInfo info = FindUsbDevice(text);
    if (info.isNull())
        return RS232_NO_PORT_FOUND;
    return ComPortForDevice(info.systemLocation().toUtf8().constData());
}
