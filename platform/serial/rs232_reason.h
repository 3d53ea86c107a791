// Why a serial port did not open, and what the user can do about it: a line for people beside
// the status text. Free of Qt so that the wording can be checked on its own.
#pragma once

#include <string>

// What the path of a port leads to, when something is there.
enum class NodeKind { CharacterDevice, Directory, PlainFile, Fifo, Socket, BlockDevice };

// What the engine learnt about a device that did not open.
struct OpenFailureFacts {
    int qtError = 0;                           // QSerialPort::SerialPortError of the failed open
    std::string qtText;                        // QSerialPort::errorString() of the failed open
    std::string device;                        // the path that was opened
    bool exists = true;                        // the path leads to something
    bool danglingLink = false;                 // the path is a symbolic link to nothing
    NodeKind kind = NodeKind::CharacterDevice; // every serial port is a character device
    bool terminal = true;                      // the device is a terminal, as every serial port is
    bool accessible = true;                    // the user may read and write it
    bool heldExclusively = false;              // another program holds the port for itself
    std::string holder;                        // who holds the port ("" when nobody is known to)
};

enum class OpenFailureCause {
    DanglingLink,
    NoDevice,
    NotACharacterDevice,
    NotAPort,
    Busy, // another program holds the device
    PermissionDenied,
    AlreadyOpen,
    Other,
};

// What kept the device from opening, as far as the facts tell.
OpenFailureCause CauseOfOpenFailure(const OpenFailureFacts &facts);

// "reason: remedy", naming the device, e.g. "/dev/ttyUSB0: permission denied - add your user to
// the group dialout and log in again (Permission error while opening the device)". The system's
// own text closes the line, so nothing that Qt said is lost.
std::string DescribeOpenFailure(const OpenFailureFacts &facts);
