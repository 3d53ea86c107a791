// Tuning the tolerances of the active rows from their samples.
#include "detection/tune.h"

#include "detection/model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

const double unbounded = std::numeric_limits<double>::infinity();
const double tie = 1e-9; // margins closer than this count as equal

// A sample of another row as a row sees it: squared X/Y distance and band distance from the
// row's centre.
struct Obstacle {
    long squared;
    double distance;
    int band;
    SampleRef ref;
};

// A pair of tolerances and what it gives: the margins on the circle's side and on the band's
// side (each sample of another row counts on the side that keeps it out by more), and the
// nearest such sample.
struct Choice {
    int cto, ito;
    double circleSide, bandSide;
    double outside;
    int nearest; // index into the obstacles, -1 for none
    double least() const { return std::min(circleSide, bandSide); }
    double most() const { return std::max(circleSide, bandSide); }
};

struct TuneInput {
    const SampleSet *sets;
    int rows;
    int limit;      // INTLIM
    int checksBand; // 0 in the X/Y-only mode
};

bool Usable(const TuneInput &in, const ColourSample &sample) {
    return !BelowIntensityLimit(sample.intensity, in.limit);
}

Obstacle ObstacleOf(const TuneInput &in, const TeachProposal &centre, const ColourSample &sample,
                    SampleRef ref) {
    const long dx = sample.x - centre.x, dy = sample.y - centre.y;
    Obstacle obstacle;
    obstacle.squared = dx * dx + dy * dy;
    obstacle.distance = std::sqrt((double)obstacle.squared);
    obstacle.band = in.checksBand ? std::abs(sample.intensity - centre.intensity) : 0;
    obstacle.ref = ref;
    return obstacle;
}

// The other rows' samples that can be nearest to the row: for each band distance the nearest in
// X/Y, and of those only the ones that no other is nearer to in both. Any other sample lies
// further outside whatever the tolerances, so the margins need only these (at most 256).
std::vector<Obstacle> NearestOthers(const TuneInput &in, int row, const TeachProposal &centre) {
    Obstacle nearest[256];
    bool found[256] = {};
    for (int other = 0; other < in.rows; ++other) {
        if (other == row)
            continue;
        for (size_t i = 0; i < in.sets[other].count; ++i) {
            const ColourSample &sample = in.sets[other].samples[i];
            if (!Usable(in, sample))
                continue;
            const Obstacle o = ObstacleOf(in, centre, sample, SampleRef{other, (long)i});
            if (!found[o.band] || o.squared < nearest[o.band].squared) {
                nearest[o.band] = o;
                found[o.band] = true;
            }
        }
    }
    std::vector<Obstacle> frontier;
    for (int band = 0; band < 256; ++band) {
        if (found[band] && (frontier.empty() || nearest[band].squared < frontier.back().squared))
            frontier.push_back(nearest[band]);
    }
    return frontier;
}

Choice Evaluate(const TeachProposal &teach, const std::vector<Obstacle> &others, int checksBand,
                int cto, int ito) {
    Choice choice = {cto, ito, cto - teach.farthest, unbounded, unbounded, -1};
    if (checksBand)
        choice.bandSide = ito - teach.farthestBand;
    for (size_t k = 0; k < others.size(); ++k) {
        const double outsideCircle = others[k].distance - cto;
        const double outsideBand = checksBand ? others[k].band - ito : -unbounded;
        const double outside = std::max(outsideCircle, outsideBand);
        if (outsideCircle >= outsideBand)
            choice.circleSide = std::min(choice.circleSide, outsideCircle);
        else
            choice.bandSide = std::min(choice.bandSide, outsideBand);
        if (outside < choice.outside) {
            choice.outside = outside;
            choice.nearest = (int)k;
        }
    }
    return choice;
}

bool Better(const Choice &a, const Choice &b) {
    if (a.least() > b.least() + tie)
        return true;
    return a.least() > b.least() - tie && a.most() > b.most() + tie;
}

// The best pair between the smallest tolerances that hold the row's samples and the teach
// rule's; in the X/Y-only mode ITO plays no part and stays the teach rule's.
Choice BestChoice(const TeachProposal &teach, const std::vector<Obstacle> &others, int checksBand) {
    const int lowCto = std::min(teach.coveringCto, 255);
    const int lowIto = checksBand ? teach.coveringIto : teach.ito;
    Choice best = Evaluate(teach, others, checksBand, lowCto, lowIto);
    for (int cto = lowCto; cto <= teach.cto; ++cto) {
        for (int ito = lowIto; ito <= teach.ito; ++ito) {
            const Choice choice = Evaluate(teach, others, checksBand, cto, ito);
            if (Better(choice, best))
                best = choice;
        }
    }
    return best;
}

// The row's own sample nearest to sample (X/Y and band distance together).
long NearestOwn(const TuneInput &in, int row, const ColourSample &sample) {
    long nearest = -1, best = 0;
    for (size_t i = 0; i < in.sets[row].count; ++i) {
        const ColourSample &own = in.sets[row].samples[i];
        if (!Usable(in, own))
            continue;
        const long dx = own.x - sample.x, dy = own.y - sample.y;
        const long di = in.checksBand ? own.intensity - sample.intensity : 0;
        const long squared = dx * dx + dy * dy + di * di;
        if (nearest < 0 || squared < best) {
            nearest = (long)i;
            best = squared;
        }
    }
    return nearest;
}

// Counts (and keeps the first of) the other rows' samples that the smallest circle and band
// holding the row's own samples would hold too.
void FindCollisions(const TuneInput &in, int row, const TeachProposal &teach, TuneResult *result) {
    const long reach = (long)teach.coveringCto * teach.coveringCto;
    for (int other = 0; other < in.rows; ++other) {
        for (size_t i = 0; other != row && i < in.sets[other].count; ++i) {
            const ColourSample &sample = in.sets[other].samples[i];
            if (!Usable(in, sample))
                continue;
            const SampleRef ref = {other, (long)i};
            const Obstacle o = ObstacleOf(in, teach, sample, ref);
            if (o.squared > reach || o.band > teach.coveringIto)
                continue;
            if (result->shownCollisions < TUNE_SHOWN_COLLISIONS)
                result->collision[result->shownCollisions++] =
                    Collision{row, ref, SampleRef{row, NearestOwn(in, row, sample)}};
            ++result->collisions;
        }
    }
}

int Refuse(TuneResult *result, const char *reason) {
    std::snprintf(result->reason, sizeof result->reason, "%s", reason);
    result->status = TUNE_REFUSED;
    return TUNE_REFUSED;
}

// Teaches the row from its usable samples. Returns false when it has none.
bool TeachRow(const TuneInput &in, int row, const TeachRule *rule, TunedRow *tuned) {
    std::vector<ColourSample> usable;
    usable.reserve(in.sets[row].count);
    for (size_t i = 0; i < in.sets[row].count; ++i) {
        if (Usable(in, in.sets[row].samples[i]))
            usable.push_back(in.sets[row].samples[i]);
    }
    tuned->belowLimit = (long)(in.sets[row].count - usable.size());
    return ProposeTeach(usable.data(), usable.size(), rule, &tuned->teach) == 0;
}

void TuneRow(const TuneInput &in, int row, TuneResult *result) {
    TunedRow *tuned = &result->row[row];
    const long before = result->collisions;
    FindCollisions(in, row, tuned->teach, result);
    const std::vector<Obstacle> others = NearestOthers(in, row, tuned->teach);
    const Choice choice =
        result->collisions > before
            ? Evaluate(tuned->teach, others, in.checksBand, std::min(tuned->teach.coveringCto, 255),
                       in.checksBand ? tuned->teach.coveringIto : tuned->teach.ito)
            : BestChoice(tuned->teach, others, in.checksBand);
    tuned->cto = choice.cto;
    tuned->ito = choice.ito;
    tuned->insideCircle = choice.cto - tuned->teach.farthest;
    tuned->insideBand = in.checksBand ? choice.ito - tuned->teach.farthestBand : 0;
    tuned->hasOther = choice.nearest >= 0;
    tuned->outside = choice.outside;
    tuned->nearestOther = tuned->hasOther ? others[(size_t)choice.nearest].ref : SampleRef{-1, -1};
    tuned->margin = choice.least();
}

void WriteRows(const unsigned char base[BLOCK_LENGTH], TuneResult *result) {
    std::memcpy(result->block, base, BLOCK_LENGTH);
    result->block[OFFSET_MAXCOLNO] = (unsigned char)result->rows;
    for (int row = 0; row < result->rows; ++row) {
        const TunedRow &tuned = result->row[row];
        result->block[TeachCellOffset(row + 1, COL_X)] = tuned.teach.x;
        result->block[TeachCellOffset(row + 1, COL_Y)] = tuned.teach.y;
        result->block[TeachCellOffset(row + 1, COL_CTO)] = (unsigned char)tuned.cto;
        result->block[TeachCellOffset(row + 1, COL_INT)] = tuned.teach.intensity;
        result->block[TeachCellOffset(row + 1, COL_ITO)] = (unsigned char)tuned.ito;
    }
}

// Every sample, those below INTLIM included, through the model on the tuned block.
void FillConfusion(const TuneInput &in, TuneResult *result) {
    DetectionTable table;
    PrepareDetection(result->block, &table);
    for (int row = 0; row < in.rows; ++row) {
        for (size_t i = 0; i < in.sets[row].count; ++i) {
            const ColourSample &sample = in.sets[row].samples[i];
            const unsigned char values[DETECTION_VALUES] = {0,        0,        0,
                                                            sample.x, sample.y, sample.intensity};
            const int cno = DetectWithTable(&table, values);
            ++result->confusion[row][cno == NO_COLOUR ? (int)CONFUSION_NONE : cno];
        }
        result->row[row].coverage =
            in.sets[row].count ? (double)result->confusion[row][row] / (double)in.sets[row].count
                               : 0.0;
    }
}

} // namespace

int TuneTolerances(const unsigned char base[BLOCK_LENGTH], const SampleSet *sets, int rows,
                   const TeachRule *rule, TuneResult *result) {
    std::memset(result, 0, sizeof *result);
    result->smallestRow = -1;
    result->rows = rows;
    const int mode = base[OFFSET_EVALMODE];
    if (rows < 1 || rows > TEACH_ROWS)
        return Refuse(result, "there must be 1 to 15 rows");
    if (IsContrastMode(mode))
        return Refuse(result,
                      "EVALMODE 3 to 5 evaluate one channel's contrast: no circles to tune");
    const TuneInput in = {sets, rows, base[OFFSET_INTLIM], mode != EVALMODE_XY_ONLY};
    result->checksBand = in.checksBand;
    for (int row = 0; row < rows; ++row) {
        if (!TeachRow(in, row, rule, &result->row[row])) {
            char reason[sizeof result->reason];
            std::snprintf(reason, sizeof reason, "row %d has no sample at or above INTLIM %d", row,
                          in.limit);
            return Refuse(result, reason);
        }
    }
    for (int row = 0; row < rows; ++row) {
        TuneRow(in, row, result);
        if (result->smallestRow < 0 || result->row[row].margin < result->smallestMargin) {
            result->smallestMargin = result->row[row].margin;
            result->smallestRow = row;
        }
    }
    WriteRows(base, result);
    FillConfusion(in, result);
    result->status = result->collisions > 0 ? TUNE_COLLIDING : TUNE_SEPARATED;
    return result->status;
}
