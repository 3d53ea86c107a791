// The sensor's facts as the wire carries them: command codes, record lengths, block offsets,
// the names the panel gives the fields, the POWER inversion, the memories and how long the
// sensor needs before it is read. The panel, the headless commands, telemetry, the sheet, the
// recorder and the emulator all take them from here. Free of Qt and of program state.
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

// The nine parameters' names as the panel labels them, in block order.
inline constexpr const char *PARAMETER_NAMES[PARAMETER_COUNT] = {
    "POWER", "PMOD", "AVERAGE", "TRIGGER", "EVALMODE", "INTLIM", "HOLD", "MAXCOL-No.", "OUTMODE",
};
// The teach columns' names, in column order.
inline constexpr const char *TEACH_COLUMN_NAMES[TEACH_COLUMNS] = {"X", "Y", "CTO", "INT", "ITO"};
// The measurement frame's values' names, in frame order.
inline constexpr const char *FRAME_VALUE_NAMES[FRAME_LENGTH] = {"RED", "GREEN", "BLUE", "X",
                                                                "Y",   "INT",   "C-No"};

// The panel's POWER slider counts LED intensity up, the sensor's byte counts it down: the same
// turn leads from either to the other.
inline unsigned char InvertPower(unsigned char value) {
    return static_cast<unsigned char>(255 - value);
}

// The sensor's two memories.
enum { MEMORY_RAM = 1, MEMORY_EEPROM = 2 };
inline const char *MemoryName(int memory) {
    return memory == MEMORY_EEPROM ? "EEPROM" : "RAM";
}
inline int WriteCommandFor(int memory) {
    return memory == MEMORY_EEPROM ? WriteEEPROM : WriteRAM;
}
inline int ReadCommandFor(int memory) {
    return memory == MEMORY_EEPROM ? ReadEEPROM : ReadRAM;
}
// How long the sensor needs after a request before it is read: the EEPROM finishes a write.
inline double SettleSecondsBeforeRead(int memory) {
    return memory == MEMORY_EEPROM ? 1.5 : 0.1;
}
