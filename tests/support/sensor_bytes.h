// What a scripted sensor sends: parameter blocks and measurement frames, written from the wire
// layout (84-byte block: nine parameters, then the 15 x 5 teach table; 7-byte frame: RED, GREEN,
// BLUE, X, Y, INT, C-No), not from the program's constants, so a test does not take the
// program's word for the layout it checks.
#pragma once

#include <algorithm>
#include <array>
#include <vector>

using Bytes = std::vector<unsigned char>;

constexpr int SENSOR_BLOCK_LENGTH = 84;

// The frame a healthy sensor keeps sending when a test does not care which.
inline const Bytes sampleFrame = {100, 80, 60, 120, 90, 200, 255};

// A block of the nine parameter bytes in block order (POWER, PMOD, AVERAGE, TRIGGER, EVALMODE,
// INTLIM, HOLD, MAXCOL-No., OUTMODE) and a teach table with every cell tableCell.
inline Bytes SensorBlock(const std::array<unsigned char, 9> &parameters,
                         unsigned char tableCell = 1) {
    Bytes block(SENSOR_BLOCK_LENGTH, tableCell);
    std::copy(parameters.begin(), parameters.end(), block.begin());
    return block;
}

// A block whose bytes count up in fives from seed, so that blocks of different seeds differ,
// and whose parameters every control can show as they are and no evaluation mode changes:
// POWER 55, PMOD DYN, TRIGGER 0, EVALMODE 1, MAXCOL-No. 12, OUTMODE 2.
inline Bytes SeededSensorBlock(int seed) {
    Bytes block(SENSOR_BLOCK_LENGTH);
    for (int i = 0; i < SENSOR_BLOCK_LENGTH; i++)
        block[i] = (unsigned char)(seed + i * 5);
    block[0] = 55;
    block[1] = 1;
    block[3] = 0;
    block[4] = 1;
    block[7] = 12;
    block[8] = 2;
    return block;
}

// Frame number n: RED to Y count up from n, INT is n + intensityOffset, C-No n modulo 15. An
// offset keeps INT apart from RED, so that a record with the two swapped shows.
inline Bytes FrameBytes(int n, int intensityOffset = 0) {
    return {(unsigned char)n,       (unsigned char)(n + 1), (unsigned char)(n + 2),
            (unsigned char)(n + 3), (unsigned char)(n + 4), (unsigned char)(n + intensityOffset),
            (unsigned char)(n % 15)};
}
