// The panel's wire records (the block, the frames, the receive buffer, the working parameter
// set) and the copy operations between them; the link (com232/) fills the receive buffer.
// Nothing here checks a value range.
#pragma once

#include "sensor/wire.h"

// The working copy of the parameters: the nine bytes in block order (POWER already inverted,
// as on the wire), then the teach table, rows and columns counted from 1.
struct ParameterSetRecord {
    unsigned char parameter[PARAMETER_COUNT];
    unsigned char teachTable[TEACH_ROWS + 1][TEACH_COLUMNS + 1]; // index 0 unused
};

extern unsigned char ParameterBlock[BLOCK_LENGTH];
extern unsigned char MeasurementFrame[FRAME_LENGTH];
extern unsigned char currentMeasurement[FRAME_LENGTH];
extern unsigned char receiveBuffer[BUFFER_LENGTH];
extern ParameterSetRecord ParameterSet;

void TakeParameters(void);   // receive buffer -> ParameterBlock
void TakeData(void);         // receive buffer -> MeasurementFrame
void StoreData(void);        // MeasurementFrame -> currentMeasurement
void PackParameters(void);   // ParameterSet -> ParameterBlock
void UnpackParameters(void); // ParameterBlock -> ParameterSet
