// What the serial services ask of the operating system, one file per system: rs232_posix.cpp
// and rs232_windows.cpp. Qt SerialPort does the rest on every system.
#pragma once

#include "platform/serial/rs232_ports.h"
#include "platform/serial/rs232_reason.h"
#include "platform/serial/rs232_state.h"

#include <QSerialPort>

#include <string>
#include <vector>

// The ports the system lists, numbered, mappings included.
std::vector<NumberedPort> TakeInventory();
// The device behind a COM number, or "".
std::string DeviceForNumber(int port);
// 1 when the system's list of ports may have changed since the last call; a cheap look that
// spares asking for the whole list. The first call answers 1.
bool PortListMayHaveChanged();

// Moves what the system holds for the port into the engine's queue, as far as it has room,
// waiting up to the given time for a first byte.
void TakeInput(PortSlot &slot, int milliseconds);
// The system hung the line up: the far end of a pseudo-terminal closed, or a USB adapter went
// away. Qt SerialPort does not report this by itself.
bool HungUp(const QSerialPort &serial);
// Drops what the system has received for the port and nobody has read yet.
void DiscardSystemInput(QSerialPort &serial);
// Empties Qt SerialPort's read buffer of the port (the engine's queue is emptied apart).
void ClearReadBuffer(QSerialPort &serial);
// Hands count bytes to the line, waiting up to limit milliseconds while the system's queue is
// full. Returns the count written, or -1 once the system refuses the port (the line is gone).
int WriteToLine(QSerialPort &serial, const unsigned char *buffer, int count, qint64 limit);

// The device is there to be opened.
bool DevicePresent(const std::string &path);

// A first look at a device, before Qt SerialPort opens it: what is no serial port, or is held by
// another program for itself, is refused without Qt touching it. Where the look opens the device
// it keeps it open until the look ends, after the port's own open, so that its close is not the
// device's last one (which would drop the modem lines).
class DeviceLook {
  public:
    explicit DeviceLook(const std::string &device);
    ~DeviceLook();
    DeviceLook(const DeviceLook &) = delete;
    DeviceLook &operator=(const DeviceLook &) = delete;

    // What keeps the device from being the port; nullptr when it may be opened.
    const OpenFailureFacts *refusal() const { return refused_ ? &refusal_ : nullptr; }
    // Another program may hold the device: it is a terminal, or the system called it busy.
    bool mayBeHeld() const { return mayBeHeld_; }

  private:
    void Refuse(const OpenFailureFacts &facts);

    OpenFailureFacts refusal_;
    bool refused_ = false;
    bool mayBeHeld_ = false;
    int descriptor_ = -1;
};

// What the system says about a device that would not open, for DescribeOpenFailure.
OpenFailureFacts FactsOf(const std::string &device, const QSerialPort &serial,
                         const DeviceLook &look);
// Keeps every other program out of an open port; false when one already holds it.
bool LockExclusively(QSerialPort &serial);
