// The line at a glance: what the line service knows of each of its sensors now, kept for the web
// view and written as its JSON. Per sensor: presence and state with the reason and since when,
// the last frame and the taught row it is detected as, the taught table, the health figures and
// active alarms, whether RAM and EEPROM hold the approved set (and since when not), the last
// minutes of X, Y and INT, the recent frames, events and change-log entries.
// Each sensor's thread writes its own slot and the web server's threads read them; a slot's lock
// is held only to copy into it or out of it, so a frame never waits on a page. Free of Qt.
#pragma once

#include "sensor/wire.h"

#include <nlohmann/json.hpp>

#include <array>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

enum {
    VIEW_HISTORY_STEP_MS = 200,                                  // one strip-chart point per step
    VIEW_HISTORY_POINTS = 10 * 60 * 1000 / VIEW_HISTORY_STEP_MS, // the last 10 minutes
    VIEW_RECENT_FRAMES = 200,                                    // the colour graph's frames
    VIEW_EVENTS = 50,
    VIEW_CHANGES = 20,
};

struct ViewAlarm {
    std::string alarm, level, message;
    long long sinceMs;
};

// A change-log entry of one sensor: its time and its line for people.
struct ViewChange {
    std::string time, text;
};

// One strip-chart point: a frame's time and its X, Y, INT.
struct ViewPoint {
    long long ms;
    unsigned char x, y, intensity;
};

// A memory against the approved set: unknown until first read (or without an approved set).
struct ViewStep {
    int inStep = -1; // -1 unknown, 0 differs, 1 holds the approved set
    long long sinceMs = -1;
};

class LineView {
  public:
    struct Place {
        std::string name, port, approved; // approved: the approved set's file, "" for none
    };
    LineView(std::string line, const std::vector<Place> &sensors);

    int count() const { return (int)slots_.size(); }
    // The sensor of that name, -1 when the line has none.
    int find(const std::string &name) const;

    // presence: "starting", "online", "offline", "lent"; state as the service tells it.
    void setState(int sensor, const char *presence, const std::string &state,
                  const std::string &message, long long ms);
    // The RAM the frames are detected under: its table, EVALMODE and MAXCOL-No.
    void setTable(int sensor, const unsigned char ram[BLOCK_LENGTH]);
    // Both memories as read, against approved (null: the line names no approved set).
    void setMemories(int sensor, const unsigned char ram[BLOCK_LENGTH],
                     const unsigned char eeprom[BLOCK_LENGTH], const unsigned char *approved,
                     long long ms);
    void addFrame(int sensor, long long ms, const unsigned char frame[FRAME_LENGTH]);
    void setHealth(int sensor, nlohmann::ordered_json health);
    void setAlarms(int sensor, std::vector<ViewAlarm> alarms);
    void addEvent(int sensor, nlohmann::ordered_json event);
    void setChanges(int sensor, std::vector<ViewChange> changes);

    // /api/line, as JSON text: every sensor's tile at nowMs.
    std::string line(long long nowMs) const;
    // /api/sensors/NAME, as JSON text: the tile with the table, events, changes, the recent
    // frames and the strip-chart points after afterMs (-1: all of them); *lastMs is the last
    // point's time.
    std::string sensor(int sensor, long long nowMs, long long afterMs, long long *lastMs) const;
    const std::string &lineName() const { return line_; }

  private:
    struct Slot {
        mutable std::mutex lock;
        std::string name, port;
        std::string presence = "starting", state = "STARTING", message;
        long long sinceMs = -1;
        bool hasFrame = false;
        long long frameMs = -1, frames = 0;
        unsigned char frame[FRAME_LENGTH] = {};
        bool hasTable = false;
        unsigned char table[BLOCK_LENGTH] = {};
        std::string approvedPath;
        ViewStep ram, eeprom;
        nlohmann::ordered_json health;
        std::vector<ViewAlarm> alarms;
        std::deque<ViewPoint> history;
        std::deque<std::array<unsigned char, 3>> recent; // X, Y, C-No
        std::deque<nlohmann::ordered_json> events;
        std::vector<ViewChange> changes;
        // The tile's text but its frame, made again after a change.
        mutable bool tileChanged = true;
        mutable std::string tileHead, tileTail;
    };
    void keepTileText(const Slot &slot) const;
    std::string tileText(const Slot &slot) const;
    static bool IsContrast(const Slot &slot);
    std::string line_;
    std::vector<std::unique_ptr<Slot>> slots_;
};
