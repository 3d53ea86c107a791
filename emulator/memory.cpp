// RAM and EEPROM of the emulated sensor.
#include "emulator/memory.h"

#include "emulator/block_file.h"
#include "emulator/colour.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

unsigned char sensorRAM[BLOCK_LENGTH];
unsigned char sensorEEPROM[BLOCK_LENGTH];
static const char *eepromPath = nullptr;

enum {
    FACTORY_CTO = 10,
    FACTORY_ITO = 10,
    FIRST_TEACH_FRAME = 40, // the wandering colour's frame taught into row 0
    TEACH_FRAME_STEP = 97,  // frames between the colours of two rows
};

// The nine parameters of a sensor fresh from the factory: POWER 200 on the slider (stored
// inverted), STAT, no averaging, continuous trigger, colour-vector mode, intensity limit 10,
// no hold, three active rows, binary outputs.
static const unsigned char factoryParameters[PARAMETER_COUNT] = {55, 0, 0, 1, 0, 10, 0, 3, 2};

// Every row holds a colour that the wandering source passes through, so that with the factory
// table C-No changes while the colour moves.
static void FactoryBlock(unsigned char block[BLOCK_LENGTH]) {
    memcpy(block, factoryParameters, PARAMETER_COUNT);
    for (int row = 1; row <= TEACH_ROWS; ++row) {
        unsigned char rgb[3];
        unsigned char xyi[3];
        WanderingColour((unsigned long)(FIRST_TEACH_FRAME + TEACH_FRAME_STEP * (row - 1)), rgb);
        ColourCoordinates(rgb, xyi);
        block[TeachCellOffset(row, COL_X)] = xyi[0];
        block[TeachCellOffset(row, COL_Y)] = xyi[1];
        block[TeachCellOffset(row, COL_CTO)] = FACTORY_CTO;
        block[TeachCellOffset(row, COL_INT)] = xyi[2];
        block[TeachCellOffset(row, COL_ITO)] = FACTORY_ITO;
    }
}

int InitSensorMemory(const char *eepromFile) {
    FactoryBlock(sensorRAM);
    memcpy(sensorEEPROM, sensorRAM, BLOCK_LENGTH);
    eepromPath = eepromFile;
    if (eepromFile != nullptr && LoadBlockFile(eepromFile, sensorEEPROM) < 0) {
        fprintf(stderr,
                "sensor-emulator: %s is not a parameter file (84 numbers 0..255, one per line); "
                "not touching it\n",
                eepromFile);
        return -1;
    }
    return 0;
}

void WriteSensorRAM(const unsigned char block[BLOCK_LENGTH]) {
    memcpy(sensorRAM, block, BLOCK_LENGTH);
}

void WriteSensorEEPROM(const unsigned char block[BLOCK_LENGTH]) {
    memcpy(sensorEEPROM, block, BLOCK_LENGTH);
    if (eepromPath != nullptr && SaveBlockFile(eepromPath, sensorEEPROM) != 0) {
        fprintf(stderr, "sensor-emulator: cannot write %s: %s\n", eepromPath, strerror(errno));
    }
}
