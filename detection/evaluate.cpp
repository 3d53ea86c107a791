// The check of recorded frames against a parameter block.
#include "detection/evaluate.h"

#include <algorithm>
#include <cstring>

void BeginEvaluation(Evaluation *evaluation, const unsigned char block[BLOCK_LENGTH],
                     double nearEdge) {
    std::memset(evaluation, 0, sizeof *evaluation);
    PrepareDetection(block, &evaluation->table);
    evaluation->nearEdge = nearEdge;
}

int EvaluatedRows(const Evaluation *evaluation) {
    return DetectsByCircles(&evaluation->table) ? evaluation->table.rows : 1;
}

double AgreementShare(const Evaluation *evaluation) {
    if (evaluation->frames == 0)
        return 1.0;
    return (double)evaluation->agreeing / (double)evaluation->frames;
}

static void NoteDiffering(Evaluation *evaluation, const RecordedFrame &frame, FramePlace place,
                          unsigned char model) {
    if (evaluation->shownDiffering == EVALUATION_SHOWN)
        return;
    DifferingFrame *shown = &evaluation->differing[evaluation->shownDiffering++];
    shown->place = place;
    std::memcpy(shown->values, frame.values, FRAME_LENGTH);
    shown->model = model;
}

static void NoteDetection(const Evaluation *evaluation, RowEvaluation *row,
                          const DetectionMargin &margin, FramePlace place) {
    const bool first = row->detections++ == 0;
    bool near = false;
    if (DetectsByCircles(&evaluation->table)) {
        row->circleLeast = first ? margin.circle : std::min(row->circleLeast, margin.circle);
        row->circleSum += margin.circle;
        near = margin.circle <= evaluation->nearEdge;
    }
    if (DetectsByBands(&evaluation->table)) {
        row->bandLeast = first ? margin.band : std::min(row->bandLeast, margin.band);
        row->bandSum += margin.band;
        near = near || margin.band <= evaluation->nearEdge;
    }
    if (!near)
        return;
    if (row->shownNearEdge < EVALUATION_SHOWN)
        row->nearEdgeFrames[row->shownNearEdge++] = EdgeFrame{place, margin};
    ++row->nearEdge;
}

void EvaluateFrames(Evaluation *evaluation, const RecordedFrame *frames, size_t count,
                    int recording, long firstLine) {
    const DetectionTable *table = &evaluation->table;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char *values = frames[i].values;
        const unsigned char model = DetectWithTable(table, values);
        ++evaluation->distribution[model];
        const FramePlace place = {recording, firstLine + (long)i};
        if (model == values[M_CNO])
            ++evaluation->agreeing;
        else
            NoteDiffering(evaluation, frames[i], place, model);
        if (model != NO_COLOUR) {
            DetectionMargin margin;
            DetectionMarginOf(table, model, values, &margin);
            NoteDetection(evaluation, &evaluation->row[model], margin, place);
        }
    }
    evaluation->frames += (long)count;
}
