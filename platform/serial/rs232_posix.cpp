// The serial services' system calls on Linux and the other POSIX systems: ports are device
// nodes, numbered by the engine in a stable order.

#include "platform/serial/rs232_state.h"
#include "platform/serial/rs232_system.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace {

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
        if (Serial().ports[number].lost && !Serial().ports[number].identity.byPath)
            held.push_back(number);
    return held;
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

} // namespace

std::vector<NumberedPort> TakeInventory() {
    SerialState &state = Serial();
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
    state.lastNumbering = NumberPorts(discovered, mapped, state.lastNumbering, HeldNumbers());
    for (NumberedPort &entry : state.lastNumbering)
        if (!state.programMapped[entry.number].empty())
            entry.description = "chosen device";
    return state.lastNumbering;
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

// Device nodes come and go in /dev; asking the system for its whole list of ports costs far
// more than looking at the directory's time stamp.
bool PortListMayHaveChanged() {
    static timespec lastChange{};
    static bool known = false;
    struct stat dev {};
    if (stat("/dev", &dev) == 0 && known && dev.st_mtim.tv_sec == lastChange.tv_sec &&
        dev.st_mtim.tv_nsec == lastChange.tv_nsec)
        return false;
    lastChange = dev.st_mtim;
    known = true;
    return true;
}

// Bytes are read straight from the descriptor into the engine's queue: Qt SerialPort would
// take each one through a second poll, its own read and its ring buffer.
void TakeInput(PortSlot &slot, int milliseconds) {
    TakeBufferedInput(slot);
    const int fd = int(slot.serial->handle());
    if (slot.input.room() <= 0)
        return;
    if (milliseconds > 0) {
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, milliseconds) <= 0 || (entry.revents & POLLIN) == 0)
            return;
    }
    ssize_t got = ::read(fd, slot.input.end(), size_t(slot.input.room()));
    if (got > 0)
        slot.input.count += got;
    else if (got < 0 && errno != EAGAIN && errno != EINTR)
        slot.readFailed = true;
}

bool HungUp(const QSerialPort &serial) {
    pollfd entry{int(serial.handle()), POLLIN, 0};
    return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void DiscardSystemQueue(QSerialPort &serial, bool input) {
    if (serial.handle() >= 0)
        tcflush(serial.handle(), input ? TCIFLUSH : TCOFLUSH);
}

// Qt frees the buffer's memory on a clear, which it would allocate again, so an empty one is
// left as it is: DiscardSystemQueue empties the system's queue on its own.
void ClearReadBuffer(QSerialPort &serial) {
    if (serial.bytesAvailable() > 0)
        serial.clear(QSerialPort::Input);
}

// Writes straight to the descriptor. Qt SerialPort would copy each request into a buffer of its
// own and register a write notifier for it: allocations on every request.
int WriteToLine(QSerialPort &serial, const unsigned char *buffer, int count, qint64 limit) {
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

bool DevicePresent(const std::string &path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
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
