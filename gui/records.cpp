#include "gui/records.h"

unsigned char ParameterBlock[BLOCK_LENGTH];
unsigned char MeasurementFrame[FRAME_LENGTH];
unsigned char currentMeasurement[FRAME_LENGTH];
unsigned char receiveBuffer[BUFFER_LENGTH];
ParameterSetRecord ParameterSet;

void TakeParameters(void) {
    for (int i = 0; i < BLOCK_LENGTH; i++)
        ParameterBlock[i] = receiveBuffer[i];
}

void TakeData(void) {
    for (int i = 0; i < FRAME_LENGTH; i++)
        MeasurementFrame[i] = receiveBuffer[i];
}

void StoreData(void) {
    for (int i = 0; i < FRAME_LENGTH; i++)
        currentMeasurement[i] = MeasurementFrame[i];
}

void PackParameters(void) {
    for (int i = 0; i < PARAMETER_COUNT; i++)
        ParameterBlock[i] = ParameterSet.parameter[i];
    int offset = OFFSET_TABLE;
    for (int row = 1; row <= TEACH_ROWS; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            ParameterBlock[offset++] = ParameterSet.teachTable[row][column];
}

void UnpackParameters(void) {
    for (int i = 0; i < PARAMETER_COUNT; i++)
        ParameterSet.parameter[i] = ParameterBlock[i];
    int offset = OFFSET_TABLE;
    for (int row = 1; row <= TEACH_ROWS; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            ParameterSet.teachTable[row][column] = ParameterBlock[offset++];
}
