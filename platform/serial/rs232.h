// Serial-port services of the run-time engine, addressed by COM number.
//
// COM n is "COMn" on Windows. Elsewhere the engine numbers the ports it discovers in a stable
// order (USB and ACM adapters first, then the on-board ports); the environment variable
// NVMX_COM<n> maps COM n to any device path and takes precedence. Qt stays behind this header.
//
// Each port keeps its state in a slot of its own. One thread works a port, from its open to its
// close; several threads may each work their own ports at once (portthreads.h gives a process
// such threads). Opening and the lookups of the port lists are serialised among them.
#pragma once

// Error codes. Every service returns one of these, or a count >= 0 on success.
enum {
    RS232_UNKNOWN_SYSTEM_ERROR = -1,
    RS232_INVALID_PORT_NUMBER = -2,
    RS232_PORT_NOT_OPEN = -3,
    RS232_IO_ERROR = -4,
    RS232_ERROR = -5,
    RS232_NO_PORT_FOUND = -6,
    RS232_CANNOT_OPEN_PORT = -7,
    RS232_TIMEOUT = -99,
};

enum { COM_MAX_PORT = 255 };

// Opens COM port with the given settings. deviceName "" takes the engine's device for the
// number. parity: 0 none, 1 odd, 2 even. Returns 0 or a negative code. Opening an open port
// closes and reopens it.
int OpenComConfig(int port, const char *deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
// Closes the port; harmless for a port that never opened.
int CloseCom(int port);
// Read and write time-out of the port, seconds.
int SetComTime(int port, double timeoutSeconds);
// 0 switches the CTS/RTS hardware handshake off, 1 on.
int SetCTSMode(int port, int mode);
// Discard what waits in the engine's and the operating system's queues.
int FlushInQ(int port);
int FlushOutQ(int port);
// Hands count bytes to the line before it returns; returns the number written.
int ComWrt(int port, const unsigned char *buffer, int count);
// Number of received bytes waiting, without consuming them. While nothing new waits, the call
// may block for up to five milliseconds, so a polling loop does not burn a core; after two
// milliseconds of a silent line the engine draws what is due, while a reply that then begins
// comes in.
int GetInQLen(int port);
// Moves at most count bytes that are already waiting into buffer; returns the number moved.
// Never waits for more and never writes beyond count.
int ComRd(int port, unsigned char *buffer, int count);

// Port discovery, for the COM-port selector: the numbers known to the engine in ascending
// order, with their devices and descriptions.
int ComPortCount(void);
int ComPortNumber(int index);
// Device path of a COM number ("" when none), and a description for people; a port of the last
// ComPortCount's scan is answered from that scan, any other from a new one.
int ComPortDevice(int port, char *device, int size);
int ComPortDescription(int port, char *description, int size);
// 1 when the system's list of ports has changed since the last call (the first call counts as a
// change).
int ComPortListChanged(void);

// ---- A line that goes away and comes back ------------------------------------------------------

// 1 when the device of the open port went away (unplugged, its pseudo-terminal ended); the engine
// has then closed the port and keeps what identifies the device. Stays 1 until the port is
// opened or closed again.
int ComLineLost(int port);
// 1 while the port is open.
int ComPortIsOpen(int port);
// For a closed port: 1 when the device last opened on it is present, under the same path for a
// mapped or given path, else as the same USB device (serial number, or maker's ids), which then
// takes its old number again. 0 otherwise.
int ComPortReturned(int port);

// ---- Open failures, identities ---------------------------------------------------------------

// Why the last open of the port failed and what to do, for people ("" after a good open).
int ComOpenFailure(int port, char *text, int size);
// 1 when the last open of the port failed because another program holds its device.
int ComPortBusy(int port);
// A text naming the device behind the number so that it is found again in a later run, where
// numbers may differ: its USB ids and serial number, or its path.
int ComPortIdentity(int port, char *text, int size);
// The number of a device named by ComPortIdentity, when that device is present; else a
// negative code.
int ComPortForIdentity(const char *identity);
// n for "COMn" (any case) with n a valid port number, else 0.
int ComNumberOf(const char *text);
// The number of the listed port with this device path (links followed); a device not listed is
// mapped to the lowest unlisted number, so that an open tells why it fails.
int ComPortForDevice(const char *device);
