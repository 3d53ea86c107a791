// The sensor's wire records and the copy operations between them.
// Every field is one unsigned byte; nothing here checks a value range.
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
    BLOCK_LENGTH = 84,  // ParameterBlock
    FRAME_LENGTH = 7,   // MeasurementFrame
    HEADER_LENGTH = 2,  // RequestHeader
    BUFFER_LENGTH = 1024,
    TEACH_ROWS = 15,
    TEACH_COLUMNS = 5,
    PARAMETER_COUNT = 9,
};

enum { LineOkReply = 0xAA };

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

// The working copy of the parameters: the nine bytes in block order (POWER already inverted,
// as on the wire), then the teach table, rows and columns counted from 1.
struct ParameterSetRecord {
    unsigned char parameter[PARAMETER_COUNT];
    unsigned char teachTable[TEACH_ROWS + 1][TEACH_COLUMNS + 1]; // index 0 unused
};

extern unsigned char ParameterBlock[BLOCK_LENGTH];
extern unsigned char MeasurementFrame[FRAME_LENGTH];
extern unsigned char currentMeasurement[FRAME_LENGTH];
extern unsigned char transmitBuffer[BUFFER_LENGTH];
extern unsigned char receiveBuffer[BUFFER_LENGTH];
extern ParameterSetRecord ParameterSet;

// Block offset of teach cell (row, column), both counted from 1.
inline int TeachCellOffset(int row, int column) {
    return OFFSET_TABLE + TEACH_COLUMNS * (row - 1) + (column - 1);
}

// syncByte and command into the transmit buffer; for the two write commands the block follows.
void BuildRequest(unsigned char command);
void TakeParameters(void); // receive buffer -> ParameterBlock
void TakeData(void);       // receive buffer -> MeasurementFrame
void StoreData(void);      // MeasurementFrame -> currentMeasurement
void PackParameters(void); // ParameterSet -> ParameterBlock
void UnpackParameters(void); // ParameterBlock -> ParameterSet
