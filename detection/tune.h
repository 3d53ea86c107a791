// Tuning the tolerances of the active rows from their samples: every row's circle and band hold
// all of its own samples and none of another row's, with the smallest margin as large as it can
// be; where two colours cannot be told apart, the colliding samples are named. Free of Qt.
//
// How it tunes, row by row (a row's tolerances decide only its own margins, so each row is
// tuned on its own):
// - Samples below INTLIM are never detected: they are left out (and show in the confusion
//   table as 255). The row's X, Y and INT are the means of the rest (detection/teach.h).
// - A row's margin is the least of: how far inside the circle its farthest own sample lies (X/Y
//   units), how far inside the band its farthest own sample lies (INT units; not in the X/Y-only
//   mode) and how far outside the row the nearest sample of another row lies, in whichever of
//   circle or band keeps it out by more. Circles may overlap where the bands keep samples apart.
// - CTO and ITO range from the smallest that hold every own sample up to what the teach rule
//   proposes; a lone colour thus gets the teach rule's tolerances. Among them the tuner takes
//   the pair with the largest margin, and of those the one whose other margin (circle or band,
//   whichever is not the least) is largest.
// - No row holds another row's sample, so the rows' order (the first row wins) plays no part.
// - A sample of another row that lies inside the smallest circle and band holding a row's own
//   samples cannot be kept out: the two colours collide, and nothing should be sent.
// The contrast modes (one channel between limits) have no circles to tune and are refused.
#pragma once

#include "detection/teach.h"
#include "sensor/wire.h"

#include <cstddef>

// The samples of one row.
struct SampleSet {
    const ColourSample *samples;
    size_t count;
};

// A sample: its row and its index in the row's set; row -1 is none.
struct SampleRef {
    int row;
    long index;
};

enum {
    TUNE_SHOWN_COLLISIONS = 10,
    CONFUSION_NONE = TEACH_ROWS, // the confusion table's column of C-No 255
    CONFUSION_COLUMNS = TEACH_ROWS + 1,
};
enum { TUNE_SEPARATED = 0, TUNE_COLLIDING = 1, TUNE_REFUSED = -1 };

// A sample of another row inside every circle and band that hold row's own samples.
struct Collision {
    int row;
    SampleRef intruder;
    SampleRef nearest; // row's own sample nearest to it
};

struct TunedRow {
    TeachProposal teach;    // means and the teach rule's tolerances (the most the tuner gives)
    long belowLimit;        // samples under INTLIM, left out
    int cto, ito;           // proposed; with a collision the smallest that hold the samples
    double insideCircle;    // how far inside the circle the farthest own sample lies
    int insideBand;         // how far inside the band (0 and meaningless in the X/Y-only mode)
    int hasOther;           // 1 when other rows have samples to keep out
    double outside;         // how far outside the nearest sample of another row lies
    SampleRef nearestOther; // that sample
    double margin;          // the least of the above
    double coverage;        // share of the row's samples that the model detects as the row
};

struct TuneResult {
    int status;       // TUNE_SEPARATED, TUNE_COLLIDING or TUNE_REFUSED
    char reason[160]; // why it was refused
    int rows;
    int checksBand;                    // 0 in the X/Y-only mode
    unsigned char block[BLOCK_LENGTH]; // base with the rows, their tolerances and MAXCOL-No.
    TunedRow row[TEACH_ROWS];
    long collisions; // all of them; the first TUNE_SHOWN_COLLISIONS are kept
    int shownCollisions;
    Collision collision[TUNE_SHOWN_COLLISIONS];
    long confusion[TEACH_ROWS][CONFUSION_COLUMNS]; // true row x the model's C-No on block
    double smallestMargin;
    int smallestRow;
};

// Tunes rows 0 to rows - 1 from sets[0..rows-1] on the parameters of base (EVALMODE, INTLIM and
// the rest; MAXCOL-No. becomes rows) under the teach rule. Fills result and returns its status.
int TuneTolerances(const unsigned char base[BLOCK_LENGTH], const SampleSet *sets, int rows,
                   const TeachRule *rule, TuneResult *result);
