// One sensor as every part of the program that works it holds it: the panel, each port of a
// command and, later, the line service. A session is the sensor's link and what goes with it
// wherever it is worked: the sensor's name (its topics, its change-log entries, its recordings'
// sensor column), its identity, its telemetry slot, the flag that stops its waits, and what its
// memories were last read to hold. On it, once each: the port opened and the line checked, a
// memory read, a memory written (logged ahead, published, verified where asked), a frame
// exchanged and the frame loop. Every outcome is told to the broker here, so the panel and the
// commands say the same of a sensor. Free of Qt and of program-wide state: a process may hold
// many sessions, one thread each.
#pragma once

#include "com232/link.h"
#include "files/path.h"
#include "line/linefile.h"
#include "textforms/portlabel.h"

#include <string>

enum { SESSION_STATUS_LEN = 64, SESSION_MESSAGE_LEN = 512, SESSION_IDENTITY_LEN = 256 };

// How an exchange of a session ended; status and message say it for people.
enum {
    SESSION_OK = 0,
    SESSION_TIMEOUT = 1,     // no answer, or a short, long or wrong one
    SESSION_LINE_LOST = 2,   // the device went away
    SESSION_ABORTED = 3,     // the wait saw its flag cleared
    SESSION_OPEN_FAILED = 4, // the port did not open
    SESSION_INTERRUPTED = 5, // a write went out; its flag ended the wait before the verify
};

struct SensorSession {
    SensorLink link;
    int telemetrySlot;                   // the sensor's number on the process's broker connection
    char name[SENSOR_NAME_LEN];          // the sensor's one name
    char label[PORT_LABEL_LEN];          // "COM3": how the port was chosen; shown, never a name
    char device[FILE_PATH_LEN];          // "/dev/ttyUSB0", "" when unknown
    char identity[SESSION_IDENTITY_LEN]; // the unit as its port shows it (a USB adapter's ids and
                                         // serial number); "" when it shows none
    std::string lineLog;                 // the line's own change log; "" without a line
    const volatile int *keepWaiting;     // cleared: the settle wait ends early; null: never
    LinkReply reply;
    unsigned char receive[BUFFER_LENGTH];
    // The memories as their last read found them, so that a write knows what it changes.
    unsigned char lastRead[MEMORY_EEPROM + 1][BLOCK_LENGTH];
    bool readKnown[MEMORY_EEPROM + 1];
    int outcome; // the last exchange's: SESSION_OK, ...
    // The last outcome for people: "LINE OK", "TIMEOUT", "LINE LOST", an open failure's text,
    // and what happened ("no answer to the RAM read within 2.0 s").
    char status[SESSION_STATUS_LEN];
    char message[SESSION_MESSAGE_LEN];
};

// The COM number of a port as given: COMn, n, or a device path (a relative one from the working
// directory), a device not yet numbered being given a free number; 0 when it names no port.
int PortNumberOfText(const char *port);
// The sensor's one name: given (by a line file), or else the name its device gives
// (SensorNameOfDevice), whatever the COM number handed out.
std::string SensorNameFor(const char *device, const std::string &given);
// Starts session on COM port with name, or, when name is empty, the name its device gives
// (SensorNameOfDevice): the panel and the commands name a sensor alike. clock: the link's clock
// (null: MonotonicSeconds). Nothing is opened; what was read before is forgotten.
void BeginSession(SensorSession *session, int port, const std::string &name, int telemetrySlot,
                  double (*clock)(void));

// Opens the port at 9600 8N1 and announces the sensor to the broker. SESSION_OK, or
// SESSION_OPEN_FAILED with the open's text as status and the system's reason as message (told
// to the broker unless another program holds the port: that program speaks for it).
int OpenSession(SensorSession *session);
// The line check: LINE OK, or a failure; either is told to the broker.
int CheckSessionLine(SensorSession *session);
// Reads memory (MEMORY_RAM, MEMORY_EEPROM) into block and remembers it; the set read is
// published. A failure is told to the broker and leaves block as it was.
int ReadSessionMemory(SensorSession *session, int memory, unsigned char block[BLOCK_LENGTH]);
// The sensor's settle time before a read of memory, spent in the port's poll; the session's
// flag ends it early. True when it ran its full time.
bool SettleBeforeRead(SensorSession *session, int memory);

// What a write is, for its change-log entry and its verify.
struct SessionWrite {
    std::string source; // the file the block came from, "panel" for the panel's own set
    std::string backup; // the file the old block was kept in; "" when none
    // What the memory held; null: what the session last read of it, else unknown.
    const unsigned char *before = nullptr;
    bool verify = false; // settle, read back and compare
};
// How WriteSessionMemory ended.
enum { WRITE_FAILED = -1, WRITE_SENT = 0, WRITE_VERIFIED = 1, WRITE_DIFFERS = 2 };
// Writes block into memory: the change-log entry goes ahead of it, the parameters are
// published once the line took them, and with verify the block is read back after the settle
// time into readBack (what the memory then holds). The outcome completes the entry. WRITE_FAILED
// with status and message when the line did not take the block, the read-back failed or a stop
// came before the verify ("INTERRUPTED": the block went out, nothing was compared). A change log
// that cannot be written is in logTrouble ("" when it was); the write goes ahead regardless.
int WriteSessionMemory(SensorSession *session, int memory, const unsigned char block[BLOCK_LENGTH],
                       const SessionWrite &write, unsigned char readBack[BLOCK_LENGTH],
                       std::string *logTrouble);
// A write's outcome in the change log's words: "verified", "not verified", "failed: MAXCOL-No.
// 3->4 (sent -> held)" (held: what the verify read), or the failure's message.
std::string WriteOutcomeText(const SensorSession *session, int outcome, const unsigned char *sent,
                             const unsigned char *held);

// Requests one frame into frame (FRAME_LENGTH bytes) and publishes it. SESSION_OK;
// SESSION_ABORTED as soon as the wait finds *running cleared; else a failure, told.
int ReceiveSessionFrame(SensorSession *session, const volatile int *running,
                        unsigned char frame[FRAME_LENGTH]);
// What the frame loop does with each frame (outcome SESSION_OK, frame the loop's buffer) or
// with a failed request (frame null); false ends the loop.
using FrameStep = bool (*)(int outcome, const unsigned char *frame, void *context);
// Frames one after another into frame (FRAME_LENGTH bytes or more) while *running is set and
// step asks for more; returns the outcome that ended it (SESSION_OK when running or step did).
// A wait that finds *running cleared ends the loop at once, without a step.
int RunFrameLoop(SensorSession *session, const volatile int *running, unsigned char *frame,
                 FrameStep step, void *context);

// The device went away (the port's watch saw it): LINE LOST with message, told to the broker,
// and its presence offline until it is opened again; what was read of the unit is forgotten, as
// another may come back in its place.
void ReportSessionLost(SensorSession *session, const char *message);
// The session's outcome told to the broker: its status and message as the sensor's state.
void PublishSessionState(const SensorSession *session);
