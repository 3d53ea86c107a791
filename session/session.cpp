// One sensor's session: its name, its exchanges and what every exchange tells the broker.
#include "session/session.h"

#include "changes/blockdiff.h"
#include "changes/changelog.h"
#include "com232/exchanges.h"
#include "line/sensorname.h"
#include "platform/serial/rs232.h"
#include "telemetry/telemetry.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

void SetOutcome(SensorSession *session, int outcome, const char *status, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

void SetOutcome(SensorSession *session, int outcome, const char *status, const char *format, ...) {
    session->outcome = outcome;
    std::snprintf(session->status, sizeof session->status, "%s", status);
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(session->message, sizeof session->message, format, arguments);
    va_end(arguments);
}

// A failed exchange during what, against expected bytes: the device gone, or the answer
// missing, short or long. Told to the broker.
int FailExchange(SensorSession *session, const char *what, int expected) {
    if (ComLineLost(session->link.port)) {
        char message[SESSION_MESSAGE_LEN];
        std::snprintf(message, sizeof message, "the device went away during %s", what);
        ReportSessionLost(session, message);
        return SESSION_LINE_LOST;
    }
    if (session->reply.length == 0)
        SetOutcome(session, SESSION_TIMEOUT, "TIMEOUT", "no answer to %s within %.1f s", what,
                   session->link.replyTimeout);
    else
        SetOutcome(session, SESSION_TIMEOUT, "TIMEOUT", "%s: %d bytes came back, %d expected", what,
                   session->reply.length, expected);
    PublishSessionState(session);
    return session->outcome;
}

void SetLineOk(SensorSession *session) {
    SetOutcome(session, SESSION_OK, "LINE OK", "%s", "");
}

// A memory's slot of what was read: anything but the EEPROM is the RAM, as on the wire.
int MemoryIndex(int memory) {
    return memory == MEMORY_EEPROM ? MEMORY_EEPROM : MEMORY_RAM;
}

void Remember(SensorSession *session, int memory, const unsigned char *block) {
    memory = MemoryIndex(memory);
    std::memcpy(session->lastRead[memory], block, BLOCK_LENGTH);
    session->readKnown[memory] = true;
}

ChangeEntry EntryOf(const SensorSession *session, int memory, const unsigned char *block,
                    const SessionWrite &write) {
    ChangeEntry entry;
    entry.sensor = session->name;
    entry.port = session->label;
    entry.device = session->device;
    entry.memory = memory;
    entry.source = write.source;
    entry.backup = write.backup;
    const int slot = MemoryIndex(memory);
    entry.before = write.before               ? write.before
                   : session->readKnown[slot] ? session->lastRead[slot]
                                              : nullptr;
    entry.after = block;
    return entry;
}

// The write itself and, with verify, the read-back.
int WriteAndVerify(SensorSession *session, int memory, const unsigned char *block, bool verify,
                   unsigned char *readBack) {
    if (ExchangeWriteBlock(&session->link, WriteCommandFor(memory), block, &session->reply) !=
        EXCHANGE_OK) {
        const bool lost = ComLineLost(session->link.port);
        SetOutcome(session, lost ? SESSION_LINE_LOST : SESSION_TIMEOUT,
                   lost ? "LINE LOST" : "TIMEOUT",
                   "the line did not take the whole block; the sensor may hold part of it");
        PublishSessionState(session);
        return WRITE_FAILED;
    }
    // Until a read shows it, what the memory holds now is not known.
    session->readKnown[MemoryIndex(memory)] = false;
    PublishParametersOf(session->telemetrySlot, block, MemoryName(memory));
    if (!verify)
        return WRITE_SENT;
    // A read before the sensor has settled would find the old block: a stop here is no mismatch.
    if (!SettleBeforeRead(session, memory)) {
        SetOutcome(session, SESSION_INTERRUPTED, "INTERRUPTED",
                   "the block was sent to %s; a signal ended the run before its verify",
                   MemoryName(memory));
        return WRITE_FAILED;
    }
    if (ReadSessionMemory(session, memory, readBack) != SESSION_OK)
        return WRITE_FAILED;
    return std::memcmp(readBack, block, BLOCK_LENGTH) == 0 ? WRITE_VERIFIED : WRITE_DIFFERS;
}

} // namespace

int PortNumberOfText(const char *port) {
    const int number = ComNumberOf(port);
    if (number > 0)
        return number;
    char *end = nullptr;
    const long plain = std::strtol(port, &end, 10);
    if (end != port && *end == '\0')
        return plain >= 1 && plain <= COM_MAX_PORT ? (int)plain : 0;
    // A relative path that names something here is meant from the working directory; the serial
    // services would take it as a name under /dev.
    struct stat here {};
    char absolute[FILE_PATH_LEN];
    if (port[0] != '/' && lstat(port, &here) == 0 && AbsolutePath(port, absolute, sizeof absolute))
        return ComPortForDevice(absolute);
    return ComPortForDevice(port);
}

std::string SensorNameFor(const char *device, const std::string &given) {
    return given.empty() ? SensorNameOfDevice(device) : given;
}

void BeginSession(SensorSession *session, int port, const std::string &name, int telemetrySlot,
                  double (*clock)(void)) {
    session->link = MakeSensorLink(port, clock);
    session->telemetrySlot = telemetrySlot;
    FormatPortLabel(session->label, sizeof session->label, port);
    session->device[0] = '\0';
    ComPortDevice(port, session->device, sizeof session->device);
    std::snprintf(session->name, sizeof session->name, "%s",
                  SensorNameFor(session->device, name).c_str());
    session->identity[0] = '\0';
    session->readKnown[MEMORY_RAM] = session->readKnown[MEMORY_EEPROM] = false;
    session->outcome = SESSION_OK;
    session->status[0] = session->message[0] = '\0';
    session->reply = LinkReply{};
}

int OpenSession(SensorSession *session) {
    const int port = session->link.port;
    const int code = OpenSensorPort(port);
    if (code < 0) {
        char why[SESSION_MESSAGE_LEN] = "";
        ComOpenFailure(port, why, sizeof why);
        SetOutcome(session, SESSION_OPEN_FAILED, OpenErrorText(code), "%s", why);
        if (!ComPortBusy(port))
            PublishSessionState(session);
        return SESSION_OPEN_FAILED;
    }
    ComPortIdentity(port, session->identity, sizeof session->identity);
    // A path names where a device is, not which unit it is.
    if (std::strncmp(session->identity, "path:", 5) == 0)
        session->identity[0] = '\0';
    AnnounceSensorOf(session->telemetrySlot);
    return SESSION_OK;
}

int CheckSessionLine(SensorSession *session) {
    if (ExchangeLineCheck(&session->link, session->receive, &session->reply) == EXCHANGE_OK) {
        SetLineOk(session);
        PublishStatusOf(session->telemetrySlot, "LINE OK");
        return SESSION_OK;
    }
    if (session->reply.length != 1)
        return FailExchange(session, "the line check", 1);
    SetOutcome(session, SESSION_TIMEOUT, "TIMEOUT",
               "the line check was answered with 0x%02X, not 0x%02X", session->receive[0],
               LineOkReply);
    PublishSessionState(session);
    return SESSION_TIMEOUT;
}

int ReadSessionMemory(SensorSession *session, int memory, unsigned char block[BLOCK_LENGTH]) {
    if (ExchangeReadBlock(&session->link, ReadCommandFor(memory), session->receive,
                          &session->reply) != EXCHANGE_OK) {
        char what[SESSION_STATUS_LEN];
        std::snprintf(what, sizeof what, "the %s read", MemoryName(memory));
        return FailExchange(session, what, BLOCK_LENGTH);
    }
    std::memcpy(block, session->receive, BLOCK_LENGTH);
    Remember(session, memory, block);
    SetLineOk(session);
    PublishParametersOf(session->telemetrySlot, block, MemoryName(memory));
    return SESSION_OK;
}

bool SettleBeforeRead(SensorSession *session, int memory) {
    const double start = session->link.clock();
    const volatile int *keepWaiting = session->keepWaiting;
    while (session->link.clock() - start < SettleSecondsBeforeRead(memory)) {
        if (keepWaiting && *keepWaiting == 0)
            return false;
        GetInQLen(session->link.port);
    }
    return !keepWaiting || *keepWaiting != 0;
}

int WriteSessionMemory(SensorSession *session, int memory, const unsigned char block[BLOCK_LENGTH],
                       const SessionWrite &write, unsigned char readBack[BLOCK_LENGTH],
                       std::string *logTrouble) {
    logTrouble->clear();
    ChangeEntry entry = EntryOf(session, memory, block, write);
    std::string why;
    if (!LogWriteAhead(&entry, session->lineLog, &why))
        *logTrouble = why;
    // The entry points at the memory's last read, which the verify may replace.
    unsigned char before[BLOCK_LENGTH];
    if (entry.before) {
        std::memcpy(before, entry.before, BLOCK_LENGTH);
        entry.before = before;
    }
    const int outcome = WriteAndVerify(session, memory, block, write.verify, readBack);
    if (outcome != WRITE_FAILED)
        SetLineOk(session);
    if (!LogOutcome(entry, WriteOutcomeText(session, outcome, block, readBack), session->lineLog,
                    &why))
        *logTrouble = why;
    return outcome;
}

int ReceiveSessionFrame(SensorSession *session, const volatile int *running,
                        unsigned char frame[FRAME_LENGTH]) {
    const int exchange = ExchangeFrame(&session->link, running, session->receive, &session->reply);
    if (exchange == EXCHANGE_ABORTED)
        return SESSION_ABORTED;
    if (exchange != EXCHANGE_OK)
        return FailExchange(session, "a data request", FRAME_LENGTH);
    std::memcpy(frame, session->receive, FRAME_LENGTH);
    PublishFrameOf(session->telemetrySlot, frame);
    return SESSION_OK;
}

int RunFrameLoop(SensorSession *session, const volatile int *running, unsigned char *frame,
                 FrameStep step, void *context) {
    while (*running) {
        const int outcome = ReceiveSessionFrame(session, running, frame);
        if (outcome == SESSION_ABORTED)
            return SESSION_OK;
        if (!step(outcome, outcome == SESSION_OK ? frame : nullptr, context))
            return outcome;
    }
    return SESSION_OK;
}

std::string WriteOutcomeText(const SensorSession *session, int outcome, const unsigned char *sent,
                             const unsigned char *held) {
    if (outcome == WRITE_VERIFIED)
        return "verified";
    if (outcome == WRITE_SENT)
        return "not verified";
    if (outcome == WRITE_DIFFERS)
        return "failed: " + DescribeDifferences(DiffBlocks(sent, held), 3) + " (sent -> held)";
    return session->message;
}

void ReportSessionLost(SensorSession *session, const char *message) {
    SetOutcome(session, SESSION_LINE_LOST, "LINE LOST", "%s", message);
    session->readKnown[MEMORY_RAM] = session->readKnown[MEMORY_EEPROM] = false;
    PublishSessionState(session);
    // Its port is closed: the process no longer serves it, though it may serve it again.
    WithdrawSensorOf(session->telemetrySlot);
}

void PublishSessionState(const SensorSession *session) {
    PublishStateOf(session->telemetrySlot, session->status, session->message);
}
