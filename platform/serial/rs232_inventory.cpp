// Port discovery and numbering: the COM numbers, their devices and descriptions, and the
// numbers the program gives to devices it is told of.

#include "platform/core/textcopy.h"
#include "platform/serial/rs232.h"
#include "platform/serial/rs232_state.h"
#include "platform/serial/rs232_system.h"

#include <QSerialPortInfo>
#include <QStringList>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

const NumberedPort *FindInInventory(const std::vector<NumberedPort> &inventory, int port) {
    for (const NumberedPort &entry : inventory) {
        if (entry.number == port)
            return &entry;
    }
    return nullptr;
}

} // namespace

int ComPortCount(void) {
    const std::lock_guard<std::recursive_mutex> tables(SerialTables());
    Serial().lastInventory = TakeInventory();
    return int(Serial().lastInventory.size());
}

int ComPortNumber(int index) {
    const std::lock_guard<std::recursive_mutex> tables(SerialTables());
    if (index < 0 || index >= int(Serial().lastInventory.size()))
        return RS232_INVALID_PORT_NUMBER;
    return Serial().lastInventory[index].number;
}

int ComPortDevice(int port, char *device, int size) {
    const std::lock_guard<std::recursive_mutex> tables(SerialTables());
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    // A port of the last ComPortCount's scan is answered from it: one scan per refresh.
    const NumberedPort *entry = FindInInventory(Serial().lastInventory, port);
    std::string path = entry != nullptr ? entry->device : DeviceForNumber(port);
    // A cut device path would name another device.
    if (CopyUtf8Text(path.data(), path.size(), device, size) != TEXT_WHOLE)
        return RS232_ERROR;
    return path.empty() ? RS232_NO_PORT_FOUND : 0;
}

int ComPortDescription(int port, char *description, int size) {
    const std::lock_guard<std::recursive_mutex> tables(SerialTables());
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    std::vector<NumberedPort> inventory;
    const NumberedPort *entry = FindInInventory(Serial().lastInventory, port);
    if (entry == nullptr) {
        inventory = TakeInventory();
        entry = FindInInventory(inventory, port);
    }
    int copied = CopyText(entry ? entry->description : std::string(), description, size);
    if (copied < 0)
        return copied;
    return entry ? 0 : RS232_NO_PORT_FOUND;
}

int ComNumberOf(const char *text) {
    if (text == nullptr || std::strlen(text) < 4 || std::toupper((unsigned char)text[0]) != 'C' ||
        std::toupper((unsigned char)text[1]) != 'O' || std::toupper((unsigned char)text[2]) != 'M')
        return 0;
    char *end = nullptr;
    long number = std::strtol(text + 3, &end, 10);
    return *end == '\0' && number >= 1 && number <= COM_MAX_PORT ? int(number) : 0;
}

int ComPortForDevice(const char *device) {
    const std::lock_guard<std::recursive_mutex> tables(SerialTables());
    if (!device || !*device)
        return RS232_NO_PORT_FOUND;
    QString wanted = CanonicalPath(device);
    std::vector<NumberedPort> inventory = TakeInventory();
    for (const NumberedPort &entry : inventory)
        if (entry.device == device || CanonicalPath(entry.device) == wanted)
            return entry.number;
    for (int number = 1; number <= COM_MAX_PORT; number++) {
        if (!FindInInventory(inventory, number)) {
            Serial().programMapped[number] = device;
            return number;
        }
    }
    return RS232_NO_PORT_FOUND;
}

int ComPortListChanged(void) {
    const std::lock_guard<std::recursive_mutex> tables(SerialTables());
    static QStringList last;
    static bool known = false;
    if (known && !PortListMayHaveChanged())
        return 0;
    QStringList now;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        now.append(info.systemLocation());
    now.sort();
    bool changed = !known || now != last;
    last = now;
    known = true;
    return changed ? 1 : 0;
}
