// Teaching a row from many frames: the samples' means become the row's X, Y and INT, and the
// tolerances CTO and ITO are proposed to cover every sample with room to spare. Free of Qt.
//
// The rule, the same for the circle and for the band:
//   tolerance = largest distance of a sample from the taught centre + k * spread + margin,
//   rounded up, at least minimum, at most 255,
// where the distance is in X/Y units for CTO and |INT - taught INT| for ITO, and the spread is
// the samples' standard deviation: for X/Y the root mean square distance from the mean point,
// for INT the standard deviation of INT. The centre is the rounded mean, the value the table
// holds, so that every sample lies inside the proposed circle and band (the rim counts as
// inside) unless the tolerance had to stop at 255.
#pragma once

#include <cstddef>

// What a row is taught from: one frame's X, Y and INT.
struct ColourSample {
    unsigned char x, y, intensity;
};

struct TeachRule {
    double k;      // standard deviations added to the largest distance
    double margin; // units added on top
    int minimum;   // the smallest tolerance proposed
};
// One standard deviation and one unit beyond the farthest sample, at least 2 (the automatic
// adjustment's smallest circle): room for the noise that the samples did not show, and for the
// rounding of the sensor's own values.
inline constexpr TeachRule DEFAULT_TEACH_RULE = {1.0, 1.0, 2};

struct TeachProposal {
    long samples;
    unsigned char x, y, intensity; // the rounded means: the row's X, Y, INT
    unsigned char cto, ito;        // the proposed tolerances
    int coveringCto, coveringIto;  // the smallest tolerances that hold every sample (may pass 255)
    double farthest;               // largest X/Y distance of a sample from (x, y)
    int farthestBand;              // largest |INT - intensity| of a sample
    double spread, bandSpread;     // the standard deviations of the rule
};

// The sample of a frame's values (in frame order: RED, GREEN, BLUE, X, Y, INT, ...).
ColourSample SampleOfFrame(const unsigned char *values);
// Proposes the row for count samples under rule. Returns 0, or -1 when count is 0.
int ProposeTeach(const ColourSample *samples, size_t count, const TeachRule *rule,
                 TeachProposal *proposal);
// The smallest whole radius whose circle holds a point at squared distance squared (rim inside).
int CoveringRadius(long squared);
