#include "health/health.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Integer readings carry the spread of their rounding: an unmoving reading still has this much,
// so that a margin index stays finite.
constexpr double ROUNDING_VARIANCE = 1.0 / 12.0;
// A trend of at least this many units an hour counts as moving.
constexpr double MOVING_PER_HOUR = 1.0;
constexpr long long MINUTE_MS = 60000, HOUR_MS = 3600000;

double Mean(double sum, double n) {
    return n > 0 ? sum / n : 0;
}

double Deviation(double sum, double squares, double n) {
    if (n < 2)
        return 0;
    const double mean = sum / n;
    return std::sqrt(std::max(0.0, squares / n - mean * mean));
}

double WithRounding(double deviation) {
    return std::sqrt(deviation * deviation + ROUNDING_VARIANCE);
}

// The least-squares slope of the points' values per hour, once they span two windows.
double SlopePerHour(const std::deque<HealthPoint> &points, double HealthPoint::*value,
                    double windowSeconds) {
    if (points.size() < 3 || points.back().ms - points.front().ms < 2000 * windowSeconds)
        return 0;
    double st = 0, sv = 0, stt = 0, stv = 0;
    const double n = (double)points.size();
    for (const HealthPoint &point : points) {
        const double t = (double)(point.ms - points.front().ms) / HOUR_MS;
        st += t;
        sv += point.*value;
        stt += t * t;
        stv += t * point.*value;
    }
    const double denominator = n * stt - st * st;
    return denominator > 0 ? (n * stv - st * sv) / denominator : 0;
}

// The level a margin index gives, with hysteresis: going up a level needs the threshold plus
// the hysteresis.
HealthLevel IndexLevel(HealthLevel now, double index, const HealthSettings &settings) {
    const double h = settings.indexHysteresis;
    if (index < settings.alarmIndex)
        return HEALTH_ALARM;
    if (now == HEALTH_ALARM && index < settings.alarmIndex + h)
        return HEALTH_ALARM;
    if (index < settings.warnIndex)
        return HEALTH_WARNING;
    if (now != HEALTH_OK && index < settings.warnIndex + h)
        return HEALTH_WARNING;
    return HEALTH_OK;
}

std::string Fixed(double value, int decimals = 2) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Ago(long long ms) {
    const long long minutes = ms / MINUTE_MS;
    if (minutes == 0)
        return std::to_string(ms / 1000) + " s ago";
    return minutes < 120 ? std::to_string(minutes) + " min ago"
                         : Fixed((double)ms / HOUR_MS, 1) + " h ago";
}

std::string Trend(const char *name, double perHour) {
    if (std::fabs(perHour) < MOVING_PER_HOUR)
        return std::string(name) + " steady";
    return std::string(name) + (perHour < 0 ? " falling " : " rising ") +
           Fixed(std::fabs(perHour), 1) + " an hour";
}

} // namespace

void HealthSums::add(const HealthSums &other, double sign) {
    n += sign * other.n;
    x += sign * other.x;
    xx += sign * other.xx;
    y += sign * other.y;
    yy += sign * other.yy;
    i += sign * other.i;
    ii += sign * other.ii;
    r += sign * other.r;
    rr += sign * other.rr;
    nearCircle += sign * other.nearCircle;
    nearBand += sign * other.nearBand;
}

const char *HealthLevelName(HealthLevel level) {
    return level == HEALTH_ALARM ? "alarm" : level == HEALTH_WARNING ? "warning" : "ok";
}

HealthMonitor::HealthMonitor(std::string sensor, const HealthSettings &settings)
    : sensor_(std::move(sensor)), settings_(settings) {}

void HealthMonitor::setTable(const unsigned char block[BLOCK_LENGTH]) {
    PrepareDetection(block, &table_);
    hasTable_ = true;
    for (RowHealth &row : rows_)
        row = RowHealth();
    cnoSeconds_.clear();
    std::fill(std::begin(cnoWindow_), std::end(cnoWindow_), 0);
}

void HealthMonitor::addToRow(int row, long long ms, const unsigned char *values) {
    RowHealth &health = rows_[row];
    const DetectionRow &taught = table_.row[row];
    const double x = values[M_X], y = values[M_Y];
    // In the contrast modes the band is the channel's LL..UL, the circle none.
    const double i = DetectsByCircles(&table_) ? values[M_INT] : values[table_.contrastChannel];
    const double r = DetectsByCircles(&table_) ? std::hypot(x - taught.x, y - taught.y) : 0;
    DetectionMargin margin{};
    DetectionMarginOf(&table_, row, values, &margin);
    HealthSums one;
    one.n = 1;
    one.x = x, one.xx = x * x, one.y = y, one.yy = y * y, one.i = i, one.ii = i * i;
    one.r = r, one.rr = r * r;
    one.nearCircle = DetectsByCircles(&table_) && margin.circle <= settings_.nearUnits;
    one.nearBand = DetectsByBands(&table_) && margin.band <= settings_.nearUnits;
    const long long second = ms / 1000;
    if (health.seconds.empty() || health.seconds.back().second != second)
        health.seconds.push_back({second, HealthSums()});
    health.seconds.back().sums.add(one, 1);
    health.window.add(one, 1);
    if (health.firstMs < 0)
        health.firstMs = ms;
}

// The EWMA takes a second's mean at a time: over single frames the noise alone would carry it
// across its limits and back, over seconds a drift stands out of it.
void HealthMonitor::addSecondToEwma(int row, long long second) {
    RowHealth &health = rows_[row];
    if (health.seconds.empty() || health.seconds.back().second != second)
        return;
    const HealthSums &s = health.seconds.back().sums;
    const double x = s.x / s.n, y = s.y / s.n, i = s.i / s.n, l = settings_.lambda;
    if (!health.ewmaStarted) {
        health.ewmaX = x, health.ewmaY = y, health.ewmaI = i;
        health.ewmaStarted = true;
        return;
    }
    health.ewmaX = l * x + (1 - l) * health.ewmaX;
    health.ewmaY = l * y + (1 - l) * health.ewmaY;
    health.ewmaI = l * i + (1 - l) * health.ewmaI;
}

void HealthMonitor::expire(long long ms) {
    const long long oldest = ms / 1000 - (long long)std::ceil(settings_.windowSeconds) + 1;
    for (RowHealth &row : rows_)
        while (!row.seconds.empty() && row.seconds.front().second < oldest) {
            row.window.add(row.seconds.front().sums, -1);
            row.seconds.pop_front();
        }
    while (!cnoSeconds_.empty() && cnoSeconds_.front().second < oldest) {
        for (int k = 0; k <= TEACH_ROWS; k++)
            cnoWindow_[k] -= cnoSeconds_.front().counts[k];
        cnoSeconds_.pop_front();
    }
    while (!timeouts_.empty() && timeouts_.front() <= ms - HOUR_MS)
        timeouts_.pop_front();
}

void HealthMonitor::addFrame(long long ms, const unsigned char *frame,
                             std::vector<HealthChange> *changes) {
    if (!hasTable_)
        return;
    ++frameCount_;
    const long long second = ms / 1000;
    if (second != lastRulesSecond_) {
        for (int row = 0; row < TEACH_ROWS; row++)
            addSecondToEwma(row, lastRulesSecond_);
        expire(ms);
        if (lastRulesSecond_ >= 0)
            applyRules(ms, changes);
        lastRulesSecond_ = second;
    }
    const int cno = DetectWithTable(&table_, frame);
    const int slot = cno < TEACH_ROWS ? cno : TEACH_ROWS;
    if (cnoSeconds_.empty() || cnoSeconds_.back().second != second)
        cnoSeconds_.push_back({second, {}});
    cnoSeconds_.back().counts[slot]++;
    cnoWindow_[slot]++;
    if (cno < TEACH_ROWS)
        addToRow(cno, ms, frame);
}

void HealthMonitor::addTimeout(long long ms) {
    timeouts_.push_back(ms);
}

RowHealthFigures HealthMonitor::figuresOf(int row) const {
    const RowHealth &health = rows_[row];
    const HealthSums &w = health.window;
    RowHealthFigures f{};
    f.row = row;
    f.frames = w.n;
    f.meanX = Mean(w.x, w.n), f.meanY = Mean(w.y, w.n), f.meanI = Mean(w.i, w.n);
    f.sdX = Deviation(w.x, w.xx, w.n), f.sdY = Deviation(w.y, w.yy, w.n);
    f.sdI = Deviation(w.i, w.ii, w.n);
    const DetectionRow &taught = table_.row[row];
    f.circleIndex = -1, f.bandIndex = -1;
    if (DetectsByCircles(&table_) && w.n > 0)
        f.circleIndex =
            (taught.radius - Mean(w.r, w.n)) / (3 * WithRounding(Deviation(w.r, w.rr, w.n)));
    if (DetectsByBands(&table_) && w.n > 0) {
        const IntensityBand band =
            DetectsByCircles(&table_) ? taught.band : IntensityBand{table_.lower, table_.upper};
        f.bandIndex = std::min(band.high - f.meanI, f.meanI - band.low) / (3 * WithRounding(f.sdI));
    }
    f.nearShare = w.n > 0 ? (w.nearCircle + w.nearBand) / w.n : 0;
    f.ewmaX = health.ewmaX, f.ewmaY = health.ewmaY, f.ewmaI = health.ewmaI;
    f.stable = health.stable;
    f.trendX = SlopePerHour(health.trend, &HealthPoint::x, settings_.windowSeconds);
    f.trendY = SlopePerHour(health.trend, &HealthPoint::y, settings_.windowSeconds);
    f.trendI = SlopePerHour(health.trend, &HealthPoint::i, settings_.windowSeconds);
    return f;
}

std::vector<RowHealthFigures> HealthMonitor::rowFigures() const {
    std::vector<RowHealthFigures> figures;
    for (int row = 0; row < TEACH_ROWS; row++)
        if (rows_[row].window.n > 0)
            figures.push_back(figuresOf(row));
    return figures;
}

double HealthMonitor::share(int cno) const {
    long all = 0;
    for (long count : cnoWindow_)
        all += count;
    const int slot = cno < TEACH_ROWS ? cno : TEACH_ROWS;
    return all > 0 ? (double)cnoWindow_[slot] / (double)all : 0;
}

double HealthMonitor::timeoutsPerHour() const {
    return (double)timeouts_.size();
}

void HealthMonitor::takeReference(int row, long long ms) {
    RowHealth &health = rows_[row];
    const RowHealthFigures f = figuresOf(row);
    health.stable = true;
    health.stableMs = ms;
    health.meanX0 = f.meanX, health.meanY0 = f.meanY, health.meanI0 = f.meanI;
    health.sdX0 = WithRounding(f.sdX), health.sdY0 = WithRounding(f.sdY);
    health.sdI0 = WithRounding(f.sdI);
    health.circleIndex0 = f.circleIndex, health.bandIndex0 = f.bandIndex;
}

// A point every fifth of a window (a minute with the default window), the last hour of them or
// twelve windows, whichever is longer.
void HealthMonitor::noteTrend(int row, long long ms) {
    RowHealth &health = rows_[row];
    const double every = std::max(1000.0, settings_.windowSeconds * 200);
    if (!health.trend.empty() && (double)(ms - health.trend.back().ms) < every)
        return;
    const HealthSums &w = health.window;
    health.trend.push_back({ms, Mean(w.x, w.n), Mean(w.y, w.n), Mean(w.i, w.n)});
    const double kept = std::max((double)HOUR_MS, settings_.windowSeconds * 12000);
    while ((double)(ms - health.trend.front().ms) > kept)
        health.trend.pop_front();
}

void HealthMonitor::change(const std::string &alarm, HealthLevel level, const std::string &message,
                           long long ms, std::vector<HealthChange> *changes) {
    auto found = std::find_if(active_.begin(), active_.end(),
                              [&](const Active &a) { return a.alarm == alarm; });
    if (level == HEALTH_OK) {
        if (found == active_.end())
            return;
        active_.erase(found);
    } else if (found == active_.end()) {
        active_.push_back({alarm, message, level, ms});
    } else if (found->level != level) {
        found->level = level, found->message = message;
    } else {
        return;
    }
    changes->push_back({alarm, level, message, ms, frameCount_});
}

void HealthMonitor::applyRules(long long ms, std::vector<HealthChange> *changes) {
    for (int row = 0; row < TEACH_ROWS; row++)
        applyRowRules(row, ms, changes);
    const double undetected = share(NO_COLOUR);
    long all = 0;
    for (long count : cnoWindow_)
        all += count;
    const HealthLevel undetectedNow = all < settings_.minFrames                    ? undetected_
                                      : undetected > settings_.undetectedShare     ? HEALTH_ALARM
                                      : undetected < settings_.undetectedShare / 2 ? HEALTH_OK
                                                                                   : undetected_;
    if (undetectedNow != undetected_)
        change("undetected", undetectedNow,
               sensor_ + ": " + Fixed(100 * undetected, 1) +
                   " % of the frames detected as no colour (C-No 255). " + advice(-1, "undetected"),
               ms, changes);
    undetected_ = undetectedNow;
    const double timeouts = timeoutsPerHour();
    const HealthLevel timeoutsNow = timeouts > settings_.timeoutsPerHour       ? HEALTH_WARNING
                                    : timeouts < settings_.timeoutsPerHour / 2 ? HEALTH_OK
                                                                               : timeoutLevel_;
    if (timeoutsNow != timeoutLevel_)
        change("time-outs", timeoutsNow,
               sensor_ + ": " + Fixed(timeouts, 0) + " time-outs in the last hour. " +
                   advice(-1, "time-outs"),
               ms, changes);
    timeoutLevel_ = timeoutsNow;
}

void HealthMonitor::applyRowRules(int row, long long ms, std::vector<HealthChange> *changes) {
    RowHealth &health = rows_[row];
    const std::string name = "row " + std::to_string(row);
    if (health.window.n == 0) {
        if (health.firstMs < 0)
            return;
        // The row's colour has left the line: nothing of it is left to judge.
        for (const char *rule : {" circle margin", " band margin", " drift"})
            change(name + rule, HEALTH_OK, sensor_ + " " + name + ": no frames any more", ms,
                   changes);
        health = RowHealth();
        return;
    }
    if (health.window.n < settings_.minFrames)
        return;
    noteTrend(row, ms);
    if (!health.stable && ms - health.firstMs >= settings_.stableSeconds * 1000)
        takeReference(row, ms);
    const RowHealthFigures f = figuresOf(row);
    const std::string head = sensor_ + " " + name + ": ";
    const std::string since = health.stable ? " (" + Ago(ms - health.stableMs) + ")" : "";
    if (f.circleIndex >= 0) {
        const HealthLevel level = IndexLevel(health.circle, f.circleIndex, settings_);
        if (level != health.circle)
            change(name + " circle margin", level,
                   head + "the circle's margin index " +
                       (health.stable ? "was " + Fixed(health.circleIndex0) + since + ", " : "") +
                       "is " + Fixed(f.circleIndex) + "; " + Trend("X", f.trendX) + ", " +
                       Trend("Y", f.trendY) + ". " + advice(row, "circle"),
                   ms, changes);
        health.circle = level;
    }
    if (f.bandIndex >= 0) {
        const char *value = DetectsByCircles(&table_) ? "INT" : "the channel";
        const HealthLevel level = IndexLevel(health.band, f.bandIndex, settings_);
        if (level != health.band)
            change(name + " band margin", level,
                   head + value + " band's margin index " +
                       (health.stable ? "was " + Fixed(health.bandIndex0) + since + ", " : "") +
                       "is " + Fixed(f.bandIndex) + "; " + Trend(value, f.trendI) + ". " +
                       advice(row, "band"),
                   ms, changes);
        health.band = level;
    }
    if (!health.stable)
        return;
    const double l = settings_.ewmaSigmas;
    const double far = std::max({std::fabs(f.ewmaX - health.meanX0) / health.sdX0,
                                 std::fabs(f.ewmaY - health.meanY0) / health.sdY0,
                                 std::fabs(f.ewmaI - health.meanI0) / health.sdI0});
    const HealthLevel drift = far > l                                      ? HEALTH_WARNING
                              : health.drift != HEALTH_OK && far > l - 0.5 ? HEALTH_WARNING
                                                                           : HEALTH_OK;
    if (drift != health.drift)
        change(
            name + " drift", drift,
            head + "the EWMA of X, Y and INT is " + Fixed(f.ewmaX, 1) + ", " + Fixed(f.ewmaY, 1) +
                ", " + Fixed(f.ewmaI, 1) + " against " + Fixed(health.meanX0, 1) + ", " +
                Fixed(health.meanY0, 1) + ", " + Fixed(health.meanI0, 1) + since + ", " +
                Fixed(far, 1) + " standard deviations off; " + Trend("X", f.trendX) + ", " +
                Trend("Y", f.trendY) + ", " + Trend("INT", f.trendI) + ". " + advice(row, "drift"),
            ms, changes);
    health.drift = drift;
}

// The likely cause and its remedy, from the trends of every row that has one.
std::string HealthMonitor::advice(int row, const char *rule) const {
    const std::string which(rule);
    if (which == "undetected")
        return "Check the product's presence and position, or teach the new colour.";
    if (which == "time-outs")
        return "The line drops requests: check the cable, the adapter and the supply.";
    int rows = 0, intFalling = 0, xyMoving = 0;
    for (int other = 0; other < TEACH_ROWS; other++) {
        if (rows_[other].trend.size() < 3)
            continue;
        const RowHealthFigures f = figuresOf(other);
        ++rows;
        intFalling += f.trendI <= -MOVING_PER_HOUR;
        xyMoving +=
            std::fabs(f.trendX) >= MOVING_PER_HOUR || std::fabs(f.trendY) >= MOVING_PER_HOUR;
    }
    const RowHealthFigures own = figuresOf(row);
    const bool ownXy =
        std::fabs(own.trendX) >= MOVING_PER_HOUR || std::fabs(own.trendY) >= MOVING_PER_HOUR;
    if (rows > 0 && intFalling == rows)
        return "INT falling on every row: clean the lens or check the LED.";
    if (own.trendI <= -MOVING_PER_HOUR)
        return "INT falling on this row only: the product's surface or distance has changed, "
               "check the product's guidance.";
    if (own.trendI >= MOVING_PER_HOUR)
        return "INT rising: check for stray light and the sensor's distance.";
    if (rows > 1 && xyMoving == rows)
        return "X and Y moving on every row: the light's colour has changed, check the LED.";
    if (ownXy)
        return "X and Y moving on one row: the product's colour has changed, check the batch "
               "or retune.";
    const RowHealth &health = rows_[row];
    if (health.stable &&
        (own.sdX > 1.5 * health.sdX0 || own.sdY > 1.5 * health.sdY0 || own.sdI > 1.5 * health.sdI0))
        return "The spread has grown: check the mounting for vibration and the product's "
               "guidance.";
    return "The margin is small: widen the tolerance with tune, or teach the row again.";
}
