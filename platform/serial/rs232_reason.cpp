#include "platform/serial/rs232_reason.h"

#include <QSerialPort>

namespace {

#ifdef __linux__
const char PERMISSION_REMEDY[] = "add your user to the group dialout and log in again";
#else
const char PERMISSION_REMEDY[] = "ask the administrator for access to the port";
#endif

// The cause and the remedy, without the device and the system's text.
std::string ReasonAndRemedy(const OpenFailureFacts &facts) {
    if (facts.danglingLink)
        return "the link points to no device - plug the adapter in or repoint the link";
    if (!facts.exists || facts.qtError == QSerialPort::DeviceNotFoundError)
        return "no such device - plug the adapter in or pick another port";
    if (facts.directory)
        return "a directory, not a serial port - pick a serial device";
    if (!facts.characterDevice)
        return "a plain file, not a serial port - pick a serial device";
    if (!facts.holder.empty())
        return "busy, held by " + facts.holder + " - close it there or pick another port";
    if (!facts.accessible)
        return std::string("permission denied - ") + PERMISSION_REMEDY;
    switch (facts.qtError) {
    case QSerialPort::PermissionError:
        // Readable and writable, yet refused: another program holds the port exclusively.
        return "busy, held by another program - close it there or pick another port";
    case QSerialPort::OpenError:
        return "already open - pick another port";
    case QSerialPort::UnsupportedOperationError:
        return "not a serial port - pick a serial device";
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
