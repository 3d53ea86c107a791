// Program-wide state: declared once here, given its initial values by InitVars.
// Every layer may include this module; it includes nothing above the engine.
#pragma once

#include "sensor/wire.h"
#include "state/panel_ids.h"

// The targets of the select buttons: the sensor's two memories or a parameter file.
enum { RAM = MEMORY_RAM, EEPROM = MEMORY_EEPROM, FILE_TARGET = 3 };
// The sensor's memory for a target: FILE reads and writes as the RAM, as on the wire.
inline int SensorMemoryOf(int target) {
    return target == EEPROM ? MEMORY_EEPROM : MEMORY_RAM;
}
enum { STATUS_TEXT_LEN = 64 };

extern int MainPanel;                  // handle of the one panel
extern int portNumber;                 // COM number in use
extern unsigned char syncByte;         // first byte of every request
extern int ParameterTarget;            // RAM, EEPROM or FILE_TARGET
extern volatile int acquisitionActive; // 1 while the transfer loop is to run
extern unsigned char limitLineX[256];  // the grey limit line X + Y = 255
extern unsigned char limitLineY[256];
extern char statusText[STATUS_TEXT_LEN];  // last status message
extern char projectDir[MAX_PATHNAME_LEN]; // start directory of the parameter-file pop-up

// Run after a good line check: reads the sensor's parameters into the panel (GetParameters).
// Installed by the program: the transactions use the panel's line (ReportTimeout, PanelLink), so
// the line calling the transactions directly would close a circle; the line's tests count good
// checks through it.
extern void (*afterLineOk)(void);
