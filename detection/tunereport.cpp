// The report of a tuning.
#include "detection/report.h"

#include <algorithm>

long SamplesOfRow(const TuneResult &result, int row) {
    long samples = 0;
    for (int column = 0; column < CONFUSION_COLUMNS; ++column)
        samples += result.confusion[row][column];
    return samples;
}

namespace {

struct Tuning {
    const TuneResult &result;
    const TunedSamples &samples;
    bool panel; // the report box's short lines, else a terminal's
};

void AppendSample(std::string *report, const Tuning &tuning, SampleRef ref) {
    report->append(tuning.samples.name(ref, tuning.samples.context));
}

void AppendHeading(std::string *report, const Tuning &tuning) {
    const int rows = tuning.result.rows;
    if (tuning.panel) {
        AppendReport(report, "%sTuning %s from their samples\n(teach rule: k %g, margin %g):\n",
                     MODEL_NOTE, RowRange(rows).c_str(), tuning.samples.rule.k,
                     tuning.samples.rule.margin);
        return;
    }
    AppendReport(report,
                 "Tuned with the program's model of the sensor's colour detection (not the sensor) "
                 "from %d row%s of samples.\n",
                 rows, rows == 1 ? "" : "s");
}

// The row's proposal and margins: a few short lines in the report box, one long line on a
// terminal. The X/Y-only mode has no band, and the report box leaves out its unused ITO.
void AppendRow(std::string *report, const Tuning &tuning, int r) {
    const TuneResult &result = tuning.result;
    const TunedRow &row = result.row[r];
    const char *sources =
        r < (int)tuning.samples.sources.size() ? tuning.samples.sources[(size_t)r].c_str() : "";
    AppendReport(report, "row %d: %ld samples", r, SamplesOfRow(result, r));
    if (tuning.panel) {
        AppendReport(report, "; X %d, Y %d, INT %d\n", row.teach.x, row.teach.y,
                     row.teach.intensity);
        if (result.checksBand)
            AppendReport(report, "  CTO %d, ITO %d; coverage %.1f %%\n", row.cto, row.ito,
                         100.0 * row.coverage);
        else
            AppendReport(report, "  CTO %d; coverage %.1f %%\n", row.cto, 100.0 * row.coverage);
        if (row.belowLimit > 0)
            AppendReport(report, "  %ld samples below INTLIM left out\n", row.belowLimit);
        AppendReport(report, "  margin %.2f: own samples %.2f inside\n  the circle", row.margin,
                     row.insideCircle);
        if (result.checksBand)
            AppendReport(report, ", %d inside the INT band", row.insideBand);
        AppendReport(report, ";\n");
        if (row.hasOther) {
            AppendReport(report, "  nearest other row's sample %.2f out:\n    ", row.outside);
            AppendSample(report, tuning, row.nearestOther);
            AppendReport(report, "\n");
        }
        return;
    }
    if (sources[0] != '\0')
        AppendReport(report, " (%s)", sources);
    if (row.belowLimit > 0)
        AppendReport(report, ", %ld below INTLIM left out", row.belowLimit);
    AppendReport(report,
                 "; X %d, Y %d, INT %d; CTO %d, ITO %d; margin %.2f: the farthest own sample %.2f "
                 "inside the circle",
                 row.teach.x, row.teach.y, row.teach.intensity, row.cto, row.ito, row.margin,
                 row.insideCircle);
    if (result.checksBand)
        AppendReport(report, " and %d inside the band", row.insideBand);
    if (row.hasOther) {
        AppendReport(report, ", the nearest sample of another row %.2f outside: ", row.outside);
        AppendSample(report, tuning, row.nearestOther);
    }
    AppendReport(report, "\n");
}

void AppendCollisions(std::string *report, const Tuning &tuning) {
    const TuneResult &result = tuning.result;
    if (tuning.panel)
        AppendReport(report,
                     "NOT TOLD APART; colliding samples: %ld.\n"
                     "Each lies inside the smallest circle and INT\n"
                     "band that hold another row's own samples: no\n"
                     "circles and bands tell these colours apart.\n"
                     "Nothing can be accepted.\n",
                     result.collisions);
    else
        AppendReport(report,
                     "%ld sample%s of other rows lie inside the smallest circle and band that "
                     "hold a row's own samples; these colours cannot be told apart:\n",
                     result.collisions, result.collisions == 1 ? "" : "s");
    for (int i = 0; i < result.shownCollisions; i++) {
        const Collision &collision = result.collision[i];
        if (tuning.panel) {
            AppendReport(report, "row %d holds row %d's sample\n  ", collision.row,
                         collision.intruder.row);
            AppendSample(report, tuning, collision.intruder);
            AppendReport(report, "\n  nearest own: ");
            AppendSample(report, tuning, collision.nearest);
        } else {
            AppendReport(report, "  ");
            AppendSample(report, tuning, collision.intruder);
            AppendReport(report, " lies inside row %d, next to its sample ", collision.row);
            AppendSample(report, tuning, collision.nearest);
        }
        AppendReport(report, "\n");
    }
    if (tuning.panel && result.collisions > result.shownCollisions)
        AppendReport(report, "... and %ld more\n", result.collisions - result.shownCollisions);
}

int Digits(long value) {
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        digits++;
    }
    return digits;
}

// The samples' row against the model's C-No, 255 last. In the report box the columns are as
// wide as the largest count needs; on a terminal they have room for eight digits.
void AppendConfusion(std::string *report, const Tuning &tuning) {
    const TuneResult &result = tuning.result;
    long largest = 0;
    for (int row = 0; row < result.rows; row++)
        for (int column = 0; column < CONFUSION_COLUMNS; column++)
            largest = std::max(largest, result.confusion[row][column]);
    const int width = tuning.panel ? std::max(Digits(largest), 3) + 1 : 8;
    const char *gap = tuning.panel ? "" : " "; // before each column
    const char *indent = tuning.panel ? "" : "  ";
    AppendReport(report, "%s%srow",
                 tuning.panel ? "Confusion table (rows: the samples' row;\n"
                                "columns: the C-No the model gives them):\n"
                              : "confusion table (rows: the samples' row; columns: the model's "
                                "C-No):\n",
                 indent);
    for (int column = 0; column < result.rows; column++)
        AppendReport(report, "%s%*d", gap, width, column);
    AppendReport(report, "%s%*d\n", gap, width, NO_COLOUR);
    for (int row = 0; row < result.rows; row++) {
        AppendReport(report, "%s%3d", indent, row);
        for (int column = 0; column < result.rows; column++)
            AppendReport(report, "%s%*ld", gap, width, result.confusion[row][column]);
        AppendReport(report, "%s%*ld\n", gap, width, result.confusion[row][CONFUSION_NONE]);
    }
    if (tuning.panel) // the report box gives each row's coverage with the row
        return;
    AppendReport(report, "coverage:");
    for (int row = 0; row < result.rows; ++row)
        AppendReport(report, "%s row %d %.2f %%", row ? "," : "", row,
                     100.0 * result.row[row].coverage);
    AppendReport(report, "\n");
}

} // namespace

// The report box opens with the verdict, which its first lines show; a terminal gives it after
// the rows, next to the confusion table.
void AppendTuningReport(std::string *report, const TuneResult &result, const TunedSamples &samples,
                        ReportLayout layout) {
    const Tuning tuning = {result, samples, layout == REPORT_PANEL};
    const bool separated = result.status == TUNE_SEPARATED;
    AppendHeading(report, tuning);
    if (tuning.panel && separated)
        AppendReport(report, "Told apart; smallest margin %.2f (row %d).\n", result.smallestMargin,
                     result.smallestRow);
    else if (tuning.panel)
        AppendCollisions(report, tuning);
    for (int row = 0; row < result.rows; row++)
        AppendRow(report, tuning, row);
    if (!tuning.panel) {
        AppendReport(report, "smallest margin: %.2f (row %d)\n", result.smallestMargin,
                     result.smallestRow);
        if (!separated)
            AppendCollisions(report, tuning);
    }
    AppendConfusion(report, tuning);
}
