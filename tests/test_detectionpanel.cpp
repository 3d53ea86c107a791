// The panel's side of teaching from many frames, checking a recording and tuning: TEACH MANY on
// hand-made frames and on a noisy colour from the emulator, the samples as recordings, the check
// report of a recording whose frames are known, and a tuning that reaches the table only through
// Accept.
#include "detection/model.h"
#include "detection/report.h"
#include "gui/detectioncheck.h"
#include "gui/linepanel.h"
#include "gui/parameters.h"
#include "gui/teachsamples.h"
#include "gui/teachtable.h"
#include "gui/tuning.h"
#include "platform/engine/engine_access.h"
#include "platform/serial/rs232.h"
#include "platform/widgets/graphwidget.h"
#include "state/globals.h"
#include "support/command.h"
#include "support/panel_fixture.h"

#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Sample {
    int x, y, intensity;
};

void Feed(const Sample &sample) {
    const unsigned char frame[FRAME_LENGTH] = {50,
                                               60,
                                               70,
                                               (unsigned char)sample.x,
                                               (unsigned char)sample.y,
                                               (unsigned char)sample.intensity,
                                               NO_COLOUR};
    CollectTeachFrame(frame);
}

// TEACH MANY on row for exactly the given frames.
void TeachRow(int row, const std::vector<Sample> &samples) {
    SetCtrlVal(MainPanel, PANEL_NO, row);
    SetCtrlVal(MainPanel, PANEL_TAKEUNIT, TAKE_FRAMES);
    SetCtrlVal(MainPanel, PANEL_TAKEAMOUNT, (int)samples.size());
    TeachManyFrames();
    for (const Sample &sample : samples)
        Feed(sample);
}

std::string Text(int control) {
    static char text[65536];
    text[0] = '\0';
    GetCtrlVal(MainPanel, control, text, sizeof text);
    return text;
}

std::vector<int> Row(int row) {
    std::vector<int> cells;
    for (int column = 1; column <= TEACH_COLUMNS; column++)
        cells.push_back(TeachCell(row, column));
    return cells;
}

int CountPlots(GraphWidget::PlotRecord::Kind kind) {
    auto *zoom = qobject_cast<GraphWidget *>(EngineControlWidget(MainPanel, PANEL_ZOOMGRAPH));
    int count = 0;
    for (const GraphWidget::PlotRecord &plot : zoom->plotRecords())
        count += plot.kind == kind;
    return count;
}

class DetectionPanel : public PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        SetCtrlVal(MainPanel, PANEL_EVALMODE, 0);
        SetCtrlVal(MainPanel, PANEL_INTLIM, 10);
    }
};

TEST_F(DetectionPanel, TeachManyTakesItsFramesAndTeachesTheMeansWithTheRule) {
    SetCtrlVal(MainPanel, PANEL_AUTOINC, 1);
    // Means (100, 100, 200); farthest 5.66 in X/Y and 2 in INT; standard deviations 4 and 1.41:
    // CTO 5.66 + 4 + 1 -> 11, ITO 2 + 1.41 + 1 -> 5.
    TeachRow(2, {{100, 100, 200}, {104, 100, 202}, {100, 104, 198}, {96, 96, 200}});
    EXPECT_FALSE(TeachCollectionRunning());
    EXPECT_EQ(Row(2), std::vector<int>({100, 100, 11, 200, 5}));
    EXPECT_EQ(ControlValue(PANEL_NO), 3);
    Feed({0, 0, 0}); // after the collection: not taken
    EXPECT_EQ(RowSampleCount(2), 4u);
    EXPECT_NE(Text(PANEL_TEACHSTATE).find("Row 2 from 4 frames: X 100, Y 100, INT 200"),
              std::string::npos)
        << Text(PANEL_TEACHSTATE);

    // A second press ends a collection early; the X/Y-only mode keeps INT and ITO, and a CTO
    // never falls below 2.
    SetCtrlVal(MainPanel, PANEL_EVALMODE, EVALMODE_XY_ONLY);
    TeachRow(5, {{30, 40, 0}});
    SetCtrlVal(MainPanel, PANEL_TAKEAMOUNT, 50);
    SetCtrlVal(MainPanel, PANEL_NO, 6);
    TeachManyFrames();
    Feed({80, 20, 9});
    EXPECT_TRUE(TeachCollectionRunning());
    TeachManyFrames();
    EXPECT_FALSE(TeachCollectionRunning());
    EXPECT_EQ(Row(5), std::vector<int>({30, 40, 2, 1, 1}));
    EXPECT_EQ(Row(6), std::vector<int>({80, 20, 2, 1, 1}));

    // The contrast modes teach no colours.
    SetCtrlVal(MainPanel, PANEL_EVALMODE, EVALMODE_CONTRAST_G);
    TeachManyFrames();
    EXPECT_FALSE(TeachCollectionRunning());
    ASSERT_EQ(PopupsTitled("INFO").size(), 1u);
    EXPECT_NE(PopupsTitled("INFO")[0].text.find("CONTRAST"), std::string::npos);
}

TEST_F(DetectionPanel, SamplesGoToARecordingAndComeBackAsAnotherRowsSamples) {
    TeachRow(0, {{10, 20, 30}, {11, 21, 31}, {12, 22, 32}});
    const std::string file = TempPath("row0.csv");
    SetCtrlVal(MainPanel, PANEL_NO, 0);
    AnswerFileSelect(file, VAL_NEW_FILE_SELECTED);
    SaveRowSamples();
    ASSERT_TRUE(Popups().empty()) << Popups()[0].text;

    std::vector<RecordedFrame> frames;
    RecordingError error;
    const std::string text = ReadText(file);
    ASSERT_EQ(ParseRecording(text.data(), text.size(), &frames, &error), 0) << error.reason;
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].values[M_X], 12);
    EXPECT_EQ(frames[2].values[M_CNO], NO_COLOUR);
    EXPECT_NE(Lines(text)[1].find(std::string(",") + PanelSession()->name), std::string::npos)
        << text;

    SetCtrlVal(MainPanel, PANEL_NO, 4);
    LoadRowSamples();
    ASSERT_EQ(RowSampleCount(4), 3u);
    char described[256];
    DescribeSample(SampleRef{4, 1}, described, sizeof described);
    EXPECT_STREQ(described, "row0.csv:3 (X 11, Y 21, INT 31)");
    // Loaded samples are not saved again, and a bad recording changes nothing.
    SaveRowSamples();
    WriteText(file, "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\nx,0,1,2,3,4,5,6,7,COM1\n"
                    "x,0,1,2,3,4,5,600,7,COM1\n");
    LoadRowSamples();
    EXPECT_EQ(RowSampleCount(4), 3u);
    ASSERT_EQ(PopupsTitled("INFO").size(), 2u);
    EXPECT_NE(PopupsTitled("INFO")[0].text.find("row0.csv, which keeps them"), std::string::npos);
    EXPECT_NE(PopupsTitled("INFO")[1].text.find("row0.csv:3:"), std::string::npos)
        << PopupsTitled("INFO")[1].text;
}

// Row 0 at (100, 100), CTO 5, INT 100 +- 10; line 2 agrees in the middle, line 3 agrees 1 unit
// inside the rim, line 4 lies outside where the sensor reported row 0, line 5 is below INTLIM.
TEST_F(DetectionPanel, CheckingARecordingReportsAgreementDistributionAndMargins) {
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 1);
    const int row0[TEACH_COLUMNS] = {100, 100, 5, 100, 10};
    for (int column = 1; column <= TEACH_COLUMNS; column++)
        SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, 1), row0[column - 1]);
    const std::string file = TempPath("run.csv");
    WriteText(file, "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\n"
                    "t,0.0,1,1,1,100,100,100,0,COM1\n"
                    "t,0.1,1,1,1,104,100,100,0,COM1\n"
                    "t,0.2,1,1,1,110,100,100,0,COM1\n"
                    "t,0.3,1,1,1,100,100,5,255,COM1\n");
    AnswerFileSelect(file, VAL_EXISTING_FILE_SELECTED);
    CheckRecordingAgainstTable();
    const std::string report = Text(PANEL_DETECTREPORT);
    for (const char *part :
         {MODEL_NOTE, "run.csv, 4 frames", "3 of 4 frames: 75.00 %", "  4: 0, model 255 (X 110",
          "    0: 2, 50.00 %", "  255: 2, 50.00 %", "row 0: 2 detections",
          "circle: 1.00 inside at least, 3.00 mean", "INT band: 10 inside at least, 10.00 mean",
          "1 within 2 units of an edge, lines:\n   3\n"})
        EXPECT_NE(report.find(part), std::string::npos) << part << "\n" << report;
    EXPECT_EQ(Row(0), std::vector<int>(row0, row0 + TEACH_COLUMNS));
}

// Three colours far apart: each row gets the teach rule's tolerances (as worked out in the first
// test) and no sample of another row comes near.
void TeachThreeColours() {
    TeachRow(0, {{100, 50, 100}, {100, 50, 100}, {102, 50, 100}, {98, 50, 100}});
    TeachRow(1, {{50, 150, 100}, {50, 150, 100}, {50, 150, 100}, {50, 150, 100}});
    TeachRow(2, {{60, 60, 180}, {60, 62, 180}, {60, 58, 180}, {60, 60, 180}});
    ResetTable();
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 3);
}

TEST_F(DetectionPanel, ATuningReachesTheTableOnlyThroughAccept) {
    TeachThreeColours();
    const PanelValues before = CapturePanelValues();
    TuneActiveRows();
    const std::string report = Text(PANEL_DETECTREPORT);
    for (const char *part : {MODEL_NOTE, "Told apart; smallest margin 2.00 (row 0)",
                             "row   0   1   2 255\n  0   4   0   0   0\n  1   0   4   0   0\n"
                             "  2   0   0   4   0\n",
                             "CTO 5, ITO 2; coverage 100.0 %"})
        EXPECT_NE(report.find(part), std::string::npos) << part << "\n" << report;
    EXPECT_EQ(CapturePanelValues(), before);
    EXPECT_EQ(ControlAttribute(PANEL_ACCEPTTUNING, ATTR_DIMMED), 0);
    // The zoom view shows the three clouds and the proposed circles, also after a cursor move.
    EXPECT_EQ(CountPlots(GraphWidget::PlotRecord::Points), 3);
    MoveZoomView();
    EXPECT_EQ(CountPlots(GraphWidget::PlotRecord::Points), 3);
    EXPECT_EQ(CountPlots(GraphWidget::PlotRecord::Arc), 3 * 3);

    AcceptTuning();
    EXPECT_EQ(Row(0), std::vector<int>({100, 50, 5, 100, 2}));
    EXPECT_EQ(Row(1), std::vector<int>({50, 150, 2, 100, 2}));
    EXPECT_EQ(Row(2), std::vector<int>({60, 60, 5, 180, 2}));
    EXPECT_EQ(Row(3), std::vector<int>({1, 1, 1, 1, 1}));
    EXPECT_EQ(ControlAttribute(PANEL_ACCEPTTUNING, ATTR_DIMMED), 1);
    EXPECT_EQ(CountPlots(GraphWidget::PlotRecord::Points), 0);

    // Discard, and an Accept after EVALMODE changed, leave the table as it is.
    ResetTable();
    const PanelValues reset = CapturePanelValues();
    TuneActiveRows();
    DiscardTuning();
    AcceptTuning();
    EXPECT_EQ(CapturePanelValues(), reset);
    TuneActiveRows();
    SetCtrlVal(MainPanel, PANEL_EVALMODE, 2);
    AcceptTuning();
    EXPECT_EQ(Row(0), std::vector<int>({1, 1, 1, 1, 1}));
    EXPECT_EQ(PopupsTitled("INFO").size(), 1u);
}

TEST_F(DetectionPanel, ColoursThatCollideAreNamedAndCannotBeAccepted) {
    // Row 1's one sample lies on row 0's centre (101, 50), inside the circle of radius 1 and the
    // band INT 100 +- 0 that row 0's two samples need.
    TeachRow(0, {{100, 50, 100}, {102, 50, 100}});
    TeachRow(1, {{101, 50, 100}});
    ResetTable();
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 3);
    TuneActiveRows();
    EXPECT_NE(Text(PANEL_DETECTREPORT).find("Row 2 keeps no samples"), std::string::npos);
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 2);
    TuneActiveRows();
    const std::string report = Text(PANEL_DETECTREPORT);
    for (const char *part : {"NOT TOLD APART; colliding samples: 1.",
                             "row 0 holds row 1's sample\n"
                             "  row 1 frame 1 (X 101, Y 50, INT 100)\n"
                             "  nearest own: row 0 frame 1 (X 100, Y 50, INT 100)\n"})
        EXPECT_NE(report.find(part), std::string::npos) << part << "\n" << report;
    EXPECT_EQ(ControlAttribute(PANEL_ACCEPTTUNING, ATTR_DIMMED), 1);
    AcceptTuning();
    EXPECT_EQ(Row(0), std::vector<int>({1, 1, 1, 1, 1}));
}

// TEACH MANY over a pseudo-terminal from the emulator presenting 200, 60, 40 with noise: the
// means lie within a unit of the noiseless X 170, Y 51, INT 93, and the model detects every
// sample as the row taught.
TEST_F(DetectionPanel, TeachManyFromANoisyColourOverTheLine) {
    CommandRun emulator;
    ASSERT_TRUE(emulator.start(
        {Bin("sensor-emulator"), "--colour", "200,60,40", "--noise", "4", "--seed", "7"}, {}));
    const std::string device = emulator.waitForFirstLine(20.0);
    ASSERT_FALSE(device.empty());
    setenv("NVMX_COM1", device.c_str(), 1);
    OpenPort(1);
    SetCtrlVal(MainPanel, PANEL_EVALMODE, 0);
    SetCtrlVal(MainPanel, PANEL_INTLIM, 10);
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 1);
    SetCtrlVal(MainPanel, PANEL_NO, 0);
    SetCtrlVal(MainPanel, PANEL_TAKEAMOUNT, 200);
    TeachManyFrames();
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [] {
        if (!TeachCollectionRunning())
            acquisitionActive = 0;
    });
    done.start(20);
    TransferWithWatchdog();
    CloseCom(1);
    ASSERT_EQ(RowSampleCount(0), 200u);

    EXPECT_NEAR(TeachCell(0, COL_X), 170, 1);
    EXPECT_NEAR(TeachCell(0, COL_Y), 51, 1);
    EXPECT_NEAR(TeachCell(0, COL_INT), 93, 1);
    unsigned char block[BLOCK_LENGTH];
    PanelParameterBlock(block);
    std::vector<ColourSample> samples;
    GetRowSamples(0, &samples);
    for (const ColourSample &sample : samples) {
        const unsigned char values[DETECTION_VALUES] = {0,        0,        0,
                                                        sample.x, sample.y, sample.intensity};
        EXPECT_EQ(DetectColour(block, values), 0)
            << int(sample.x) << " " << int(sample.y) << " " << int(sample.intensity);
    }
}

} // namespace
