// Inside of the serial services: the one table of ports and what the services share between
// their files. Qt-side; only platform/serial/ includes it.
#pragma once

#include "platform/serial/rs232.h"
#include "platform/serial/rs232_ports.h"

#include <QSerialPort>
#include <QString>

class QSerialPortInfo;

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What makes a device the same device when it comes back: the path it was opened by, and for a
// discovered USB port its maker's ids and serial number, since such a port may come back under
// another path.
struct PortIdentity {
    std::string path;
    bool byPath = true; // a mapped or given path, or a port without USB identity
    quint16 vendorId = 0;
    quint16 productId = 0;
    std::string serialNumber;
};

// Time-out of a freshly opened port, until SetComTime sets another.
constexpr double DEFAULT_TIMEOUT_SECONDS = 5.0;

// The engine's input queue of a port: bytes taken from the line and not yet read, oldest first.
// Its room is fixed when the port opens, so taking bytes in never allocates.
struct InputQueue {
    std::vector<unsigned char> bytes; // its size is the queue's room
    qint64 count = 0;

    qint64 room() const { return qint64(bytes.size()) - count; }
    unsigned char *end() { return bytes.data() + count; }
    // Moves up to size of the oldest bytes into buffer; returns how many.
    qint64 take(unsigned char *buffer, qint64 size);
};

struct PortSlot {
    std::unique_ptr<QSerialPort> serial;
    InputQueue input;
    bool readFailed = false; // the system refused a read: the device is gone
    double timeoutSeconds = DEFAULT_TIMEOUT_SECONDS;
    PortIdentity identity; // of the device last opened on this number
    bool lost = false;     // that device went away while open; the engine closed it
    std::string failure;   // why the last open failed, for people; "" after a good open
    bool busy = false;     // the last open failed because another program holds the device
    // The count the last GetInQLen reported: a poll blocks only while nothing beyond it waits.
    // Back to 0 whenever the queue is emptied, or a stale count would let a poll sleep while
    // bytes wait.
    qint64 reportedCount = 0;
};

// Everything the serial services keep between calls.
struct SerialState {
    PortSlot ports[COM_MAX_PORT + 1];
    // The list that ComPortCount took last; ComPortNumber answers from it.
    std::vector<NumberedPort> lastInventory;
    // The numbering of the last inventory: ports keep their numbers from one inventory to the
    // next.
    std::vector<NumberedPort> lastNumbering;
    // Devices the program mapped to numbers (ComPortForDevice); they go before NVMX_COM<n>.
    std::string programMapped[COM_MAX_PORT + 1];
};

SerialState &Serial();
// Guards what the ports share (the inventories, the numbering, the program's mappings): the
// services that open ports or look them up hold it. A port's own slot needs no lock, since one
// thread works one port; that is what lets a process work many ports at once.
std::recursive_mutex &SerialTables();

inline bool IsValidPortNumber(int port) {
    return port >= 1 && port <= COM_MAX_PORT;
}

// The open port of a COM number, or null.
QSerialPort *OpenSerial(int port);
// The port reports an error or a hang-up that means its device is gone.
bool LineLost(const PortSlot &slot);
// Moves what Qt SerialPort has buffered for the port (it reads in the event loop too) into the
// engine's queue, behind what is there: Qt only ever holds bytes younger than the queue's.
void TakeBufferedInput(PortSlot &slot);
// Closes a port whose device went away and keeps what identifies it.
void MarkLost(int port);
// Has the open port closed and marked lost as soon as a read in the event loop finds its line
// hung up, in whatever state the program is.
void CloseOnHangUp(int port);
// What identifies device, opened by a given path (givenPath) or as the number's discovered port.
PortIdentity IdentityOf(const std::string &device, bool givenPath);

// The device that the program or NVMX_COM<number> maps to a number, or "".
std::string MappedDevice(int number);
// MappedDevice of every number, index 0 unused.
std::vector<std::string> MappedDevices();
// How a port of the system's list is described to people.
std::string DescriptionOf(const QSerialPortInfo &info);
// A device path with its links followed; the path itself when it leads nowhere.
QString CanonicalPath(const std::string &path);
// Bounded copy of text into a caller's buffer of size bytes; 0 or RS232_ERROR.
int CopyText(const std::string &text, char *buffer, int size);
