// Teaching a row from many frames.
#include "detection/teach.h"

#include "sensor/wire.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

ColourSample SampleOfFrame(const unsigned char *values) {
    return ColourSample{values[M_X], values[M_Y], values[M_INT]};
}

int CoveringRadius(long squared) {
    long radius = (long)std::ceil(std::sqrt((double)squared));
    // The square root of a large integer may land a hair off: settle on whole numbers.
    while (radius * radius < squared)
        ++radius;
    while (radius > 0 && (radius - 1) * (radius - 1) >= squared)
        --radius;
    return (int)radius;
}

static unsigned char RoundedMean(double sum, size_t count) {
    return (unsigned char)std::floor(sum / (double)count + 0.5);
}

// The rule's tolerance for a spread of samples that the covering tolerance just holds.
static unsigned char RuleTolerance(const TeachRule *rule, double farthest, double spread,
                                   int covering) {
    const double wanted = std::ceil(farthest + rule->k * spread + rule->margin - 1e-9);
    const double tolerance = std::max({wanted, (double)covering, (double)rule->minimum});
    return (unsigned char)std::min(tolerance, 255.0);
}

int ProposeTeach(const ColourSample *samples, size_t count, const TeachRule *rule,
                 TeachProposal *proposal) {
    if (count == 0)
        return -1;
    double sumX = 0, sumY = 0, sumI = 0;
    for (size_t i = 0; i < count; ++i) {
        sumX += samples[i].x;
        sumY += samples[i].y;
        sumI += samples[i].intensity;
    }
    const double meanX = sumX / (double)count, meanY = sumY / (double)count;
    const double meanI = sumI / (double)count;
    proposal->samples = (long)count;
    proposal->x = RoundedMean(sumX, count);
    proposal->y = RoundedMean(sumY, count);
    proposal->intensity = RoundedMean(sumI, count);

    long farthestSquared = 0;
    int farthestBand = 0;
    double spreadSquares = 0, bandSquares = 0;
    for (size_t i = 0; i < count; ++i) {
        const long dx = samples[i].x - proposal->x, dy = samples[i].y - proposal->y;
        farthestSquared = std::max(farthestSquared, dx * dx + dy * dy);
        farthestBand = std::max(farthestBand, std::abs(samples[i].intensity - proposal->intensity));
        const double mx = samples[i].x - meanX, my = samples[i].y - meanY;
        const double mi = samples[i].intensity - meanI;
        spreadSquares += mx * mx + my * my;
        bandSquares += mi * mi;
    }
    proposal->farthest = std::sqrt((double)farthestSquared);
    proposal->farthestBand = farthestBand;
    proposal->spread = std::sqrt(spreadSquares / (double)count);
    proposal->bandSpread = std::sqrt(bandSquares / (double)count);
    proposal->coveringCto = CoveringRadius(farthestSquared);
    proposal->coveringIto = farthestBand;
    proposal->cto =
        RuleTolerance(rule, proposal->farthest, proposal->spread, proposal->coveringCto);
    proposal->ito = RuleTolerance(rule, farthestBand, proposal->bandSpread, proposal->coveringIto);
    return 0;
}
