// The sensor's wire format: command codes, record lengths, block offsets and the parameter codes
// that both the program and the emulator read. Constants only: no program state lives here.
#pragma once

enum {
    WriteRAM = 1,
    WriteEEPROM = 2,
    ReadRAM = 3,
    ReadEEPROM = 4,
    ReadData = 5,
    LineCheck = 7,
};

enum {
    BLOCK_LENGTH = 84, // ParameterBlock
    FRAME_LENGTH = 7,  // MeasurementFrame
    HEADER_LENGTH = 2, // RequestHeader
    BUFFER_LENGTH = 1024,
    TEACH_ROWS = 15,
    TEACH_COLUMNS = 5,
    PARAMETER_COUNT = 9,
};

enum { SYNC_BYTE = 0x55, LineOkReply = 0xAA };

// EVALMODE values with a meaning of their own; 3 to 5 evaluate one channel's contrast.
enum {
    EVALMODE_XY_ONLY = 1,
    EVALMODE_CONTRAST_R = 3,
    EVALMODE_CONTRAST_G = 4,
    EVALMODE_CONTRAST_B = 5,
    LAST_EVALMODE = 7,
};
// OUTMODE 2 is BINARY; the other two values are DIRECT HI and DIRECT LO.
enum { OUTMODE_BINARY = 2 };
// PMOD 0 is STAT; any other value is DYN.
enum { PMOD_STAT = 0 };

// Offsets of the nine parameters in the block. AVERAGE sits in byte 2 (forced to 0 by
// EVALMODE 2 to 7) and HOLD in byte 6 (forced to 0 by the contrast modes).
enum {
    OFFSET_POWER = 0,
    OFFSET_PMOD = 1,
    OFFSET_AVERAGE = 2,
    OFFSET_TRIGGER = 3,
    OFFSET_EVALMODE = 4,
    OFFSET_INTLIM = 5,
    OFFSET_HOLD = 6,
    OFFSET_MAXCOLNO = 7,
    OFFSET_OUTMODE = 8,
    OFFSET_TABLE = 9,
};

// Columns of a teach row, counted from 1 as the panel table counts them.
enum { COL_X = 1, COL_Y = 2, COL_CTO = 3, COL_INT = 4, COL_ITO = 5 };
// Fields of a measurement frame.
enum { M_RED = 0, M_GREEN, M_BLUE, M_X, M_Y, M_INT, M_CNO };

// Block offset of teach cell (row, column), both counted from 1.
inline int TeachCellOffset(int row, int column) {
    return OFFSET_TABLE + TEACH_COLUMNS * (row - 1) + (column - 1);
}
