// The reports of a check and of a tuning from one result, in the panel's report box and on a
// terminal: the same figures in both, the box's short lines, places named as each layout names
// them, and names of any length.
#include "detection/report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Row 0 at (100, 100), CTO 5, INT 100 +- 10, as evaluated from two recordings.
void MakeEvaluation(Evaluation *evaluation, unsigned char *block, int mode) {
    std::memset(block, 1, BLOCK_LENGTH);
    block[OFFSET_EVALMODE] = (unsigned char)mode;
    block[OFFSET_INTLIM] = 10;
    block[OFFSET_MAXCOLNO] = 1;
    const unsigned char row0[TEACH_COLUMNS] = {100, 100, 5, 100, 10};
    std::memcpy(&block[TeachCellOffset(1, COL_X)], row0, TEACH_COLUMNS);
    // In the middle; 1 inside the rim; outside where the sensor said row 0; on the rim.
    const RecordedFrame first[] = {{0, {10, 1, 1, 100, 100, 100, 0}},
                                   {0, {10, 1, 1, 104, 100, 100, 0}}};
    const RecordedFrame second[] = {{0, {10, 1, 1, 110, 100, 100, 0}},
                                    {0, {10, 1, 1, 103, 104, 95, 0}}};
    BeginEvaluation(evaluation, block, DEFAULT_NEAR_EDGE);
    EvaluateFrames(evaluation, first, 2, 0, 2);
    EvaluateFrames(evaluation, second, 2, 1, 7);
}

std::vector<std::string> LinesOf(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(Reports, ACheckGivesTheSameFiguresInTheReportBoxAndOnATerminal) {
    static Evaluation evaluation;
    unsigned char block[BLOCK_LENGTH];
    MakeEvaluation(&evaluation, block, 0);
    const std::string longName = "/" + std::string(700, 'd') + "/b.csv";
    const CheckedRecordings checked = {"set.dat", block, {"a.csv", longName}, {2, 2}};
    std::string panel, terminal;
    AppendEvaluationReport(&panel, evaluation, checked, REPORT_PANEL);
    AppendEvaluationReport(&terminal, evaluation, checked, REPORT_TERMINAL);

    // Three detections of row 0: margins 5, 1 and 0 in the circle, 10, 10 and 5 in the band.
    const RowFigures figures = FiguresOfRow(evaluation, 0);
    EXPECT_EQ(figures.detections, 3);
    EXPECT_DOUBLE_EQ(figures.circleMean, 2.0);
    EXPECT_EQ(figures.bandLeast, 5);
    for (const char *part : {"The table of set.dat against\na.csv, 2 frames;\n",
                             "3 of 4 frames: 75", "  7: 0, model 255 (X 110, Y 100, INT 100)\n",
                             "row 0: 3 detections\n", "  circle: 0.00 inside at least, 2.00 mean\n",
                             "  INT band: 5 inside at least, 8.33 mean\n",
                             "  2 within 2 units of an edge, lines:\n   3, 8\n"})
        EXPECT_NE(panel.find(part), std::string::npos) << part << "\n" << panel;
    for (const std::string &line : LinesOf(panel))
        EXPECT_TRUE(line.size() <= 45 || line.find(longName) != std::string::npos) << line;
    // The terminal names every frame by its recording, whatever the length of its name.
    const std::vector<std::string> terminalParts = {
        "parameters: set.dat: EVALMODE 0, MAXCOL-No. 1, INTLIM 10\n",
        "frames: 4 (a.csv 2, " + longName + " 2)\n",
        "3 of 4 frames, 75.00 %\n",
        "  " + longName + ":7: recorded C-No 0, model 255 (RED 10, GREEN 1, BLUE 1, X 110",
        "inside the circle by 0.00 at least, 2.00 on average; inside the INT band by 5 at least, "
        "8.33 on average; 2 near an edge (within 2):\n",
        "  a.csv:3 (circle 1.00, INT band 10)\n  " + longName + ":8 (circle 0.00, INT band 5)\n"};
    for (const std::string &part : terminalParts)
        EXPECT_NE(terminal.find(part), std::string::npos) << part << "\n" << terminal;

    // A contrast mode checks one channel between LL and UL of row 0: both name its band.
    block[TeachCellOffset(1, COL_X)] = 20; // UL
    block[TeachCellOffset(1, COL_Y)] = 5;  // LL
    block[OFFSET_EVALMODE] = EVALMODE_CONTRAST_R;
    const RecordedFrame red[] = {{0, {12, 1, 1, 0, 0, 100, 0}}};
    BeginEvaluation(&evaluation, block, DEFAULT_NEAR_EDGE);
    EvaluateFrames(&evaluation, red, 1, 0, 2);
    panel.clear();
    terminal.clear();
    AppendEvaluationReport(&panel, evaluation, checked, REPORT_PANEL);
    AppendEvaluationReport(&terminal, evaluation, checked, REPORT_TERMINAL);
    EXPECT_NE(panel.find("  RED band: 7 inside at least, 7.00 mean\n"), std::string::npos) << panel;
    EXPECT_EQ(panel.find("circle"), std::string::npos) << panel;
    EXPECT_NE(terminal.find("; inside the RED band by 7 at least"), std::string::npos) << terminal;
}

std::string Named(SampleRef ref, const void *context) {
    return std::string(static_cast<const char *>(context)) + std::to_string(ref.row) + ":" +
           std::to_string(ref.index);
}

TEST(Reports, ATuningGivesTheSameFiguresInTheReportBoxAndOnATerminal) {
    // Two samples of row 0 and one of row 1 between them: they collide.
    const std::vector<ColourSample> row0 = {{100, 50, 100}, {102, 50, 100}, {0, 0, 5}};
    const std::vector<ColourSample> row1 = {{101, 50, 100}};
    const SampleSet sets[2] = {{row0.data(), row0.size()}, {row1.data(), row1.size()}};
    unsigned char base[BLOCK_LENGTH];
    std::memset(base, 1, sizeof base);
    base[OFFSET_INTLIM] = 10;
    static TuneResult result;
    ASSERT_EQ(TuneTolerances(base, sets, 2, &DEFAULT_TEACH_RULE, &result), TUNE_COLLIDING);
    // The sample below INTLIM counts among the row's samples, as 255 in the confusion table.
    EXPECT_EQ(SamplesOfRow(result, 0), 3);
    TunedSamples samples = {DEFAULT_TEACH_RULE, Named, "sample ", {"red.csv", "blue.csv"}};
    std::string panel, terminal;
    AppendTuningReport(&panel, result, samples, REPORT_PANEL);
    AppendTuningReport(&terminal, result, samples, REPORT_TERMINAL);
    for (const char *part :
         {MODEL_NOTE, "Tuning rows 0-1 from their samples\n(teach rule: k 1, margin 1):\n",
          "NOT TOLD APART; colliding samples: 1.\n", "row 0 holds row 1's sample\n  sample 1:0\n",
          "row 0: 3 samples; X 101, Y 50, INT 100\n", "  1 samples below INTLIM left out\n",
          "row   0   1 255\n  0   2   0   1\n  1   1   0   0\n"})
        EXPECT_NE(panel.find(part), std::string::npos) << part << "\n" << panel;
    for (const char *part :
         {"row 0: 3 samples (red.csv), 1 below INTLIM left out; X 101, Y 50, INT 100;",
          "1 sample of other rows lie inside", "  sample 1:0 lies inside row 0, next to its sample",
          "  row        0        1      255\n    0        2        0        1\n",
          "coverage: row 0 66.67 %, row 1 0.00 %\n"})
        EXPECT_NE(terminal.find(part), std::string::npos) << part << "\n" << terminal;
    // The report box gives the verdict first; a terminal after the rows.
    EXPECT_LT(panel.find("NOT TOLD APART"), panel.find("row 0: 3 samples"));
    EXPECT_GT(terminal.find("smallest margin"), terminal.find("row 1: 1 samples"));
}

} // namespace
