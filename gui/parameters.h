// The parameter set on the panel and in parameter files: the nine parameter controls and the
// COLOR TEACH TABLE moved to and from the ParameterSet, and the ".dat" files that hold the
// 84-byte ParameterBlock, one value per line.
#pragma once

#include "gui/records.h" // ParameterSet, ParameterBlock
#include "platform/engine/userint.h"

// Path chosen in the last file pop-up (save or load).
extern char parameterFilePath[MAX_PATHNAME_LEN];
// The parameter file the panel's set was last loaded from; "" once the set came from the sensor.
extern char parameterSetFile[MAX_PATHNAME_LEN];

// Panel -> ParameterSet: the nine controls in block order (POWER inverted: 255 minus the
// slider), then the teach table row 1..15, column 1..5. Each value is kept as its low 8 bits.
void ReadPanelParameters(void);
// The panel's parameters and table as an 84-byte block, in block (wire) order: reads the panel
// into the ParameterSet and packs it, so the ParameterBlock holds the same.
void PanelParameterBlock(unsigned char block[BLOCK_LENGTH]);
// ParameterSet -> panel, the reverse of ReadPanelParameters. Runs no callback and applies no
// layout; callers that need the dependent layout run ApplyEvalMode afterwards.
void ShowParameters(void);
// File pop-up; on a chosen path reads the panel, packs the block and writes it. The old file
// survives a failed write, and the failure is reported in an "INFO" pop-up naming the file.
// Cancel writes nothing.
void SaveParameterFile(void);
// File pop-up; on a chosen path reads the file. A good file becomes the ParameterBlock and is
// shown on the panel with its evaluation-mode layout. A missing or bad file is reported in an
// "INFO" pop-up naming the file and the problem, and changes neither the block, the
// ParameterSet nor the panel. Cancel does nothing.
void LoadParameterFile(void);
