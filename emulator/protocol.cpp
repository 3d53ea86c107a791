// Request parsing, replies and faults.
#include "emulator/protocol.h"

#include "emulator/colour.h"
#include "emulator/line.h"
#include "emulator/memory.h"
#include "emulator/options.h"
#include "emulator/replay.h"

#include <cstdio>
#include <cstring>

enum { PAD_BYTE = 0x00, READ_SIZE = 256 };
#define BLOCK_TIMEOUT 1.0 // seconds for the 84 bytes behind a write header

enum { AWAIT_SYNC, AWAIT_COMMAND, AWAIT_BLOCK };

static int parserState = AWAIT_SYNC;
static unsigned char writeCommand; // WriteRAM or WriteEEPROM while a block is collected
static unsigned char incomingBlock[BLOCK_LENGTH];
static int incomingCount;
static double requestStart;      // when the sync byte of the current request arrived
static unsigned long framesSent; // data frames answered so far
static int hungUp;
static double serveStart; // log timestamps count from here
static double passStart;  // when the current pass of a replay sent its first frame
static unsigned char reply[(int)BLOCK_LENGTH + (int)MAX_EXTRA_BYTES];

static const char *CommandName(int command) {
    switch (command) {
    case WriteRAM:
        return "WriteRAM";
    case WriteEEPROM:
        return "WriteEEPROM";
    case ReadRAM:
        return "ReadRAM";
    case ReadEEPROM:
        return "ReadEEPROM";
    case ReadData:
        return "ReadData";
    case LineCheck:
        return "LineCheck";
    default:
        return "unknown, ignored";
    }
}

static void LogRequest(int command, const char *note) {
    if (options.log) {
        fprintf(stderr, "[%10.3f] request 0x55 0x%02X %s%s\n", Now() - serveStart, command,
                CommandName(command), note);
    }
}

// Length of a data frame or parameter reply after --short, --long and --param-short.
static int ShapedLength(int length) {
    int shaped = length - options.shortBy + options.longBy;
    if (length == BLOCK_LENGTH && options.paramShort) {
        --shaped;
    }
    return shaped < 0 ? 0 : shaped;
}

// Pads the reply up to length (the extra bytes of --long).
static void PadReply(int from, int length) {
    for (int i = from; i < length; ++i) {
        reply[i] = PAD_BYTE;
    }
}

// Flips one bit of every byte, a different one from byte to byte.
static void GarbleReply(int length) {
    for (int i = 0; i < length; ++i) {
        reply[i] ^= (unsigned char)(1u << (i % 8));
    }
}

// Sends the first length bytes of reply to a request of requestLength bytes. Paced, the
// request is taken to have arrived at the line rate from its first byte on, and each reply byte
// leaves when its ten bits would have been on the line.
static void SendReply(int length, int requestLength) {
    if (options.silent || length == 0) {
        return;
    }
    if (options.garble) {
        GarbleReply(length);
    }
    double start = Now();
    if (options.pace && requestStart + requestLength * BYTE_TIME > start) {
        start = requestStart + requestLength * BYTE_TIME;
    }
    start += options.lateMs / 1000.0;
    if (!options.pace) {
        if (SleepUntil(start) == 0) {
            LineWrite(reply, length);
        }
        return;
    }
    for (int i = 0; i < length; ++i) {
        if (SleepUntil(start + (i + 1) * BYTE_TIME) != 0 || LineWrite(&reply[i], 1) != 1) {
            return;
        }
    }
}

static void AnswerLineCheck(void) {
    reply[0] = (unsigned char)options.linecheckByte;
    SendReply(1, HEADER_LENGTH);
}

static void AnswerParameterRead(const unsigned char block[BLOCK_LENGTH]) {
    int length = ShapedLength(BLOCK_LENGTH);
    memcpy(reply, block, BLOCK_LENGTH);
    PadReply(BLOCK_LENGTH, length);
    SendReply(length, HEADER_LENGTH);
}

// The next recorded frame into the reply, at its recorded pace with --replay-timing. Returns 0,
// or -1 once the recording is over: the request then goes unanswered, as a sensor that stopped.
static int TakeReplayedFrame(void) {
    double delay = 0.0;
    if (NextReplayFrame(reply, &delay, options.loop) != 0) {
        LogRequest(ReadData, " after the last replayed frame, unanswered");
        return -1;
    }
    if (ReplayPassBegan()) {
        passStart = Now();
    }
    if (options.replayTiming) {
        SleepUntil(passStart + delay);
    }
    return 0;
}

static void AnswerDataRequest(void) {
    int length = ShapedLength(FRAME_LENGTH);
    if (!ReplayLoaded()) {
        ComposeFrame(framesSent, sensorRAM, reply);
    } else if (TakeReplayedFrame() != 0) {
        return;
    }
    PadReply(FRAME_LENGTH, length);
    SendReply(length, HEADER_LENGTH);
    ++framesSent;
}

// With --hangup-after N, the first request after N data frames kills the line.
static int HangUpDue(void) {
    return options.hangupAfter != NO_HANGUP && framesSent >= (unsigned long)options.hangupAfter;
}

static void HangUp(void) {
    if (options.log) {
        fprintf(stderr, "[%10.3f] hanging up after %lu data frames\n", Now() - serveStart,
                framesSent);
    }
    CloseLine();
    hungUp = 1;
}

// A request whose command byte has arrived; write commands go on to collect their block.
static void StartRequest(unsigned char command) {
    if (HangUpDue()) {
        HangUp();
        return;
    }
    parserState = AWAIT_SYNC;
    switch (command) {
    case WriteRAM:
    case WriteEEPROM:
        writeCommand = command;
        incomingCount = 0;
        parserState = AWAIT_BLOCK;
        return;
    case ReadRAM:
        LogRequest(command, "");
        AnswerParameterRead(sensorRAM);
        return;
    case ReadEEPROM:
        LogRequest(command, "");
        AnswerParameterRead(sensorEEPROM);
        return;
    case ReadData:
        LogRequest(command, "");
        AnswerDataRequest();
        return;
    case LineCheck:
        LogRequest(command, "");
        AnswerLineCheck();
        return;
    default:
        LogRequest(command, "");
        return;
    }
}

// The block of a write is whole: it goes where the command addressed it, unanswered. The write
// that --spoil-write names keeps MAXCOL-No. one off, as a sensor that failed to store it would.
static void FinishWrite(void) {
    LogRequest(writeCommand, "");
    static int writes = 0;
    if (++writes == options.spoilWrite)
        incomingBlock[OFFSET_MAXCOLNO] = (unsigned char)(incomingBlock[OFFSET_MAXCOLNO] + 1);
    if (writeCommand == WriteRAM) {
        WriteSensorRAM(incomingBlock);
    } else {
        WriteSensorEEPROM(incomingBlock);
    }
    parserState = AWAIT_SYNC;
}

// Feeds one received byte to the request parser.
static void FeedByte(unsigned char byte, double arrival) {
    switch (parserState) {
    case AWAIT_SYNC:
        // Anything but the sync byte between requests is line noise.
        if (byte == SYNC_BYTE) {
            requestStart = arrival;
            parserState = AWAIT_COMMAND;
        }
        return;
    case AWAIT_COMMAND:
        // A repeated sync byte starts the request anew, so noise before it costs nothing.
        if (byte == SYNC_BYTE) {
            requestStart = arrival;
            return;
        }
        StartRequest(byte);
        return;
    default:
        incomingBlock[incomingCount++] = byte;
        if (incomingCount == BLOCK_LENGTH) {
            FinishWrite();
        }
        return;
    }
}

void FeedRequestBytes(const unsigned char *bytes, int count, double arrival) {
    for (int i = 0; i < count && !hungUp; ++i) {
        FeedByte(bytes[i], arrival);
    }
}

// A write whose block did not come whole within the time-out is dropped: half a parameter set
// must not reach the memory.
static void ExpireWrite(double now) {
    if (parserState == AWAIT_BLOCK && now - requestStart > BLOCK_TIMEOUT) {
        LogRequest(writeCommand, " incomplete, discarded");
        parserState = AWAIT_SYNC;
    }
}

// How long the next read may wait: until a pending write expires, else without limit.
static double ReadTimeout(void) {
    if (parserState != AWAIT_BLOCK) {
        return -1.0;
    }
    double left = requestStart + BLOCK_TIMEOUT - Now();
    return left > 0.0 ? left : 0.0;
}

int ServeRequests(void) {
    unsigned char received[READ_SIZE];
    serveStart = Now();
    while (!StopRequested() && !hungUp) {
        int count = LineRead(received, (int)sizeof received, ReadTimeout());
        if (count < 0) {
            fprintf(stderr, "sensor-emulator: the line to %s is gone\n", LinePath());
            CloseLine();
            return 1;
        }
        FeedRequestBytes(received, count, Now());
        ExpireWrite(Now());
    }
    if (hungUp) {
        WaitForStop();
    }
    CloseLine();
    return 0;
}
