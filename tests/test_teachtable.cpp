// Teaching the current measurement into the COLOR TEACH TABLE, and the table reset.
#include "gui/records.h"
#include "gui/teachtable.h"
#include "state/globals.h"
#include "support/panel_fixture.h"

#include <array>
#include <cstring>
#include <string>

namespace {

// Rows as the user counts them, 0..14.
void SetCell(int row, int column, int value) {
    SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row + 1), value);
}

// Distinct cell values, so that any stray or missing write shows.
int Distinct(int row, int column) {
    return 100 + 5 * row + column;
}

void FillDistinct() {
    for (int row = 0; row < TEACH_ROWS; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            SetCell(row, column, Distinct(row, column));
}

void Measure(int red, int green, int blue, int x, int y, int intensity) {
    const unsigned char frame[FRAME_LENGTH] = {(unsigned char)red,
                                               (unsigned char)green,
                                               (unsigned char)blue,
                                               (unsigned char)x,
                                               (unsigned char)y,
                                               (unsigned char)intensity,
                                               0};
    std::memcpy(currentMeasurement, frame, sizeof frame);
}

int No() {
    int no = -1;
    GetCtrlVal(MainPanel, PANEL_NO, &no);
    return no;
}

// Every cell but those of `row` in columns 1..lastWritten keeps its distinct value.
void ExpectOthersUntouched(int row, int lastWritten) {
    for (int r = 0; r < TEACH_ROWS; r++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            if (r != row || column > lastWritten) {
                EXPECT_EQ(Distinct(r, column), TeachCell(r, column))
                    << "row " << r << " col " << column;
            }
}

void ExpectRow(int row, const std::array<int, TEACH_COLUMNS> &cells) {
    for (int column = 1; column <= TEACH_COLUMNS; column++)
        EXPECT_EQ(cells[column - 1], TeachCell(row, column)) << "row " << row << " col " << column;
}

class TeachTable : public PanelFixture {};

} // namespace

TEST_F(TeachTable, ColourVectorModesTeachTheWholeRowWithItoByPmod) {
    for (int evalMode : {0, 2, 6, 7}) {
        for (int pmod : {0, 1}) {
            SCOPED_TRACE("EVALMODE " + std::to_string(evalMode) + " PMOD " + std::to_string(pmod));
            FillDistinct();
            SetCtrlVal(MainPanel, PANEL_EVALMODE, evalMode);
            SetCtrlVal(MainPanel, PANEL_PMOD, pmod);
            SetCtrlVal(MainPanel, PANEL_NO, 3);
            SetCtrlVal(MainPanel, PANEL_AUTOINC, 1);
            Measure(7, 8, 9, 120, 80, 200);

            TeachDataTo();

            ExpectRow(3, {120, 80, 10, 200, pmod == 0 ? 10 : 5});
            ExpectOthersUntouched(3, TEACH_COLUMNS);
            EXPECT_EQ(4, No());
            EXPECT_EQ(evalMode, ParameterSet.parameter[OFFSET_EVALMODE]);
            EXPECT_EQ(pmod, ParameterSet.parameter[OFFSET_PMOD]);
        }
    }
}

TEST_F(TeachTable, AutoIncrementMovesNoOnAndWrapsAfterTheLastRow) {
    SetCtrlVal(MainPanel, PANEL_EVALMODE, 0);
    Measure(0, 0, 0, 50, 60, 70);

    SetCtrlVal(MainPanel, PANEL_AUTOINC, 0);
    SetCtrlVal(MainPanel, PANEL_NO, 6);
    TeachDataTo();
    EXPECT_EQ(6, No());
    EXPECT_EQ(50, TeachCell(6, COL_X));

    SetCtrlVal(MainPanel, PANEL_AUTOINC, 1);
    SetCtrlVal(MainPanel, PANEL_NO, 13);
    TeachDataTo();
    EXPECT_EQ(14, No());
    FillDistinct();
    TeachDataTo();
    ExpectRow(14, {50, 60, 10, 70, 10});
    ExpectOthersUntouched(14, TEACH_COLUMNS);
    EXPECT_EQ(0, No());
}

TEST_F(TeachTable, XYOnlyModeTeachesPositionAndSmallToleranceAndKeepsIntensityCells) {
    FillDistinct();
    SetCtrlVal(MainPanel, PANEL_EVALMODE, 1);
    SetCtrlVal(MainPanel, PANEL_NO, 9);
    SetCtrlVal(MainPanel, PANEL_AUTOINC, 1);
    Measure(1, 2, 3, 33, 44, 55);

    TeachDataTo();

    EXPECT_EQ(33, TeachCell(9, COL_X));
    EXPECT_EQ(44, TeachCell(9, COL_Y));
    EXPECT_EQ(2, TeachCell(9, COL_CTO));
    ExpectOthersUntouched(9, COL_CTO);
    EXPECT_EQ(10, No());
}

TEST_F(TeachTable, ContrastModesResetTheTableAndTeachAClampedBandIntoRowZero) {
    struct Case {
        int evalMode, red, green, blue, upper, lower;
    } cases[] = {
        {4, 9, 100, 9, 115, 85},  {3, 250, 50, 50, 255, 225}, {3, 3, 50, 50, 30, 0},
        {3, 241, 0, 0, 255, 225}, {3, 240, 0, 0, 255, 225},   {3, 14, 0, 0, 30, 0},
        {3, 16, 0, 0, 31, 1},     {5, 0, 0, 239, 254, 224},   {5, 200, 200, 15, 30, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("EVALMODE " + std::to_string(c.evalMode) + " RGB " + std::to_string(c.red) +
                     "," + std::to_string(c.green) + "," + std::to_string(c.blue));
        FillDistinct();
        SetCtrlVal(MainPanel, PANEL_EVALMODE, c.evalMode);
        SetCtrlVal(MainPanel, PANEL_NO, 7);
        SetCtrlVal(MainPanel, PANEL_AUTOINC, 1);
        Measure(c.red, c.green, c.blue, 90, 91, 92);

        TeachDataTo();

        for (int row = 0; row < TEACH_ROWS; row++)
            for (int column = 1; column <= TEACH_COLUMNS; column++) {
                int expected = row == 0 && column == 1   ? c.upper
                               : row == 0 && column == 2 ? c.lower
                                                         : 1;
                EXPECT_EQ(expected, TeachCell(row, column)) << "row " << row << " col " << column;
            }
        EXPECT_EQ(0, No());
    }
}

TEST_F(TeachTable, BeforeAnyFrameTheTeachIsOfZeros) {
    std::memset(currentMeasurement, 0, sizeof currentMeasurement);
    FillDistinct();
    SetCtrlVal(MainPanel, PANEL_EVALMODE, 0);
    SetCtrlVal(MainPanel, PANEL_PMOD, 1);
    SetCtrlVal(MainPanel, PANEL_NO, 2);
    TeachDataTo();
    ExpectRow(2, {0, 0, 10, 0, 5});

    SetCtrlVal(MainPanel, PANEL_EVALMODE, 4);
    TeachDataTo();
    EXPECT_EQ(30, TeachCell(0, COL_X));
    EXPECT_EQ(0, TeachCell(0, COL_Y));
}

TEST_F(TeachTable, ResetSetsEveryCellToOneAndLeavesEverythingElse) {
    FillDistinct();
    SetCtrlVal(MainPanel, PANEL_NO, 5);
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 4);
    SetTableRowAttribute(MainPanel, PANEL_TEACHTABLE, 2, ATTR_LABEL_COLOR, 0x123456);
    SetTableRowAttribute(MainPanel, PANEL_TEACHTABLE, 15, ATTR_LABEL_COLOR, 0x00FF00);
    SetTableColumnAttribute(MainPanel, PANEL_TEACHTABLE, 3, ATTR_LABEL_TEXT, "CTO");
    int labels[TEACH_ROWS + 1] = {};
    for (int row = 1; row <= TEACH_ROWS; row++)
        GetTableRowAttribute(MainPanel, PANEL_TEACHTABLE, row, ATTR_LABEL_COLOR, &labels[row]);
    ParameterSetRecord before = ParameterSet;

    ResetTable();

    for (int row = 0; row < TEACH_ROWS; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            EXPECT_EQ(1, TeachCell(row, column)) << "row " << row << " col " << column;
    for (int row = 1; row <= TEACH_ROWS; row++) {
        int colour = -1;
        GetTableRowAttribute(MainPanel, PANEL_TEACHTABLE, row, ATTR_LABEL_COLOR, &colour);
        EXPECT_EQ(labels[row], colour) << "label of panel row " << row;
    }
    EXPECT_EQ(0x123456, labels[2]);
    char header[16] = "";
    GetTableColumnAttribute(MainPanel, PANEL_TEACHTABLE, 3, ATTR_LABEL_TEXT, header, sizeof header);
    EXPECT_STREQ("CTO", header);
    EXPECT_EQ(5, No());
    int maxcol = -1;
    GetCtrlVal(MainPanel, PANEL_MAXCOLNO, &maxcol);
    EXPECT_EQ(4, maxcol);
    EXPECT_EQ(0, std::memcmp(&before, &ParameterSet, sizeof before));
}
