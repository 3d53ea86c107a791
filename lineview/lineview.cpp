#include "lineview/lineview.h"

#include "detection/model.h"
#include "textforms/timestamp.h"

#include <cstring>
#include <utility>

namespace {

using Json = nlohmann::ordered_json;

std::string TimeText(long long ms) {
    if (ms < 0)
        return "";
    char text[TIME_STAMP_LEN];
    FormatTimeStamp(ms, text, sizeof text);
    return text;
}

// A time as the pages show it and as tools read it: its text and its ms since the epoch.
void PutTime(Json *object, const char *text, const char *ms, long long value) {
    (*object)[text] = TimeText(value);
    (*object)[ms] = value;
}

Json FrameJson(const unsigned char frame[FRAME_LENGTH], long long ms, long long count) {
    Json json = {{"time", TimeText(ms)}, {"ms", ms}, {"count", count}};
    for (int value = 0; value < FRAME_LENGTH; value++)
        json[FRAME_VALUE_NAMES[value]] = frame[value];
    return json;
}

Json RowJson(const unsigned char table[BLOCK_LENGTH], int row) {
    Json json = {{"row", row}};
    for (int column = COL_X; column <= COL_ITO; column++)
        json[TEACH_COLUMN_NAMES[column - 1]] = table[TeachCellOffset(row + 1, column)];
    return json;
}

Json StepJson(const ViewStep &step) {
    Json json = {{"inStep", step.inStep < 0 ? Json() : Json(step.inStep == 1)}};
    PutTime(&json, "since", "sinceMs", step.sinceMs);
    return json;
}

// A memory read: in step with the approved set or not, since when it last turned.
void TakeStep(ViewStep *step, const unsigned char *memory, const unsigned char *approved,
              long long ms) {
    const int inStep = approved == nullptr                                ? -1
                       : std::memcmp(memory, approved, BLOCK_LENGTH) == 0 ? 1
                                                                          : 0;
    if (inStep != step->inStep)
        step->sinceMs = inStep < 0 ? -1 : ms;
    step->inStep = inStep;
}

template <typename T> void KeepLast(std::deque<T> *items, T item, size_t most) {
    items->push_back(std::move(item));
    while (items->size() > most)
        items->pop_front();
}

} // namespace

LineView::LineView(std::string line, const std::vector<Place> &sensors) : line_(std::move(line)) {
    for (const Place &place : sensors) {
        auto slot = std::make_unique<Slot>();
        slot->name = place.name;
        slot->port = place.port;
        slot->approvedPath = place.approved;
        slots_.push_back(std::move(slot));
    }
}

int LineView::find(const std::string &name) const {
    for (size_t i = 0; i < slots_.size(); i++)
        if (slots_[i]->name == name)
            return (int)i;
    return -1;
}

void LineView::setState(int sensor, const char *presence, const std::string &state,
                        const std::string &message, long long ms) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    if (slot.presence != presence || slot.state != state || slot.message != message)
        slot.sinceMs = ms;
    slot.presence = presence;
    slot.state = state;
    slot.message = message;
}

void LineView::setTable(int sensor, const unsigned char ram[BLOCK_LENGTH]) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    std::memcpy(slot.table, ram, BLOCK_LENGTH);
    slot.hasTable = true;
}

void LineView::setMemories(int sensor, const unsigned char ram[BLOCK_LENGTH],
                           const unsigned char eeprom[BLOCK_LENGTH], const unsigned char *approved,
                           long long ms) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    TakeStep(&slot.ram, ram, approved, ms);
    TakeStep(&slot.eeprom, eeprom, approved, ms);
}

void LineView::addFrame(int sensor, long long ms, const unsigned char frame[FRAME_LENGTH]) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    std::memcpy(slot.frame, frame, FRAME_LENGTH);
    slot.hasFrame = true;
    slot.frameMs = ms;
    ++slot.frames;
    // The strip chart keeps the first frame of each step.
    if (slot.history.empty() ||
        slot.history.back().ms / VIEW_HISTORY_STEP_MS != ms / VIEW_HISTORY_STEP_MS)
        KeepLast(&slot.history, ViewPoint{ms, frame[M_X], frame[M_Y], frame[M_INT]},
                 VIEW_HISTORY_POINTS);
    KeepLast(&slot.recent, {frame[M_X], frame[M_Y], frame[M_CNO]}, VIEW_RECENT_FRAMES);
}

void LineView::setHealth(int sensor, nlohmann::ordered_json health) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    slot.health = std::move(health);
}

void LineView::setAlarms(int sensor, std::vector<ViewAlarm> alarms) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    slot.alarms = std::move(alarms);
}

void LineView::addEvent(int sensor, nlohmann::ordered_json event) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    KeepLast(&slot.events, std::move(event), VIEW_EVENTS);
}

void LineView::setChanges(int sensor, std::vector<ViewChange> changes) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    slot.changes = std::move(changes);
}

// The tile of a sensor; its slot's lock is held.
Json LineView::tile(const Slot &slot) const {
    Json json = {{"name", slot.name},
                 {"port", slot.port},
                 {"presence", slot.presence},
                 {"state", slot.state},
                 {"message", slot.message}};
    PutTime(&json, "since", "sinceMs", slot.sinceMs);
    json["frame"] = slot.hasFrame ? FrameJson(slot.frame, slot.frameMs, slot.frames) : Json();
    const int cno = slot.frame[M_CNO];
    const bool contrast = slot.hasTable && IsContrastMode(slot.table[OFFSET_EVALMODE]);
    // A contrast mode's C-No 0 is row 0's limits; otherwise the C-No is the active row.
    const bool detected =
        slot.hasFrame && slot.hasTable && (contrast ? cno == 0 : cno < ActiveRows(slot.table));
    json["taught"] = detected ? RowJson(slot.table, cno) : Json();
    json["contrast"] = contrast;
    json["health"] = slot.health;
    Json alarms = Json::array();
    for (const ViewAlarm &alarm : slot.alarms) {
        Json one = {{"alarm", alarm.alarm}, {"level", alarm.level}, {"message", alarm.message}};
        PutTime(&one, "since", "sinceMs", alarm.sinceMs);
        alarms.push_back(std::move(one));
    }
    json["alarms"] = std::move(alarms);
    json["memories"] = {{"approved", slot.approvedPath},
                        {"RAM", StepJson(slot.ram)},
                        {"EEPROM", StepJson(slot.eeprom)}};
    json["lastChange"] = slot.changes.empty() ? Json()
                                              : Json{{"time", slot.changes.back().time},
                                                     {"text", slot.changes.back().text}};
    return json;
}

nlohmann::ordered_json LineView::line(long long nowMs) const {
    Json sensors = Json::array();
    for (const auto &slot : slots_) {
        std::lock_guard<std::mutex> hold(slot->lock);
        sensors.push_back(tile(*slot));
    }
    Json json = {{"line", line_}};
    PutTime(&json, "time", "ms", nowMs);
    json["sensors"] = std::move(sensors);
    return json;
}

nlohmann::ordered_json LineView::sensor(int sensor, long long nowMs, long long afterMs,
                                        long long *lastMs) const {
    const Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    Json json = tile(slot);
    PutTime(&json, "time", "ms", nowMs);
    json["evalMode"] = slot.hasTable ? Json(slot.table[OFFSET_EVALMODE]) : Json();
    json["maxColours"] = slot.hasTable ? Json(slot.table[OFFSET_MAXCOLNO]) : Json();
    Json table = Json::array();
    for (int row = 0; slot.hasTable && row < TEACH_ROWS; row++) {
        Json cells = RowJson(slot.table, row);
        cells["active"] = row < ActiveRows(slot.table);
        table.push_back(std::move(cells));
    }
    json["table"] = std::move(table);
    Json points = Json::array();
    *lastMs = afterMs;
    for (const ViewPoint &point : slot.history) {
        if (point.ms <= afterMs)
            continue;
        points.push_back({point.ms, point.x, point.y, point.intensity});
        *lastMs = point.ms;
    }
    json["history"] = {{"stepMs", (int)VIEW_HISTORY_STEP_MS}, {"points", std::move(points)}};
    Json recent = Json::array();
    for (const auto &frame : slot.recent)
        recent.push_back({frame[0], frame[1], frame[2]});
    json["recent"] = std::move(recent);
    Json events = Json::array();
    for (const Json &event : slot.events)
        events.push_back(event);
    json["events"] = std::move(events);
    Json changes = Json::array();
    for (const ViewChange &change : slot.changes)
        changes.push_back({{"time", change.time}, {"text", change.text}});
    json["changes"] = std::move(changes);
    return json;
}
