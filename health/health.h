// A sensor's health from its frames: per taught row that frames are detected as, the window's
// mean and spread of X, Y and INT, a margin index for the circle and for the INT band (the
// distance from the mean to the edge over three standard deviations, as Cpk is for a
// tolerance), the share of frames near an edge, an EWMA of each second's mean X, Y and INT against
// limits from the row's first stable window, and for the sensor the share of frames detected as
// each C-No and as none, and the time-outs per hour. Rules on these raise and clear alarms with
// hysteresis, each telling the figure then and now, the trend per hour and the likely cause and
// remedy.
//
// The monitor is driven by the frames' own time stamps: the live service and a check of its
// recordings see the same frames at the same times and raise the same alarms at the same frames.
// Free of Qt; no allocation per frame once a row's window is full.
#pragma once

#include "detection/model.h"
#include "health/settings.h"

#include <deque>
#include <string>
#include <vector>

// Sums of one second of a row's frames (or of a whole window).
struct HealthSums {
    double n = 0;
    double x = 0, xx = 0, y = 0, yy = 0, i = 0, ii = 0, r = 0, rr = 0;
    double nearCircle = 0, nearBand = 0;
    void add(const HealthSums &other, double sign);
};

struct HealthSecond {
    long long second; // since the epoch
    HealthSums sums;
};

// What one rule says of a row or of the sensor.
enum HealthLevel { HEALTH_OK = 0, HEALTH_WARNING = 1, HEALTH_ALARM = 2 };

// A trend point: the window's means at a minute.
struct HealthPoint {
    long long ms;
    double x, y, i;
};

struct RowHealth {
    std::deque<HealthSecond> seconds; // the window, oldest first
    HealthSums window;
    bool stable = false; // the reference below is taken
    long long stableMs = 0;
    double meanX0 = 0, meanY0 = 0, meanI0 = 0, sdX0 = 0, sdY0 = 0, sdI0 = 0;
    double circleIndex0 = 0, bandIndex0 = 0;
    long long firstMs = -1;
    double ewmaX = 0, ewmaY = 0, ewmaI = 0;
    bool ewmaStarted = false;
    std::deque<HealthPoint> trend; // a point a minute, the last hour
    HealthLevel circle = HEALTH_OK, band = HEALTH_OK, drift = HEALTH_OK;
};

// An alarm raised, changed or cleared.
struct HealthChange {
    std::string alarm;   // "row 3 INT band margin", "undetected", "time-outs"
    HealthLevel level;   // HEALTH_OK: cleared
    std::string message; // what, then and now, the trend, the likely cause and remedy
    long long ms;        // the frame's time
    long frame;          // the frame's number in the monitor's run, from 1
};

// The figures of a row at the moment they are asked for.
struct RowHealthFigures {
    int row;
    double frames;
    double meanX, meanY, meanI, sdX, sdY, sdI;
    double circleIndex, bandIndex; // -1 where the mode has no such edge
    double nearShare;
    double ewmaX, ewmaY, ewmaI;
    bool stable;
    double trendX, trendY, trendI; // per hour; 0 until there is an hour's part of a trend
};

class HealthMonitor {
  public:
    HealthMonitor(std::string sensor, const HealthSettings &settings);
    // The parameter set the frames are detected with; the figures begin again.
    void setTable(const unsigned char block[BLOCK_LENGTH]);
    bool hasTable() const { return hasTable_; }
    // One frame (FRAME_LENGTH values; its C-No is not read) at ms since the epoch; the rules are
    // applied once a second, and what they raise or clear is appended to changes.
    void addFrame(long long ms, const unsigned char *frame, std::vector<HealthChange> *changes);
    // A request the sensor did not answer.
    void addTimeout(long long ms);

    std::vector<RowHealthFigures> rowFigures() const;
    // The share of the window's frames detected as cno (0..255).
    double share(int cno) const;
    double timeoutsPerHour() const;
    long frames() const { return frameCount_; }
    // The figures and the active alarms (their words are on the alarms topic) as one JSON
    // object, for the retained health topic.
    std::string json(long long ms) const;

  private:
    void addToRow(int row, long long ms, const unsigned char *values);
    void addSecondToEwma(int row, long long second);
    void expire(long long ms);
    void applyRules(long long ms, std::vector<HealthChange> *changes);
    void applyRowRules(int row, long long ms, std::vector<HealthChange> *changes);
    void takeReference(int row, long long ms);
    void noteTrend(int row, long long ms);
    void change(const std::string &alarm, HealthLevel level, const std::string &message,
                long long ms, std::vector<HealthChange> *changes);
    std::string advice(int row, const char *rule) const;
    RowHealthFigures figuresOf(int row) const;

    std::string sensor_;
    HealthSettings settings_;
    bool hasTable_ = false;
    DetectionTable table_{};
    RowHealth rows_[TEACH_ROWS];
    // The window's C-No counts, a second at a time.
    struct CnoSecond {
        long long second;
        long counts[TEACH_ROWS + 1]; // rows, then none (255, or a row beyond the table)
    };
    std::deque<CnoSecond> cnoSeconds_;
    long cnoWindow_[TEACH_ROWS + 1] = {};
    std::deque<long long> timeouts_;
    long long lastRulesSecond_ = -1;
    long frameCount_ = 0;
    HealthLevel undetected_ = HEALTH_OK, timeoutLevel_ = HEALTH_OK;
    struct Active {
        std::string alarm, message;
        HealthLevel level;
        long long sinceMs;
    };
    std::vector<Active> active_;
};

// "warning", "alarm" ("ok" for a cleared one).
const char *HealthLevelName(HealthLevel level);
