// Serial-port services over Qt SerialPort. Ports live in a fixed table indexed by COM number;
// each open port owns one QSerialPort whose read buffer is the engine's input queue.

#include "platform/serial/rs232.h"

#include "platform/engine/engine.h"
#include "platform/serial/rs232_ports.h"
#include "platform/serial/rs232_reason.h"
#include "platform/widgets/redraw.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QThread>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
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

struct PortSlot {
    std::unique_ptr<QSerialPort> serial;
    double timeoutSeconds = DEFAULT_TIMEOUT_SECONDS;
    PortIdentity identity; // of the device last opened on this number
    bool lost = false;     // that device went away while open; the engine closed it
    std::string failure;   // why the last open failed, for people; "" after a good open
    // The count the last GetInQLen reported: a poll blocks only while nothing beyond it waits.
    // Back to 0 whenever the queue is emptied, or a stale count would let a poll sleep while
    // bytes wait.
    qint64 reportedCount = 0;
};

PortSlot portTable[COM_MAX_PORT + 1];
// The list that ComPortCount took last; ComPortNumber answers from it.
std::vector<NumberedPort> lastInventory;
// The numbering of the last inventory: ports keep their numbers from one inventory to the next.
std::vector<NumberedPort> lastNumbering;
// Devices the program mapped to numbers (ComPortForDevice); they go before NVMX_COM<n>.
std::string programMapped[COM_MAX_PORT + 1];

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
    if (!programMapped[number].empty())
        return programMapped[number];
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
QString CanonicalPath(const std::string &path) {
    QString canonical = QFileInfo(QString::fromStdString(path)).canonicalFilePath();
    return canonical.isEmpty() ? QString::fromStdString(path) : canonical;
}

bool MappedElsewhere(const std::vector<std::string> &mapped, const QString &device) {
    for (const std::string &path : mapped)
        if (!path.empty() && CanonicalPath(path) == device)
            return true;
    return false;
}

// Numbers of discovered USB ports that went away while open: awaited back, so no newcomer takes
// them.
std::vector<int> HeldNumbers() {
    std::vector<int> held;
    for (int number = 1; number <= COM_MAX_PORT; number++)
        if (portTable[number].lost && !portTable[number].identity.byPath)
            held.push_back(number);
    return held;
}

std::vector<NumberedPort> TakeInventory() {
    std::vector<std::string> mapped = MappedDevices();
    std::vector<DiscoveredPort> discovered;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        // A port that a mapping names is listed once, under the mapping.
        if (MappedElsewhere(mapped, CanonicalPath(info.systemLocation().toStdString())))
            continue;
        discovered.push_back({info.portName().toStdString(), info.systemLocation().toStdString(),
                              DescriptionOf(info), info.hasVendorIdentifier()});
    }
    OrderDiscoveredPorts(discovered);
    lastNumbering = NumberPorts(discovered, mapped, lastNumbering, HeldNumbers());
    for (NumberedPort &entry : lastNumbering)
        if (!programMapped[entry.number].empty())
            entry.description = "chosen device";
    return lastNumbering;
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

// Moves what the operating system holds for the port into its read buffer, waiting up to the
// given time for a first byte. The system is asked first: Qt SerialPort's own wait makes a new
// error text each time it finds nothing, an allocation on every poll of a silent line.
void TakeInput(QSerialPort &serial, int milliseconds) {
#ifndef _WIN32
    pollfd entry{int(serial.handle()), POLLIN, 0};
    if (poll(&entry, 1, milliseconds) > 0)
        serial.waitForReadyRead(0);
#else
    serial.waitForReadyRead(milliseconds);
#endif
}

// Lets the port take what the operating system holds; blocks briefly only when nothing new
// waits beyond the known count, so a poll loop sleeps while a reply trickles in at line rate.
// Returns true when it blocked long enough to have met a silent line, whether or not the first
// byte of a reply then ended the block.
bool PullFromSystem(QSerialPort &serial, int idleMilliseconds, qint64 knownCount = 0) {
    if (serial.bytesAvailable() > knownCount || idleMilliseconds <= 0) {
        TakeInput(serial, 0);
        return false;
    }
    QElapsedTimer blocked;
    blocked.start();
    TakeInput(serial, idleMilliseconds);
    return blocked.nsecsElapsed() >= SILENCE_NANOSECONDS;
}

// The system hung the line up: the far end of a pseudo-terminal closed, or a USB adapter went
// away. Qt SerialPort does not report this by itself.
bool HungUp(const QSerialPort &serial) {
#ifndef _WIN32
    pollfd entry{int(serial.handle()), POLLIN, 0};
    return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    (void)serial;
    return false;
#endif
}

bool LineLost(const QSerialPort &serial) {
    QSerialPort::SerialPortError error = serial.error();
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
           error == QSerialPort::WriteError || HungUp(serial);
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

// Empties the port's read buffer. Qt frees the buffer's memory on a clear, which the next reply
// would allocate again, so an empty one is left as it is where DiscardSystemQueue empties the
// system's queue on its own.
void ClearReadBuffer(QSerialPort &serial) {
#ifndef _WIN32
    if (serial.bytesAvailable() == 0)
        return;
#endif
    serial.clear(QSerialPort::Input);
}

#ifndef _WIN32
bool DevicePresent(const std::string &path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

// "program 'name' (pid n)" of another process that has the device open, or "". Linux lists
// every process's open files under /proc; elsewhere nobody is named.
std::string HolderOf(const std::string &device) {
    QString target = CanonicalPath(device);
    const QString ownPid = QString::number(QCoreApplication::applicationPid());
    QDir proc(QStringLiteral("/proc"));
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid == ownPid || !pid.front().isDigit())
            continue;
        QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QFileInfo &fd :
             fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() != target)
                continue;
            QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
            QString name = comm.open(QIODevice::ReadOnly) ? QString(comm.readAll()).trimmed()
                                                          : QStringLiteral("?");
            return QStringLiteral("program '%1' (pid %2)").arg(name, pid).toStdString();
        }
    }
    return std::string();
}

OpenFailureFacts FactsOf(const std::string &device, const QSerialPort &serial) {
    OpenFailureFacts facts;
    facts.qtError = int(serial.error());
    facts.qtText = serial.errorString().toStdString();
    facts.device = device;
    struct stat link {
    }, target{};
    bool linked = lstat(device.c_str(), &link) == 0;
    facts.exists = stat(device.c_str(), &target) == 0;
    facts.danglingLink = linked && !facts.exists;
    if (facts.exists) {
        facts.directory = S_ISDIR(target.st_mode);
        facts.characterDevice = S_ISCHR(target.st_mode);
        facts.accessible = access(device.c_str(), R_OK | W_OK) == 0;
        if (facts.characterDevice && facts.accessible)
            facts.holder = HolderOf(device);
    }
    return facts;
}

// The exclusive open keeps other users out, but not root; an advisory lock keeps a second
// instance of this program out as well, whoever runs it.
bool LockExclusively(QSerialPort &serial) {
    return flock(int(serial.handle()), LOCK_EX | LOCK_NB) == 0;
}
#else
bool DevicePresent(const std::string &path) {
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        if (info.portName().toStdString() == path || info.systemLocation().toStdString() == path)
            return true;
    return false;
}

OpenFailureFacts FactsOf(const std::string &device, const QSerialPort &serial) {
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
#endif

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

// The same USB device: the same serial number, or without one the same maker's ids.
bool SameUsbDevice(const PortIdentity &identity, const QSerialPortInfo &info) {
    if (!info.hasVendorIdentifier() || info.vendorIdentifier() != identity.vendorId ||
        info.productIdentifier() != identity.productId)
        return false;
    return info.serialNumber().toStdString() == identity.serialNumber;
}

// Closes a port whose device went away and keeps what identifies it.
void MarkLost(int port) {
    portTable[port].serial.reset();
    portTable[port].lost = true;
}

// A device that came back under another path takes its old number again.
void Renumber(int port, const std::string &device) {
    std::erase_if(lastNumbering, [&](const NumberedPort &entry) {
        return entry.number == port || entry.device == device;
    });
    lastNumbering.push_back({port, device, std::string()});
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

int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
    (void)outputQueueSize; // writes are handed to the line at once, so no output queue builds up
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    CloseCom(port);
    if (!ValidSettings(baudRate, parity, dataBits, stopBits))
        return RS232_ERROR;
    bool givenPath = (deviceName && *deviceName) || !MappedDevice(port).empty();
    std::string device = deviceName && *deviceName ? deviceName : DeviceForNumber(port);
    PortSlot &slot = portTable[port];
    if (device.empty()) {
        slot.failure = "COM" + std::to_string(port) + ": no device has this number - pick a port";
        return RS232_NO_PORT_FOUND;
    }

    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(QString::fromStdString(device));
    if (!serial->open(QIODevice::ReadWrite)) {
        slot.failure = DescribeOpenFailure(FactsOf(device, *serial));
        return RS232_CANNOT_OPEN_PORT;
    }
    if (!LockExclusively(*serial)) {
        OpenFailureFacts facts = FactsOf(device, *serial);
        facts.qtError = QSerialPort::PermissionError;
        facts.qtText = "locked";
        serial->close();
        slot.failure = DescribeOpenFailure(facts);
        return RS232_CANNOT_OPEN_PORT;
    }
    if (HungUp(*serial)) {
        slot.failure = device + ": the line hangs up at once - check the cable and the adapter";
        serial->close();
        return RS232_CANNOT_OPEN_PORT;
    }
    if (!ApplySettings(*serial, baudRate, parity, dataBits, stopBits)) {
        slot.failure = device + ": " + serial->errorString().toStdString();
        serial->close();
        return RS232_IO_ERROR;
    }
    serial->setReadBufferSize(inputQueueSize > 0 ? inputQueueSize : DEFAULT_QUEUE_SIZE);
    slot.serial = std::move(serial);
    slot.timeoutSeconds = DEFAULT_TIMEOUT_SECONDS;
    slot.reportedCount = 0;
    slot.identity = IdentityOf(device, givenPath);
    slot.failure.clear();
    CloseAllPortsWithApplication();
    return 0;
}

int CloseCom(int port) {
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    bool wasOpen = OpenSerial(port) != nullptr;
    portTable[port].serial.reset();
    portTable[port].lost = false;
    portTable[port].reportedCount = 0;
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
    ClearReadBuffer(*serial);
    DiscardSystemQueue(*serial, true);
    portTable[port].reportedCount = 0;
    // Clearing makes a new error text; a port without an error keeps its own.
    if (serial->error() != QSerialPort::NoError)
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

#ifndef _WIN32
// Writes straight to the descriptor, waiting up to the time-out while the system's queue is
// full. Qt SerialPort would copy each request into a buffer of its own and register a write
// notifier for it: allocations on every request. Returns the count written, or -1 once the
// system refuses the descriptor (the line is gone).
int WriteToLine(const QSerialPort &serial, const unsigned char *buffer, int count, qint64 limit) {
    QElapsedTimer clock;
    clock.start();
    int written = 0;
    while (written < count) {
        ssize_t moved = ::write(int(serial.handle()), buffer + written, size_t(count - written));
        if (moved > 0) {
            written += int(moved);
            continue;
        }
        if (moved < 0 && errno != EINTR && errno != EAGAIN)
            return -1;
        qint64 left = limit - clock.elapsed();
        if (left <= 0)
            break;
        pollfd entry{int(serial.handle()), POLLOUT, 0};
        poll(&entry, 1, int(left));
    }
    return written;
}
#else
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
#endif

int ComWrt(int port, const unsigned char *buffer, int count) {
    QSerialPort *serial = OpenSerial(port);
    if (!serial)
        return NotOpenCode(port);
    if (!buffer || count < 0)
        return RS232_ERROR;
    if (count == 0)
        return 0;
    qint64 limit = qint64(portTable[port].timeoutSeconds * 1000.0);
    int written = WriteToLine(*serial, buffer, count, limit);
    if (written < 0 || LineLost(*serial)) {
        MarkLost(port);
        return RS232_IO_ERROR;
    }
    return written > 0 ? written : RS232_TIMEOUT;
}

int GetInQLen(int port) {
    QSerialPort *serial = OpenSerial(port);
    if (!serial) {
        // A reply wait on a closed port sleeps as it does on a silent open one.
        QThread::msleep(IDLE_POLL_MILLISECONDS);
        return NotOpenCode(port);
    }
    if (PullFromSystem(*serial, IDLE_POLL_MILLISECONDS, portTable[port].reportedCount))
        DrawInLineSilence();
    qint64 waiting = serial->bytesAvailable();
    portTable[port].reportedCount = waiting;
    if (waiting == 0 && LineLost(*serial)) {
        MarkLost(port);
        return RS232_IO_ERROR;
    }
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
    if (moved < 0)
        return RS232_IO_ERROR;
    PortSlot &slot = portTable[port];
    slot.reportedCount = std::max<qint64>(0, slot.reportedCount - moved);
    return int(moved);
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

int ComLineLost(int port) {
    if (!IsValidPortNumber(port))
        return 0;
    PortSlot &slot = portTable[port];
    QSerialPort *serial = OpenSerial(port);
    if (serial && (LineLost(*serial) || !DevicePresent(slot.identity.path)))
        MarkLost(port);
    return slot.lost ? 1 : 0;
}

int ComPortIsOpen(int port) {
    return OpenSerial(port) != nullptr ? 1 : 0;
}

int ComPortReturned(int port) {
    if (!IsValidPortNumber(port) || OpenSerial(port) || portTable[port].identity.path.empty())
        return 0;
    const PortIdentity &identity = portTable[port].identity;
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

int ComOpenFailure(int port, char *text, int size) {
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    return CopyText(portTable[port].failure, text, size);
}

int ComPortIdentity(int port, char *text, int size) {
    if (!IsValidPortNumber(port))
        return RS232_INVALID_PORT_NUMBER;
    std::string device = DeviceForNumber(port);
    if (device.empty())
        return RS232_NO_PORT_FOUND;
    return CopyText(IdentityText(IdentityOf(device, !MappedDevice(port).empty())), text, size);
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
    if (!device || !*device)
        return RS232_NO_PORT_FOUND;
    QString wanted = CanonicalPath(device);
    std::vector<NumberedPort> inventory = TakeInventory();
    for (const NumberedPort &entry : inventory)
        if (entry.device == device || CanonicalPath(entry.device) == wanted)
            return entry.number;
    for (int number = 1; number <= COM_MAX_PORT; number++) {
        if (!FindInInventory(inventory, number)) {
            programMapped[number] = device;
            return number;
        }
    }
    return RS232_NO_PORT_FOUND;
}

int ComPortForIdentity(const char *identity) {
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

int ComPortListChanged(void) {
    static QStringList last;
    static bool known = false;
#ifndef _WIN32
    // Device nodes come and go in /dev; asking the system for its whole list of ports costs far
    // more than looking at the directory's time stamp.
    static timespec lastChange{};
    struct stat dev {};
    if (stat("/dev", &dev) == 0 && known && dev.st_mtim.tv_sec == lastChange.tv_sec &&
        dev.st_mtim.tv_nsec == lastChange.tv_nsec)
        return 0;
    lastChange = dev.st_mtim;
#endif
    QStringList now;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        now.append(info.systemLocation());
    now.sort();
    bool changed = !known || now != last;
    last = now;
    known = true;
    return changed ? 1 : 0;
}
