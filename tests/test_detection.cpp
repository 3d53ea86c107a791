// The detection model's edges, teaching from samples, the tuner on hand-worked sample sets, and
// the evaluate and tune commands on real files.
#include "detection/model.h"
#include "detection/teach.h"
#include "detection/tune.h"
#include "plant/commands.h"
#include "support/command.h"
#include "support/panel_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// A block with INTLIM 10, EVALMODE mode, the given active rows and every cell 1.
std::vector<unsigned char> Block(int mode, int maxcol) {
    std::vector<unsigned char> block(BLOCK_LENGTH, 1);
    block[OFFSET_EVALMODE] = (unsigned char)mode;
    block[OFFSET_INTLIM] = 10;
    block[OFFSET_MAXCOLNO] = (unsigned char)maxcol;
    return block;
}

void SetRow(std::vector<unsigned char> &block, int row, int x, int y, int cto, int intensity,
            int ito) {
    const int cells[5] = {x, y, cto, intensity, ito};
    for (int column = 1; column <= 5; ++column)
        block[TeachCellOffset(row + 1, column)] = (unsigned char)cells[column - 1];
}

int Detect(const std::vector<unsigned char> &block, int x, int y, int intensity, int red = 0,
           int green = 0, int blue = 0) {
    const unsigned char values[DETECTION_VALUES] = {(unsigned char)red,  (unsigned char)green,
                                                    (unsigned char)blue, (unsigned char)x,
                                                    (unsigned char)y,    (unsigned char)intensity};
    return DetectColour(block.data(), values);
}

TEST(DetectionModel, RimBandsFirstRowMaxcolIntlimAndModes) {
    std::vector<unsigned char> block = Block(0, 2);
    SetRow(block, 0, 100, 100, 5, 100, 10);
    SetRow(block, 1, 102, 100, 20, 100, 10);
    SetRow(block, 2, 150, 150, 5, 100, 10);       // inactive
    EXPECT_EQ(Detect(block, 103, 104, 100), 0);   // on the rim: inside
    EXPECT_EQ(Detect(block, 104, 104, 100), 1);   // just beyond row 0's rim, in row 1's circle
    EXPECT_EQ(Detect(block, 100, 100, 90), 0);    // band ends count
    EXPECT_EQ(Detect(block, 100, 100, 89), 255);  // below both bands
    EXPECT_EQ(Detect(block, 150, 150, 100), 255); // only an inactive row holds it
    block[OFFSET_MAXCOLNO] = 200;                 // more than 15 rows: all 15 active
    EXPECT_EQ(Detect(block, 150, 150, 100), 2);
    block[OFFSET_INTLIM] = 100;
    EXPECT_EQ(Detect(block, 100, 100, 100), 0); // INT at INTLIM is evaluated
    EXPECT_EQ(Detect(block, 100, 100, 99), 255);

    block[OFFSET_EVALMODE] = EVALMODE_XY_ONLY; // the band plays no part
    block[OFFSET_INTLIM] = 0;
    EXPECT_EQ(Detect(block, 100, 100, 5), 0);

    // CONTRAST G: row 0's UL and LL bound GREEN, limits included; INTLIM still applies.
    std::vector<unsigned char> contrast = Block(EVALMODE_CONTRAST_G, 0);
    SetRow(contrast, 0, 115, 85, 1, 1, 1);
    EXPECT_EQ(Detect(contrast, 0, 0, 50, 0, 85), 0);
    EXPECT_EQ(Detect(contrast, 0, 0, 50, 200, 115, 200), 0);
    EXPECT_EQ(Detect(contrast, 0, 0, 50, 100, 116, 100), 255);
    EXPECT_EQ(Detect(contrast, 0, 0, 9, 0, 100), 255);

    // Margins of a detection: from the rim and from the band's nearer end.
    DetectionTable table;
    block[OFFSET_EVALMODE] = 0;
    PrepareDetection(block.data(), &table);
    const unsigned char rim[DETECTION_VALUES] = {0, 0, 0, 103, 104, 108};
    DetectionMargin margin;
    DetectionMarginOf(&table, 0, rim, &margin);
    EXPECT_DOUBLE_EQ(margin.circle, 0.0);
    EXPECT_EQ(margin.band, 2);
}

TEST(TeachFromSamples, MeansAndTolerancesByTheRule) {
    // Worked by hand: centre (12, 10, 100); farthest 2 in X/Y, 4 in INT; spreads sqrt(8/3) and
    // sqrt(32/3): CTO = ceil(2 + 1.63 + 1) = 5, ITO = ceil(4 + 3.27 + 1) = 9.
    const ColourSample samples[3] = {{10, 10, 100}, {12, 10, 104}, {14, 10, 96}};
    TeachProposal proposal;
    ASSERT_EQ(ProposeTeach(samples, 3, &DEFAULT_TEACH_RULE, &proposal), 0);
    EXPECT_EQ(proposal.x, 12);
    EXPECT_EQ(proposal.y, 10);
    EXPECT_EQ(proposal.intensity, 100);
    EXPECT_EQ(proposal.cto, 5);
    EXPECT_EQ(proposal.ito, 9);

    const TeachRule bare = {0.0, 0.0, 2};
    ASSERT_EQ(ProposeTeach(samples, 3, &bare, &proposal), 0);
    EXPECT_EQ(proposal.cto, 2); // exactly the farthest sample: on the rim
    EXPECT_EQ(proposal.ito, 4);
    ASSERT_EQ(ProposeTeach(samples, 1, &bare, &proposal), 0);
    EXPECT_EQ(proposal.cto, 2); // one sample: the least tolerance
    EXPECT_EQ(proposal.ito, 2);

    // Means round half up; a spread beyond the byte range stops at 255.
    const ColourSample wide[2] = {{0, 0, 0}, {255, 255, 255}};
    ASSERT_EQ(ProposeTeach(wide, 2, &DEFAULT_TEACH_RULE, &proposal), 0);
    EXPECT_EQ(proposal.x, 128);
    EXPECT_EQ(proposal.cto, 255);
    EXPECT_EQ(proposal.ito, 255);
    EXPECT_EQ(ProposeTeach(wide, 0, &DEFAULT_TEACH_RULE, &proposal), -1);
}

// Five samples around (x, y, intensity): the centre and two units off in X and in INT.
std::vector<ColourSample> Cloud(int x, int y, int intensity) {
    auto at = [](int cx, int cy, int ci) {
        return ColourSample{(unsigned char)cx, (unsigned char)cy, (unsigned char)ci};
    };
    return {at(x, y, intensity), at(x + 2, y, intensity), at(x - 2, y, intensity),
            at(x, y, intensity + 2), at(x, y, intensity - 2)};
}

TEST(Tuner, SeparatesThreeColoursWithTheMarginsWorkedOutByHand) {
    // Row 1 sits 20 to the right of row 0 at the same INT; row 2 on row 0 in X/Y, 40 higher in
    // INT. Row 0 must keep row 1's nearest sample (18 away) out by its circle and row 2's (38
    // higher) by its band: CTO 10 and ITO 20 put both 8 and 18 from its own farthest (2) and
    // from them. Row 1 has only row 0 near in X/Y (18): CTO 10, and its band may grow to the
    // rule's limit, 2 + 30. Row 2 keeps everything out by its band (38 from row 0): ITO 20,
    // and its circle grows to the limit.
    std::vector<ColourSample> rows[3] = {Cloud(50, 50, 100), Cloud(70, 50, 100),
                                         Cloud(50, 50, 140)};
    rows[0].push_back(ColourSample{30, 30, 5}); // below INTLIM: left out, never detected
    const SampleSet sets[3] = {{rows[0].data(), rows[0].size()},
                               {rows[1].data(), rows[1].size()},
                               {rows[2].data(), rows[2].size()}};
    const TeachRule rule = {0.0, 30.0, 2};
    std::vector<unsigned char> base = Block(0, 1);
    TuneResult result;
    ASSERT_EQ(TuneTolerances(base.data(), sets, 3, &rule, &result), TUNE_SEPARATED)
        << result.reason;
    const int expected[3][4] = {{10, 20, 8, 18}, {10, 32, 8, 30}, {32, 20, 30, 18}};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(result.row[row].cto, expected[row][0]);
        EXPECT_EQ(result.row[row].ito, expected[row][1]);
        EXPECT_DOUBLE_EQ(result.row[row].insideCircle, expected[row][2]);
        EXPECT_EQ(result.row[row].insideBand, expected[row][3]);
    }
    EXPECT_DOUBLE_EQ(result.smallestMargin, 8.0);
    EXPECT_EQ(result.smallestRow, 0);
    EXPECT_DOUBLE_EQ(result.row[0].outside, 8.0);
    EXPECT_EQ(result.row[0].nearestOther.row, 1);
    EXPECT_EQ(result.row[0].nearestOther.index, 2); // (68, 50, 100)
    EXPECT_EQ(result.row[0].belowLimit, 1);
    EXPECT_EQ(result.block[OFFSET_MAXCOLNO], 3);
    EXPECT_EQ(result.block[TeachCellOffset(3, COL_INT)], 140);

    // The confusion table by the model on the written block: diagonal but for the dark sample.
    const long confusion[3][4] = {{5, 0, 0, 1}, {0, 5, 0, 0}, {0, 0, 5, 0}};
    for (int row = 0; row < 3; ++row) {
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(result.confusion[row][c], confusion[row][c]) << row << " " << c;
        EXPECT_EQ(result.confusion[row][CONFUSION_NONE], confusion[row][3]) << row;
    }
    EXPECT_DOUBLE_EQ(result.row[0].coverage, 5.0 / 6.0);
}

TEST(Tuner, RefusesOverlappingColoursNamingTheCollidingSamples) {
    std::vector<ColourSample> first = Cloud(50, 50, 100);
    std::vector<ColourSample> second = {{51, 50, 100}, {53, 50, 100}};
    const SampleSet sets[2] = {{first.data(), first.size()}, {second.data(), second.size()}};
    std::vector<unsigned char> base = Block(0, 1);
    TuneResult result;
    ASSERT_EQ(TuneTolerances(base.data(), sets, 2, &DEFAULT_TEACH_RULE, &result), TUNE_COLLIDING);
    // (51, 50, 100) lies within row 0's smallest circle (2) and band (2); row 0's sample
    // (52, 50, 100) on row 1's centre (52, 50, 100).
    ASSERT_EQ(result.collisions, 2);
    EXPECT_EQ(result.collision[0].row, 0);
    EXPECT_EQ(result.collision[0].intruder.row, 1);
    EXPECT_EQ(result.collision[0].intruder.index, 0);
    EXPECT_EQ(result.collision[0].nearest.index, 0);
    EXPECT_EQ(result.collision[1].row, 1);
    EXPECT_EQ(result.collision[1].intruder.row, 0);
    EXPECT_EQ(result.collision[1].intruder.index, 1);
    EXPECT_LE(result.smallestMargin, 0.0);

    // Two colours on one spot that only INT tells apart collide where INT is not evaluated.
    std::vector<ColourSample> brighter = Cloud(50, 50, 140);
    const SampleSet stacked[2] = {{first.data(), first.size()}, {brighter.data(), brighter.size()}};
    EXPECT_EQ(TuneTolerances(base.data(), stacked, 2, &DEFAULT_TEACH_RULE, &result),
              TUNE_SEPARATED);
    base[OFFSET_EVALMODE] = EVALMODE_XY_ONLY;
    EXPECT_EQ(TuneTolerances(base.data(), stacked, 2, &DEFAULT_TEACH_RULE, &result),
              TUNE_COLLIDING);

    base[OFFSET_EVALMODE] = EVALMODE_CONTRAST_R;
    EXPECT_EQ(TuneTolerances(base.data(), sets, 2, &DEFAULT_TEACH_RULE, &result), TUNE_REFUSED);
}

// The commands run in this process on files in a scratch folder.
class DetectionCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch = MakeScratchDirectory("nvmx-detection-");
        ASSERT_FALSE(scratch.empty());
    }
    void TearDown() override { std::filesystem::remove_all(scratch); }

    std::string Path(const std::string &name) const { return scratch + "/" + name; }

    // Runs a command with argv after "nvmxv451"; its standard output in *out, its standard
    // error in err.
    int Run(int (*command)(int, char **), std::vector<std::string> args, std::string *out) {
        args.insert(args.begin(), "nvmxv451");
        std::vector<char *> argv;
        for (std::string &arg : args)
            argv.push_back(arg.data());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int code = command((int)argv.size(), argv.data());
        err = testing::internal::GetCapturedStderr();
        *out = testing::internal::GetCapturedStdout();
        return code;
    }

    void WriteBlock(const std::string &name, const std::vector<unsigned char> &block) {
        std::string text;
        for (unsigned char byte : block)
            text += std::to_string(byte) + "\n";
        WriteText(Path(name), text);
    }

    std::string scratch;
    std::string err;
};

TEST_F(DetectionCommands, EvaluateNamesTheFramesThatDifferAndThoseNearAnEdge) {
    std::vector<unsigned char> block = Block(0, 1);
    SetRow(block, 0, 100, 100, 5, 100, 10);
    WriteBlock("set.dat", block);
    // Lines 4 and 6 carry another C-No than the model gives; line 5 lies on the rim.
    WriteText(Path("run.csv"), "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\n"
                               "t,0.00,1,2,3,100,100,100,0,COM1\n"
                               "t,0.01,1,2,3,101,100,104,0,COM1\n"
                               "t,0.02,1,2,3,140,100,100,0,COM1\n"
                               "t,0.03,1,2,3,103,104,100,0,COM1\n"
                               "t,0.04,1,2,3,100,100,5,0,COM1\n");
    std::string out;
    ASSERT_EQ(Run(RunEvaluateCommand,
                  {"evaluate", "--parameters", Path("set.dat"), Path("run.csv"), "--json"}, &out),
              0);
    EXPECT_NE(out.find("\"frames\":5,\"agreeing\":3"), std::string::npos) << out;
    EXPECT_NE(out.find("\"line\":4,\"recorded\":0,\"model\":255"), std::string::npos) << out;
    EXPECT_NE(out.find("\"line\":6,\"recorded\":0,\"model\":255"), std::string::npos) << out;
    EXPECT_NE(out.find("\"distribution\":{\"0\":3,\"255\":2}"), std::string::npos) << out;
    EXPECT_NE(out.find("\"circle\":{\"least\":0.0000"), std::string::npos) << out;
    EXPECT_NE(out.find("\"nearEdge\":1,\"nearEdgeFrames\":[{\"file\":\"" + Path("run.csv") +
                       "\",\"line\":5,\"circle\":0.0000,\"band\":10}]"),
              std::string::npos)
        << out;

    // A bad line is named with its file and line; usage errors and help.
    WriteText(Path("bad.csv"), "t,0.00,1,2,3,100,100,100,0,COM1\nt,0.01,1,2,3,100,100\n");
    EXPECT_EQ(Run(RunEvaluateCommand,
                  {"evaluate", "--parameters", Path("set.dat"), Path("bad.csv")}, &out),
              3);
    EXPECT_NE(err.find(Path("bad.csv") + ":2: too few fields"), std::string::npos) << err;
    EXPECT_EQ(Run(RunEvaluateCommand,
                  {"evaluate", "--parameters", Path("none.dat"), Path("run.csv")}, &out),
              3);
    EXPECT_NE(err.find("none.dat"), std::string::npos) << err;
    EXPECT_EQ(Run(RunEvaluateCommand, {"evaluate", Path("run.csv")}, &out), 2);
    EXPECT_EQ(Run(RunEvaluateCommand, {"evaluate", "--help"}, &out), 0);
    EXPECT_NE(out.find("not the sensor"), std::string::npos);
}

TEST_F(DetectionCommands, TuneTakesItsRowsAmongTheOtherOptionsAndNamesBadOnes) {
    const char header[] = "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\n";
    WriteText(Path("red.csv"), std::string(header) + "t,0,1,2,3,170,50,90,255,COM1\n");
    WriteText(Path("red2.csv"), std::string(header) + "t,0,1,2,3,172,50,90,255,COM1\n");
    WriteText(Path("blue.csv"), std::string(header) + "t,0,1,2,3,40,60,120,255,COM1\n");
    std::string out;
    // Rows in any order, before, between and after the other options; a row may come twice.
    ASSERT_EQ(Run(RunTuneCommand,
                  {"tune", "-o", Path("tuned.dat"), "--row", "1", Path("blue.csv"), "--k", "0",
                   "--row", "0", Path("red.csv"), "--force", "--row", "0", Path("red2.csv")},
                  &out),
              0)
        << err;
    EXPECT_NE(out.find("row 0: 2 samples (" + Path("red.csv") + ", " + Path("red2.csv") +
                       "); X 171, Y 50, INT 90;"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("written: " + Path("tuned.dat") + " (MAXCOL-No. 2)"), std::string::npos);

    // The two words are taken whatever they are; the errors say what --row wants.
    const std::string usage = "Try 'nvmxv451 tune --help'.";
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--row", "0"}, "nvmxv451 tune: --row wants a row number and a recording\n"},
        {{"--row=0", Path("red.csv")}, "nvmxv451 tune: --row wants a row number and a recording\n"},
        {{"--row", "-o", Path("red.csv")}, "nvmxv451 tune: --row wants a row 0..14, not \"-o\"\n"},
        {{"--row", "15", Path("red.csv")}, "--row wants a row 0..14, not \"15\""},
        {{"--row", "1", Path("red.csv")}, "row 1 is given but row 0 is not"},
        {{"--row", "0", Path("red.csv"), "--", "--row"}, "unexpected \"--row\""},
    };
    for (const auto &[args, message] : bad) {
        std::vector<std::string> line = {"tune", "-o", Path("bad.dat")};
        line.insert(line.end(), args.begin(), args.end());
        EXPECT_EQ(Run(RunTuneCommand, line, &out), 2) << message;
        EXPECT_NE(err.find(message), std::string::npos) << err;
        EXPECT_NE(err.find(usage), std::string::npos) << err;
    }
    EXPECT_FALSE(std::filesystem::exists(Path("bad.dat")));
    EXPECT_EQ(Run(RunTuneCommand, {"tune", "-o", Path("bad.dat"), "--row", "0", "--k"}, &out), 3);
    EXPECT_NE(err.find("--k: "), std::string::npos) << err;
}

} // namespace
