// The emulated measurement: a synthetic colour source, its X, Y and INT, and the detected colour
// number that the program's detection model gives it under the taught table.
#pragma once

#include "sensor/wire.h"

// The wandering colour at frame number frame: RED, GREEN and BLUE follow slow sinusoids of the
// frame counter (phases from --seed) under a common intensity envelope, so that X, Y and INT
// move smoothly across the colour plane. The same frame number always gives the same colour.
void WanderingColour(unsigned long frame, unsigned char rgb[3]);
// Makes SIGUSR1 move the presented colours (--colour) on to the next one.
void InstallColourSwitchSignal(void);
// The colour measured at frame number frame: the presented one, the --fixed one or the
// wandering one, with --noise added to each channel (limited to 0..255).
void MeasuredColour(unsigned long frame, unsigned char rgb[3]);
// X = 255*R/(R+G+B), Y = 255*G/(R+G+B), rounded down, 0 when R+G+B is 0;
// INT = (R+G+B)/4 + (R+G+B)/16 limited to 255. Writes X, Y, INT into xyi.
void ColourCoordinates(const unsigned char rgb[3], unsigned char xyi[3]);
// The 7-byte measurement frame for frame number frame under the parameter block; its C-No comes
// from the detection model (detection/model.h).
void ComposeFrame(unsigned long frame, const unsigned char block[BLOCK_LENGTH],
                  unsigned char reply[FRAME_LENGTH]);
