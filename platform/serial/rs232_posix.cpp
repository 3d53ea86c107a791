// The serial services' system calls on Linux and the other POSIX systems: ports are device
// nodes, numbered by the engine in a stable order.

#include "platform/serial/rs232_state.h"
#include "platform/serial/rs232_system.h"

#include <QElapsedTimer>
#include <QSerialPortInfo>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

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

// The kind of node that a path leads to, from its stat mode.
NodeKind KindOf(mode_t mode) {
    if (S_ISCHR(mode))
        return NodeKind::CharacterDevice;
    if (S_ISDIR(mode))
        return NodeKind::Directory;
    if (S_ISFIFO(mode))
        return NodeKind::Fifo;
    if (S_ISSOCK(mode))
        return NodeKind::Socket;
    if (S_ISBLK(mode))
        return NodeKind::BlockDevice;
    return NodeKind::PlainFile;
}

// The file a process has open under link (/proc/<pid>/fd/<n>) is the device itself, whatever
// path opened it. Only files opened under /dev are followed: following a link to a file on a
// network share could wait for its server.
bool IsDeviceFile(const std::string &link, dev_t device) {
    char target[8];
    ssize_t length = readlink(link.c_str(), target, sizeof target);
    if (length < 5 || std::memcmp(target, "/dev/", 5) != 0)
        return false;
    struct stat status {};
    return stat(link.c_str(), &status) == 0 && S_ISCHR(status.st_mode) && status.st_rdev == device;
}

enum class Holds { No, Yes, Unknown };

// Whether process pid has the device open; Unknown when its open files may not be looked at.
Holds ProcessHolds(const std::string &pid, dev_t device) {
    const std::string fds = "/proc/" + pid + "/fd";
    DIR *directory = opendir(fds.c_str());
    if (directory == nullptr)
        return errno == EACCES || errno == EPERM ? Holds::Unknown : Holds::No; // else it ended
    Holds holds = Holds::No;
    while (const dirent *entry = readdir(directory)) {
        if (entry->d_name[0] != '.' && IsDeviceFile(fds + "/" + entry->d_name, device)) {
            holds = Holds::Yes;
            break;
        }
    }
    closedir(directory);
    return holds;
}

std::string ProgramName(const std::string &pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    return std::getline(comm, name) ? name : std::string("?");
}

// Who besides this program has the device open, as far as the system tells.
struct Holders {
    std::string named;   // "program 'name' (pid n)" of each of them, up to a few, or ""
    bool hidden = false; // the open files of some process could not be looked at
};

// Several processes may have a device open (a pseudo-terminal's maker keeps its own end open
// too); all are named, since the one that holds it exclusively cannot be told from the rest.
enum { HOLDERS_NAMED = 4 };

// Linux lists every process's open files under /proc; elsewhere nobody is named.
Holders HoldersOf(dev_t device) {
    Holders holders;
    DIR *proc = opendir("/proc");
    if (proc == nullptr)
        return holders;
    const std::string ownPid = std::to_string(getpid());
    int named = 0;
    while (const dirent *entry = readdir(proc)) {
        const std::string pid = entry->d_name;
        if (!std::isdigit(static_cast<unsigned char>(pid[0])) || pid == ownPid)
            continue;
        Holds holds = ProcessHolds(pid, device);
        holders.hidden = holders.hidden || holds == Holds::Unknown;
        if (holds != Holds::Yes)
            continue;
        holders.named += (holders.named.empty() ? "" : ", ") + std::string("program '") +
                         ProgramName(pid) + "' (pid " + pid + ")";
        if (++named == HOLDERS_NAMED)
            break;
    }
    closedir(proc);
    return holders;
}

// The terminal's exclusive mode is on. Linux tells; elsewhere only the exclusive open of the
// port itself finds out.
bool ExclusiveModeOn(int descriptor) {
#ifdef TIOCGEXCL
    int exclusive = 0;
    return ioctl(descriptor, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    (void)descriptor;
    return false;
#endif
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

void DiscardSystemInput(QSerialPort &serial) {
    if (serial.handle() >= 0)
        tcflush(serial.handle(), TCIFLUSH);
}

// Qt frees the buffer's memory on a clear, which it would allocate again, so an empty one is
// left as it is: DiscardSystemInput empties the system's queue on its own.
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

// Anything but a character device is refused before it is opened: opening a FIFO would wait
// for, or release, a program at its other end.
DeviceLook::DeviceLook(const std::string &device) {
    struct stat status {};
    if (stat(device.c_str(), &status) != 0)
        return; // Qt's open finds out what is missing
    OpenFailureFacts facts;
    facts.device = device;
    facts.kind = KindOf(status.st_mode);
    if (facts.kind != NodeKind::CharacterDevice) {
        Refuse(facts);
        return;
    }
    descriptor_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor_ < 0) {
        mayBeHeld_ = errno == EBUSY;
        return; // Qt's open meets the same refusal and says why
    }
    facts.terminal = isatty(descriptor_) == 1;
    mayBeHeld_ = facts.terminal;
    // Root opens past another program's exclusive mode, so the look asks for it. A pseudo-terminal
    // keeps the mode after its holder closed it: only a holder that is there, or one that cannot
    // be seen, keeps the port.
    if (facts.terminal && ExclusiveModeOn(descriptor_)) {
        Holders holders = HoldersOf(status.st_rdev);
        facts.holder = holders.named;
        facts.heldExclusively = !holders.named.empty() || holders.hidden;
    }
    if (!facts.terminal || facts.heldExclusively)
        Refuse(facts);
}

void DeviceLook::Refuse(const OpenFailureFacts &facts) {
    refusal_ = facts;
    refused_ = true;
}

DeviceLook::~DeviceLook() {
    if (descriptor_ >= 0)
        close(descriptor_);
}

OpenFailureFacts FactsOf(const std::string &device, const QSerialPort &serial,
                         const DeviceLook &look) {
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
        facts.kind = KindOf(target.st_mode);
        facts.accessible = access(device.c_str(), R_OK | W_OK) == 0;
        if (look.mayBeHeld() && facts.accessible)
            facts.holder = HoldersOf(target.st_rdev).named;
    }
    return facts;
}

// The exclusive open keeps other users out, but not root; an advisory lock keeps a second
// instance of this program out as well, whoever runs it.
bool LockExclusively(QSerialPort &serial) {
    return flock(int(serial.handle()), LOCK_EX | LOCK_NB) == 0;
}
