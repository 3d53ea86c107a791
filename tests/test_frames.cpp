// The byte path between the parameter set, the wire block, the request and the replies.

#include "com232/link.h"
#include "gui/records.h"
#include "state/globals.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A value per cell that differs between all 84 positions and covers 0 and 255.
unsigned char Pattern(int index) {
    return (unsigned char)(index * 37 + 255);
}

void FillParameterSet() {
    int index = 0;
    for (int i = 0; i < PARAMETER_COUNT; i++)
        ParameterSet.parameter[i] = Pattern(index++);
    for (int row = 1; row <= TEACH_ROWS; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            ParameterSet.teachTable[row][column] = Pattern(index++);
}

} // namespace

TEST(Frames, PackAndUnpackAreExactInverses) {
    FillParameterSet();
    const ParameterSetRecord original = ParameterSet;
    PackParameters();
    std::memset(&ParameterSet, 0, sizeof ParameterSet);
    UnpackParameters();
    EXPECT_EQ(0, std::memcmp(original.parameter, ParameterSet.parameter, PARAMETER_COUNT));
    for (int row = 1; row <= TEACH_ROWS; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            EXPECT_EQ(original.teachTable[row][column], ParameterSet.teachTable[row][column])
                << "row " << row << " column " << column;

    unsigned char block[BLOCK_LENGTH];
    for (int i = 0; i < BLOCK_LENGTH; i++)
        block[i] = ParameterBlock[i] = Pattern(BLOCK_LENGTH - i);
    UnpackParameters();
    std::memset(ParameterBlock, 0, BLOCK_LENGTH);
    PackParameters();
    EXPECT_EQ(0, std::memcmp(block, ParameterBlock, BLOCK_LENGTH));
}

TEST(Frames, ParametersAndTeachCellsLandAtTheirBlockOffsets) {
    FillParameterSet();
    PackParameters();
    for (int i = 0; i < PARAMETER_COUNT; i++)
        EXPECT_EQ(ParameterSet.parameter[i], ParameterBlock[i]) << "parameter byte " << i;
    EXPECT_EQ(ParameterSet.teachTable[1][1], ParameterBlock[9]);
    EXPECT_EQ(ParameterSet.teachTable[1][5], ParameterBlock[13]);
    EXPECT_EQ(ParameterSet.teachTable[2][1], ParameterBlock[14]);
    EXPECT_EQ(ParameterSet.teachTable[15][5], ParameterBlock[83]);
    EXPECT_EQ(9, TeachCellOffset(1, 1));
    EXPECT_EQ(83, TeachCellOffset(TEACH_ROWS, TEACH_COLUMNS));
    for (int row = 1; row <= TEACH_ROWS; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            EXPECT_EQ(ParameterSet.teachTable[row][column],
                      ParameterBlock[TeachCellOffset(row, column)]);
}

TEST(Frames, WriteRequestCarriesTheBlockAndAReadAfterItOnlyItsHeader) {
    const SensorLink link = MakeSensorLink(1, nullptr);
    unsigned char block[BLOCK_LENGTH];
    for (int i = 0; i < BLOCK_LENGTH; i++)
        block[i] = Pattern(i);
    unsigned char request[HEADER_LENGTH + BLOCK_LENGTH];
    EXPECT_EQ(HEADER_LENGTH + BLOCK_LENGTH, BuildRequest(&link, WriteEEPROM, block, request));
    EXPECT_EQ(0x55, request[0]);
    EXPECT_EQ(WriteEEPROM, request[1]);
    EXPECT_EQ(0, std::memcmp(block, request + HEADER_LENGTH, BLOCK_LENGTH));

    // The read request is the two header bytes; the rest of the buffer is not touched.
    EXPECT_EQ(HEADER_LENGTH, BuildRequest(&link, ReadData, nullptr, request));
    EXPECT_EQ(0x55, request[0]);
    EXPECT_EQ(ReadData, request[1]);
    EXPECT_EQ(0, std::memcmp(block, request + HEADER_LENGTH, BLOCK_LENGTH));
}

TEST(Frames, RepliesCopyIntoTheirRecordsUnchanged) {
    for (int i = 0; i < BUFFER_LENGTH; i++)
        receiveBuffer[i] = Pattern(i + 5);
    TakeParameters();
    EXPECT_EQ(0, std::memcmp(receiveBuffer, ParameterBlock, BLOCK_LENGTH));

    std::memset(currentMeasurement, 0, FRAME_LENGTH);
    TakeData();
    EXPECT_EQ(0, std::memcmp(receiveBuffer, MeasurementFrame, FRAME_LENGTH));
    for (int i = 0; i < FRAME_LENGTH; i++)
        EXPECT_EQ(0, currentMeasurement[i]) << "TakeData must not reach the stored frame";
    StoreData();
    EXPECT_EQ(0, std::memcmp(MeasurementFrame, currentMeasurement, FRAME_LENGTH));
}
