// Synthetic colour source and colour detection.
#include "emulator/colour.h"

#include "emulator/options.h"

#include <cmath>

static const double twoPi = 6.283185307179586;
// Periods in frames of the three channels and of the envelope; mutually prime, so the colour
// does not repeat for a long time. At the paced rate of about 100 frames a second a channel
// swings in four to eight seconds.
static const double channelPeriod[3] = {487.0, 613.0, 751.0};
static const double envelopePeriod = 1999.0;

// A phase in 0..2*pi derived from the seed for channel index (0..3).
static double SeedPhase(int index) {
    unsigned long mixed = options.seed * 2654435761UL + (unsigned long)index * 40503UL + 12345UL;
    mixed ^= mixed >> 13;
    mixed *= 0x5bd1e995UL;
    mixed ^= mixed >> 15;
    return twoPi * (double)(mixed % 100000UL) / 100000.0;
}

void WanderingColour(unsigned long frame, unsigned char rgb[3]) {
    double t = (double)frame;
    double envelope = 0.6 + 0.4 * sin(twoPi * t / envelopePeriod + SeedPhase(3));
    for (int c = 0; c < 3; ++c) {
        double level = 127.5 + 127.5 * sin(twoPi * t / channelPeriod[c] + SeedPhase(c));
        double value = floor(envelope * level + 0.5);
        rgb[c] = (unsigned char)(value < 0.0 ? 0.0 : value > 255.0 ? 255.0 : value);
    }
}

void MeasuredColour(unsigned long frame, unsigned char rgb[3]) {
    if (options.fixed) {
        for (int c = 0; c < 3; ++c) {
            rgb[c] = options.fixedRgb[c];
        }
        return;
    }
    WanderingColour(frame, rgb);
}

void ColourCoordinates(const unsigned char rgb[3], unsigned char xyi[3]) {
    int sum = rgb[0] + rgb[1] + rgb[2];
    int intensity = sum / 4 + sum / 16;
    xyi[0] = (unsigned char)(sum == 0 ? 0 : 255 * rgb[0] / sum);
    xyi[1] = (unsigned char)(sum == 0 ? 0 : 255 * rgb[1] / sum);
    xyi[2] = (unsigned char)(intensity > 255 ? 255 : intensity);
}

// Cell of teach row (0..14) and column (COL_X .. COL_ITO) in the block.
static int Cell(const unsigned char block[BLOCK_LENGTH], int row, int column) {
    return block[TeachCellOffset(row + 1, column)];
}

// Whether (X, Y) lies in the row's tolerance circle (on the rim counts as inside), and, unless
// only the position is evaluated, INT in the row's band INT-ITO..INT+ITO.
static int RowHolds(const unsigned char block[BLOCK_LENGTH], int row, const unsigned char xyi[3],
                    int checkIntensity) {
    int dx = xyi[0] - Cell(block, row, COL_X);
    int dy = xyi[1] - Cell(block, row, COL_Y);
    int radius = Cell(block, row, COL_CTO);
    if (dx * dx + dy * dy > radius * radius) {
        return 0;
    }
    int di = xyi[2] - Cell(block, row, COL_INT);
    return !checkIntensity || (di >= -Cell(block, row, COL_ITO) && di <= Cell(block, row, COL_ITO));
}

unsigned char DetectColour(const unsigned char rgb[3], const unsigned char xyi[3],
                           const unsigned char block[BLOCK_LENGTH]) {
    if (xyi[2] < block[OFFSET_INTLIM]) {
        return NO_COLOUR; // error state: too little light to evaluate
    }
    int mode = block[OFFSET_EVALMODE];
    if (mode >= EVALMODE_CONTRAST_R && mode <= EVALMODE_CONTRAST_B) {
        int value = rgb[mode - EVALMODE_CONTRAST_R];
        int upper = Cell(block, 0, COL_X); // "UL"
        int lower = Cell(block, 0, COL_Y); // "LL"
        return value >= lower && value <= upper ? 0 : NO_COLOUR;
    }
    int active = block[OFFSET_MAXCOLNO];
    int rows = active < TEACH_ROWS ? active : (int)TEACH_ROWS;
    for (int row = 0; row < rows; ++row) {
        if (RowHolds(block, row, xyi, mode != EVALMODE_XY_ONLY)) {
            return (unsigned char)row;
        }
    }
    return NO_COLOUR;
}

void ComposeFrame(unsigned long frame, const unsigned char block[BLOCK_LENGTH],
                  unsigned char reply[FRAME_LENGTH]) {
    unsigned char rgb[3];
    unsigned char xyi[3];
    MeasuredColour(frame, rgb);
    ColourCoordinates(rgb, xyi);
    reply[M_RED] = rgb[0];
    reply[M_GREEN] = rgb[1];
    reply[M_BLUE] = rgb[2];
    reply[M_X] = xyi[0];
    reply[M_Y] = xyi[1];
    reply[M_INT] = xyi[2];
    reply[M_CNO] = DetectColour(rgb, xyi, block);
}
