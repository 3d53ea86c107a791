// Automatic sizing of the circle tolerances: the documented pairs on the panel, the bound on
// the active rows, and many random tables against a plainly written second implementation.
#include "gui/autoadjust.h"
#include "gui/records.h"
#include "gui/teachtable.h"
#include "platform/engine/engine_access.h"
#include "platform/widgets/graphwidget.h"
#include "state/globals.h"
#include "support/panel_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace {

struct Row {
    int x, y, cto, intensity, ito;
};

// ---- On the panel ------------------------------------------------------------------------------

void SetPanelRow(int row, const Row &r) {
    const int cells[TEACH_COLUMNS] = {r.x, r.y, r.cto, r.intensity, r.ito};
    for (int column = 1; column <= TEACH_COLUMNS; column++)
        SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row + 1), cells[column - 1]);
}

// Rows 2..14 inactive, each on top of the pair with the same band: they must not matter.
void FillInactiveRows() {
    for (int row = 2; row < TEACH_ROWS; row++)
        SetPanelRow(row, {100, 100, 9, 100, 10});
}

// Runs the adjustment on rows 0 and 1 with MAXCOL-No. 2 and returns their final CTOs.
std::pair<int, int> AdjustPair(const Row &lower, const Row &upper) {
    FillInactiveRows();
    SetPanelRow(0, lower);
    SetPanelRow(1, upper);
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 2);
    AutoAdjustTolerances();
    return {TeachCell(0, COL_CTO), TeachCell(1, COL_CTO)};
}

class AutoAdjust : public PanelFixture {};

} // namespace

TEST_F(AutoAdjust, PairsWithSharedBandsGrowUntilTheirCirclesTouch) {
    struct Case {
        const char *what;
        Row lower, upper;
        int ctoLower, ctoUpper;
    } cases[] = {
        {"distance 10", {100, 100, 2, 100, 10}, {110, 100, 2, 100, 10}, 5, 5},
        {"distance 9", {100, 100, 2, 100, 10}, {100, 109, 2, 100, 10}, 5, 4},
        {"distance 39", {100, 100, 2, 100, 10}, {139, 100, 2, 100, 10}, 20, 19},
        {"distance 40", {100, 100, 2, 100, 10}, {100, 140, 2, 100, 10}, 20, 20},
        {"distance 4", {100, 100, 2, 100, 10}, {104, 100, 2, 100, 10}, 2, 2},
        {"distance 0", {100, 100, 2, 100, 10}, {100, 100, 2, 100, 10}, 2, 2},
        {"distance 10.82 counts as 10", {100, 100, 2, 100, 10}, {109, 106, 2, 100, 10}, 5, 5},
        {"distance 5.83, lower row first", {105, 103, 2, 100, 10}, {100, 100, 2, 100, 10}, 3, 2},
        {"same point, bands 90..110 and 140..160",
         {50, 50, 2, 100, 10},
         {50, 50, 2, 150, 10},
         20,
         20},
        {"same point, bands share 110", {50, 50, 2, 100, 10}, {50, 50, 2, 120, 10}, 2, 2},
        {"band -5..15 meets 0..4", {100, 100, 2, 5, 10}, {110, 100, 2, 2, 2}, 5, 5},
        {"band 240..260 meets 255", {100, 100, 2, 250, 10}, {110, 100, 2, 255, 0}, 5, 5},
        {"old CTO above 20 restarts from 2",
         {100, 100, 50, 100, 10},
         {110, 100, 99, 100, 10},
         5,
         5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto [lower, upper] = AdjustPair(c.lower, c.upper);
        EXPECT_EQ(c.ctoLower, lower);
        EXPECT_EQ(c.ctoUpper, upper);
        EXPECT_EQ(lower, ParameterSet.teachTable[1][COL_CTO]);
        EXPECT_EQ(upper, ParameterSet.teachTable[2][COL_CTO]);
        for (int row = 2; row < TEACH_ROWS; row++)
            ASSERT_EQ(9, TeachCell(row, COL_CTO)) << "inactive row " << row << " changed";
    }
}

TEST_F(AutoAdjust, InactiveRowsNeitherChangeNorStandInTheWay) {
    ResetTable();
    SetPanelRow(0, {80, 80, 33, 100, 10});
    SetPanelRow(1, {80, 80, 7, 100, 10}); // on top of row 0, same band, but inactive
    SetPanelRow(2, {85, 80, 200, 100, 10});
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 1);
    acquisitionActive = 1;

    AutoAdjustTolerances();

    EXPECT_EQ(20, TeachCell(0, COL_CTO));
    EXPECT_EQ(7, TeachCell(1, COL_CTO));
    EXPECT_EQ(200, TeachCell(2, COL_CTO));
    EXPECT_EQ(0, acquisitionActive) << "a running transfer is stopped";

    // The result is drawn in the open zoom view at full range, inactive rows included.
    int shade = -1;
    GetCtrlAttribute(MainPanel, PANEL_ZOOMGRAPH, ATTR_VIEW_SHADE, &shade);
    EXPECT_EQ(0, shade);
    auto *graph = qobject_cast<GraphWidget *>(EngineControlWidget(MainPanel, PANEL_ZOOMGRAPH));
    ASSERT_NE(graph, nullptr);
    QVector<GraphWidget::PlotRecord> plots = graph->plotRecords();
    ASSERT_EQ(46, plots.size());
    EXPECT_EQ(QRectF(QPointF(60, 60), QPointF(100, 100)), plots[1].bounds.normalized());
    EXPECT_EQ(QRectF(QPointF(73, 73), QPointF(87, 87)), plots[4].bounds.normalized());
    double min = -1, max = -1;
    int mode = -1;
    graph->axisRange(VAL_XAXIS, &min, &max);
    EXPECT_EQ(0.0, min);
    EXPECT_EQ(255.0, max);
    GetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_LEFT_YAXIS, &mode, &min, &max);
    EXPECT_EQ(0.0, min);
    EXPECT_EQ(255.0, max);
}

TEST_F(AutoAdjust, NoActiveRowsLeavesTheTableAsItWas) {
    int before[TEACH_ROWS][TEACH_COLUMNS + 1];
    for (int row = 0; row < TEACH_ROWS; row++) {
        SetPanelRow(row, {row * 3, row * 5, 30 + row, 100, 10 + row});
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            before[row][column] = TeachCell(row, column);
    }
    SetCtrlVal(MainPanel, PANEL_MAXCOLNO, 0);
    SetAxisScalingMode(MainPanel, PANEL_ZOOMGRAPH, VAL_XAXIS, VAL_MANUAL, 10.0, 60.0);

    AutoAdjustTolerances();

    for (int row = 0; row < TEACH_ROWS; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            EXPECT_EQ(before[row][column], TeachCell(row, column))
                << "row " << row << " col " << column;
    EXPECT_EQ(before[14][COL_CTO], 44);
    auto *graph = qobject_cast<GraphWidget *>(EngineControlWidget(MainPanel, PANEL_ZOOMGRAPH));
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(46, graph->plotRecords().size());
    double min = -1, max = -1;
    graph->axisRange(VAL_XAXIS, &min, &max);
    EXPECT_EQ(0.0, min);
    EXPECT_EQ(255.0, max);
}

// ---- On a parameter set ------------------------------------------------------------------------

namespace {

// The same rules, written again from scratch over plain rows: hypot and floor for the
// distance, max(lower) <= min(upper) for the band overlap.
void ReferenceAdjust(Row rows[TEACH_ROWS], int maxcol) {
    int active = std::min(maxcol, (int)TEACH_ROWS);
    for (int pass = 3; pass <= 20; pass++) {
        for (int q = 0; q < active; q++) {
            bool blocked = false;
            for (int p = 0; p < active && !blocked; p++) {
                if (p == q)
                    continue;
                int distance =
                    (int)std::floor(std::hypot(rows[q].x - rows[p].x, rows[q].y - rows[p].y));
                if (distance > rows[q].cto + rows[p].cto)
                    continue;
                blocked =
                    std::max(rows[q].intensity - rows[q].ito, rows[p].intensity - rows[p].ito) <=
                    std::min(rows[q].intensity + rows[q].ito, rows[p].intensity + rows[p].ito);
            }
            if (!blocked)
                rows[q].cto = pass;
        }
    }
}

void ToSet(const Row rows[TEACH_ROWS], int maxcol, ParameterSetRecord *set) {
    std::memset(set, 0, sizeof *set);
    set->parameter[OFFSET_MAXCOLNO] = (unsigned char)maxcol;
    for (int r = 0; r < TEACH_ROWS; r++) {
        const int cells[TEACH_COLUMNS] = {rows[r].x, rows[r].y, rows[r].cto, rows[r].intensity,
                                          rows[r].ito};
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            set->teachTable[r + 1][column] = (unsigned char)cells[column - 1];
    }
}

} // namespace

// Crowded random tables, so that circles and bands meet often, against the reference; then
// the properties every result must have.
TEST(AdjustTolerances, MatchesAPlainImplementationOnRandomTables) {
    std::mt19937 random(4512000);
    auto uniform = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int table = 0; table < 2000; table++) {
        SCOPED_TRACE("table " + std::to_string(table));
        int spread = uniform(8, 255);
        int maxcol = table % 17 == 16 ? uniform(16, 255) : uniform(0, 15);
        int active = std::min(maxcol, (int)TEACH_ROWS);
        Row rows[TEACH_ROWS], expected[TEACH_ROWS];
        for (int r = 0; r < TEACH_ROWS; r++)
            rows[r] = {uniform(0, spread), uniform(0, spread), r < active ? 2 : uniform(0, 255),
                       uniform(0, 255), uniform(0, 40)};
        std::copy(rows, rows + TEACH_ROWS, expected);
        ReferenceAdjust(expected, maxcol);
        ParameterSetRecord set, wanted;
        ToSet(rows, maxcol, &set);
        ToSet(expected, maxcol, &wanted);

        AdjustTolerances(&set);

        ASSERT_EQ(0, std::memcmp(&wanted, &set, sizeof set));
        for (int q = 0; q < active; q++) {
            int ctoQ = set.teachTable[q + 1][COL_CTO];
            ASSERT_GE(ctoQ, 2);
            ASSERT_LE(ctoQ, 20);
            for (int p = q + 1; p < active; p++) {
                int d = (int)std::floor(std::hypot(rows[q].x - rows[p].x, rows[q].y - rows[p].y));
                bool share =
                    std::abs(rows[q].intensity - rows[p].intensity) <= rows[q].ito + rows[p].ito;
                if (share && d >= 4) {
                    ASSERT_LE(ctoQ + set.teachTable[p + 1][COL_CTO], d)
                        << "rows " << q << ", " << p;
                }
            }
        }
    }
}

// A MAXCOL-No. beyond the table (from a sensor block or a file) counts as 15: nothing past the
// last row is read or written.
TEST(AdjustTolerances, MaxcolAboveFifteenStaysInsideTheTable) {
    struct {
        ParameterSetRecord set;
        unsigned char guard[300 * (TEACH_COLUMNS + 1)];
    } memory;
    Row rows[TEACH_ROWS];
    for (int r = 0; r < TEACH_ROWS; r++)
        rows[r] = {10 * r, 10 * r, 2, 100, 10};
    ParameterSetRecord fifteen;
    ToSet(rows, 15, &fifteen);
    AdjustTolerances(&fifteen);

    for (int maxcol : {16, 200, 255}) {
        ToSet(rows, maxcol, &memory.set);
        std::memset(memory.guard, 0, sizeof memory.guard);
        AdjustTolerances(&memory.set);
        EXPECT_EQ(0,
                  std::memcmp(memory.set.teachTable, fifteen.teachTable, sizeof fifteen.teachTable))
            << "MAXCOL-No. " << maxcol;
        EXPECT_EQ(sizeof memory.guard,
                  (size_t)std::count(memory.guard, memory.guard + sizeof memory.guard, 0))
            << "MAXCOL-No. " << maxcol << " wrote past the table";
    }
}
