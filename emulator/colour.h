// The emulated measurement: a synthetic colour source and the sensor's own evaluation of it
// (X, Y, INT and the detected colour number against the taught table).
#pragma once

#include "sensor/wire.h"

enum { NO_COLOUR = 255 };

// The wandering colour at frame number frame: RED, GREEN and BLUE follow slow sinusoids of the
// frame counter (phases from --seed) under a common intensity envelope, so that X, Y and INT
// move smoothly across the colour plane. The same frame number always gives the same colour.
void WanderingColour(unsigned long frame, unsigned char rgb[3]);
// The colour measured at frame number frame: the --fixed colour, or the wandering one.
void MeasuredColour(unsigned long frame, unsigned char rgb[3]);
// X = 255*R/(R+G+B), Y = 255*G/(R+G+B), rounded down, 0 when R+G+B is 0;
// INT = (R+G+B)/4 + (R+G+B)/16 limited to 255. Writes X, Y, INT into xyi.
void ColourCoordinates(const unsigned char rgb[3], unsigned char xyi[3]);
// C-No for a colour under the parameter block: the first active row whose circle and intensity
// band hold it, in the contrast modes 0 when the channel lies in row 0's LL..UL, and NO_COLOUR
// when nothing matches or INT is below INTLIM.
unsigned char DetectColour(const unsigned char rgb[3], const unsigned char xyi[3],
                           const unsigned char block[BLOCK_LENGTH]);
// The 7-byte measurement frame for frame number frame under the parameter block.
void ComposeFrame(unsigned long frame, const unsigned char block[BLOCK_LENGTH],
                  unsigned char reply[FRAME_LENGTH]);
