// The check of recorded frames against a parameter block: how often the detection model gives
// the C-No that the sensor recorded (and the first frames where it does not), the C-No
// distribution that the block would produce, and per detecting row how far inside its circle and
// band its detections lie, with the frames near an edge. With another block than the one the
// sensor held, it tells what that block would have done on the same run. Fixed-size records,
// no allocation per frame; free of Qt.
#pragma once

#include "detection/model.h"
#include "textforms/recording.h"

#include <cstddef>

enum { EVALUATION_SHOWN = 10 }; // frames kept for show: the first that differ, near an edge
// Units from a circle's rim or a band's end within which a detection counts as near an edge,
// unless the user says otherwise.
inline constexpr double DEFAULT_NEAR_EDGE = 2.0;

// Where a frame stands: the caller's number for its recording and its line there.
struct FramePlace {
    int recording;
    long line;
};

struct DifferingFrame {
    FramePlace place;
    unsigned char values[FRAME_LENGTH]; // as recorded, the sensor's C-No last
    unsigned char model;                // the model's C-No
};

struct EdgeFrame {
    FramePlace place;
    DetectionMargin margin;
};

// The detections of one row: counts, the least and the sum of the margins, the frames near an
// edge (a margin at or below the evaluation's nearEdge) and the first of them.
struct RowEvaluation {
    long detections;
    double circleLeast, circleSum;
    int bandLeast;
    double bandSum;
    long nearEdge;
    int shownNearEdge;
    EdgeFrame nearEdgeFrames[EVALUATION_SHOWN];
};

struct Evaluation {
    DetectionTable table;
    double nearEdge; // units from the rim or a band's end within which a detection is near
    long frames;
    long agreeing;
    int shownDiffering;
    DifferingFrame differing[EVALUATION_SHOWN];
    long distribution[256]; // frames per model C-No
    RowEvaluation row[TEACH_ROWS];
};

// Starts an evaluation against block; nearEdge as above.
void BeginEvaluation(Evaluation *evaluation, const unsigned char block[BLOCK_LENGTH],
                     double nearEdge);
// Adds count frames of the recording numbered recording, the first of them on line firstLine.
void EvaluateFrames(Evaluation *evaluation, const RecordedFrame *frames, size_t count,
                    int recording, long firstLine);
// The rows that detect: the active rows, row 0 alone in the contrast modes.
int EvaluatedRows(const Evaluation *evaluation);
// The share of frames whose model C-No is the recorded one (1 when there are none).
double AgreementShare(const Evaluation *evaluation);
