// Fuzz target: the link's reply handling with any bytes arriving on the line in any split.
// The serial-port services are replaced at link time by a scripted port: each poll of the input
// queue lets the next piece of the input arrive, and once the input is spent the reply wait is
// moved past its time-out instead of waiting it out. The first byte picks the transaction: a
// line check, a parameter read from RAM or EEPROM, or a data transfer.
//
// What must hold whatever arrives: a reply is taken only when a read returned exactly its length
// (the block or the frame then holds those bytes), anything else leaves the records as they
// were and gives one time-out report.
#include "com232/link.h"
#include "gui/linepanel.h"
#include "gui/records.h"
#include "gui/transactions.h"
#include "platform/engine/userint.h"
#include "platform/serial/linesilence.h"
#include "platform/serial/rs232.h"
#include "state/globals.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const uint8_t *script = nullptr; // pieces still to arrive: a length byte, then that many bytes
size_t scriptLeft = 0;
std::vector<unsigned char> inQueue;
int timeouts = 0;
int lastReadCount = -1; // count of the last ComRd
unsigned char lastRead[BUFFER_LENGTH];
int framesRead = 0; // reads of exactly one frame, and the last of them
unsigned char lastFrame[FRAME_LENGTH];
int lineOkCount = 0;

// The reply waits' clock: it leaps past the time-out once nothing more will come.
double now = 0.0;

double ScriptedClock() {
    return now;
}

void ArriveNextPiece() {
    if (scriptLeft == 0) {
        now += 2 * REPLY_TIMEOUT;
        return;
    }
    size_t length = script[0];
    script++;
    scriptLeft--;
    if (length > scriptLeft)
        length = scriptLeft;
    inQueue.insert(inQueue.end(), script, script + length);
    script += length;
    scriptLeft -= length;
}

void CountTimeout(const char *title, const char *message) {
    if (std::strcmp(title, "INFO") == 0 && std::strstr(message, "TIMEOUT") != nullptr)
        timeouts++;
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

// ---- The scripted port ----------------------------------------------------------------------

int OpenComConfig(int, const char *, long, int, int, int, int, int) {
    return 0;
}
int CloseCom(int) {
    return 0;
}
int SetComTime(int, double) {
    return 0;
}
int SetCTSMode(int, int) {
    return 0;
}
// Every exchange but the line check opens with a flush: the read that follows is its own.
int FlushInQ(int) {
    inQueue.clear();
    lastReadCount = 0;
    return 0;
}
int FlushOutQ(int) {
    return 0;
}
int ComWrt(int, const unsigned char *, int count) {
    return count;
}
int GetInQLen(int) {
    ArriveNextPiece();
    return static_cast<int>(inQueue.size());
}
int ComRd(int, unsigned char *buffer, int count) {
    Check(count >= 0 && count <= BUFFER_LENGTH);
    int moved = count < static_cast<int>(inQueue.size()) ? count : static_cast<int>(inQueue.size());
    std::memcpy(buffer, inQueue.data(), static_cast<size_t>(moved));
    std::memcpy(lastRead, inQueue.data(), static_cast<size_t>(moved));
    inQueue.erase(inQueue.begin(), inQueue.begin() + moved);
    lastReadCount = moved;
    if (moved == FRAME_LENGTH) {
        framesRead++;
        std::memcpy(lastFrame, buffer, FRAME_LENGTH);
    }
    return moved;
}
int ComPortCount(void) {
    return 0;
}
int ComPortNumber(int) {
    return 0;
}
int ComPortDevice(int, char *device, int size) {
    if (size > 0)
        device[0] = '\0';
    return 0;
}
int ComPortDescription(int, char *description, int size) {
    if (size > 0)
        description[0] = '\0';
    return 0;
}
// The scripted line never goes away and the port list never changes.
int ComPortListChanged(void) {
    return 0;
}
int ComLineLost(int) {
    return 0;
}
int ComPortIsOpen(int) {
    return 1;
}
int ComPortReturned(int) {
    return 0;
}
// The engine installs its drawing; a scripted line is never silent long enough to use it.
void SetLineSilenceHook(LineSilenceHook) {}
int ComOpenFailure(int, char *text, int size) {
    if (size > 0)
        text[0] = '\0';
    return 0;
}
int ComPortBusy(int) {
    return 0;
}
// The scripted line is no device of the system's: it has no identity and no other number.
int ComPortIdentity(int, char *text, int size) {
    if (size > 0)
        text[0] = '\0';
    return 0;
}
int ComNumberOf(const char *) {
    return 0;
}
int ComPortForDevice(const char *) {
    return 0;
}

// ---- The transactions -----------------------------------------------------------------------

namespace {

void CheckParameterRead() {
    unsigned char before[BLOCK_LENGTH];
    std::memset(ParameterBlock, 0x5A, BLOCK_LENGTH);
    std::memcpy(before, ParameterBlock, BLOCK_LENGTH);
    GetParameters();
    if (lastReadCount == BLOCK_LENGTH) {
        Check(timeouts == 0 && std::memcmp(ParameterBlock, lastRead, BLOCK_LENGTH) == 0);
    } else {
        Check(timeouts == 1 && std::memcmp(ParameterBlock, before, BLOCK_LENGTH) == 0);
    }
}

// A transfer runs until a reply is not exactly one frame; that last read ends it with one
// report, and the last whole frame stays current.
void CheckDataTransfer() {
    std::memset(currentMeasurement, 0, FRAME_LENGTH);
    const unsigned char none[FRAME_LENGTH] = {};
    RunDataTransfer();
    Check(timeouts == 1 && acquisitionActive == 0 && lastReadCount != FRAME_LENGTH);
    Check(std::memcmp(currentMeasurement, framesRead > 0 ? lastFrame : none, FRAME_LENGTH) == 0);
}

void CountLineOk() {
    lineOkCount++;
}

void CheckLineCheck() {
    afterLineOk = CountLineOk;
    CheckLine();
    bool good = lastReadCount == 1 && lastRead[0] == LineOkReply;
    Check(good ? lineOkCount == 1 && timeouts == 0 : lineOkCount == 0 && timeouts == 1);
    afterLineOk = nullptr;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    syncByte = SYNC_BYTE;
    portNumber = 1;
    SetPanelLinkClock(ScriptedClock);
    SetMessagePopupHook(CountTimeout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    script = data + 1;
    scriptLeft = size - 1;
    inQueue.clear();
    timeouts = 0;
    lastReadCount = -1;
    framesRead = 0;
    lineOkCount = 0;
    switch (data[0] % 4) {
    case 0:
        CheckLineCheck();
        break;
    case 1:
        ParameterTarget = RAM;
        CheckParameterRead();
        break;
    case 2:
        ParameterTarget = EEPROM;
        CheckParameterRead();
        break;
    default:
        CheckDataTransfer();
        break;
    }
    return 0;
}
