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
    if (facts.danglingLink)
        return "the link points to no device - plug the adapter in or repoint the link";
    if (!facts.exists || facts.qtError == QSerialPort::DeviceNotFoundError)
        return "no such device - plug the adapter in or pick another port";
    if (facts.kind != NodeKind::CharacterDevice)
        return std::string(KindName(facts.kind)) + ", " + NOT_A_PORT;
    if (!facts.terminal)
        return NOT_A_PORT;
    if (!facts.holder.empty() || facts.heldExclusively)
        return Busy(facts.holder);
    if (!facts.accessible)
        return std::string("permission denied - ") + PERMISSION_REMEDY;
    switch (facts.qtError) {
    case QSerialPort::PermissionError:
        // Readable and writable, yet refused: another program holds the port exclusively.
        return Busy(std::string());
    case QSerialPort::OpenError:
        return "already open - pick another port";
    case QSerialPort::UnsupportedOperationError:
        return NOT_A_PORT;
    default:
        return "cannot be opened - check the cable and the adapter";
    }
}

} // namespace

std::string DescribeOpenFailure(const OpenFailureFacts &facts) {
    std::string line = facts.device + ": " + ReasonAndRemedy(facts);
    if (!facts.qtText.empty())
        line += " (" + facts.qtText + ")";
    return line;
}
