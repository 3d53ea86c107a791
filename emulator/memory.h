// The sensor's two parameter memories, RAM and EEPROM, each one 84-byte parameter block.
// A write goes only where it is addressed; the EEPROM may live in a parameter file.
#pragma once

#include "sensor/wire.h"

extern unsigned char sensorRAM[BLOCK_LENGTH];
extern unsigned char sensorEEPROM[BLOCK_LENGTH];

// Gives RAM its factory parameter set and EEPROM a copy of it, or the content of eepromFile
// when that file exists. Returns 0, or -1 (reported on stderr) when the file exists but is not
// a parameter file; it is then left untouched.
int InitSensorMemory(const char *eepromFile);
// Replaces RAM by block.
void WriteSensorRAM(const unsigned char block[BLOCK_LENGTH]);
// Replaces EEPROM by block and, with an EEPROM file, rewrites the file atomically.
void WriteSensorEEPROM(const unsigned char block[BLOCK_LENGTH]);
