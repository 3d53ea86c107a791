#include "state/globals.h"

int MainPanel = -1;
int portNumber = 1;
unsigned char syncByte; // 0x55 from InitVars
int ParameterTarget = RAM;
volatile int acquisitionActive = 0;
unsigned char limitLineX[256];
unsigned char limitLineY[256];
char statusText[STATUS_TEXT_LEN] = "InitVars";
char projectDir[MAX_PATHNAME_LEN];
void (*afterLineOk)(void) = nullptr;

#define CONTROL(id) {id, #id},
const ControlName panelControls[PANEL_CONTROL_COUNT] = {PANEL_CONTROLS(CONTROL)};
#undef CONTROL
