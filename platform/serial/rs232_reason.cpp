#include "platform/serial/rs232_reason.h"

#include <QSerialPort>

namespace {

#ifdef __linux__
const char PERMISSION_REMEDY[] = "add your user to the group dialout and log in again";
#else
const char PERMISSION_REMEDY[] = "ask the administrator for access to the port";
#endif
const char NOT_A_PORT[] = "not a serial port - pick a serial device";

// What a node that is not a character device is, for people.
const char *KindName(NodeKind kind) {
    switch (kind) {
    case NodeKind::Directory:
        return "a directory";
    case NodeKind::PlainFile:
        return "a plain file";
    case NodeKind::Fifo:
        return "a FIFO";
    case NodeKind::Socket:
        return "a socket";
    case NodeKind::BlockDevice:
        return "a block device";
    case NodeKind::CharacterDevice:
        break;
    }
    return "a character device";
}

// holder is "" when the system does not tell who holds the port.
std::string Busy(const std::string &holder) {
    return "busy, held by " + (holder.empty() ? std::string("another program") : holder) +
           " - close it there or pick another port";
}

// The cause and the remedy, without the device and the system's text.
std::string ReasonAndRemedy(const OpenFailureFacts &facts) {
    switch (CauseOfOpenFailure(facts)) {
    case OpenFailureCause::DanglingLink:
        return "the link points to no device - plug the adapter in or repoint the link";
    case OpenFailureCause::NoDevice:
        return "no such device - plug the adapter in or pick another port";
    case OpenFailureCause::NotACharacterDevice:
        return std::string(KindName(facts.kind)) + ", " + NOT_A_PORT;
    case OpenFailureCause::NotAPort:
        return NOT_A_PORT;
    case OpenFailureCause::Busy:
        return Busy(facts.holder);
    case OpenFailureCause::PermissionDenied:
        return std::string("permission denied - ") + PERMISSION_REMEDY;
    case OpenFailureCause::AlreadyOpen:
        return "already open - pick another port";
    case OpenFailureCause::Other:
        break;
    }
    return "cannot be opened - check the cable and the adapter";
}

} // namespace

OpenFailureCause CauseOfOpenFailure(const OpenFailureFacts &facts) {
    if (facts.danglingLink)
        return OpenFailureCause::DanglingLink;
    if (!facts.exists || facts.qtError == QSerialPort::DeviceNotFoundError)
        return OpenFailureCause::NoDevice;
    if (facts.kind != NodeKind::CharacterDevice)
        return OpenFailureCause::NotACharacterDevice;
    if (!facts.terminal)
        return OpenFailureCause::NotAPort;
    if (!facts.holder.empty() || facts.heldExclusively)
        return OpenFailureCause::Busy;
    if (!facts.accessible)
        return OpenFailureCause::PermissionDenied;
    switch (facts.qtError) {
    case QSerialPort::PermissionError:
        // Readable and writable, yet refused: another program holds the port exclusively.
        return OpenFailureCause::Busy;
    case QSerialPort::OpenError:
        return OpenFailureCause::AlreadyOpen;
    case QSerialPort::UnsupportedOperationError:
        return OpenFailureCause::NotAPort;
    default:
        return OpenFailureCause::Other;
    }
}

std::string DescribeOpenFailure(const OpenFailureFacts &facts) {
    std::string line = facts.device + ": " + ReasonAndRemedy(facts);
    if (!facts.qtText.empty())
        line += " (" + facts.qtText + ")";
    return line;
}
