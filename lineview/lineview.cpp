#include "lineview/lineview.h"

#include "detection/model.h"
#include "textforms/dumpjson.h"
#include "textforms/timestamp.h"

#include <cmath>
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

// The health figures to a thousandth: what a page shows, in a third of the text.
void RoundFigures(Json *value) {
    if (value->is_number_float())
        *value = std::round(value->get<double>() * 1000) / 1000;
    else if (value->is_structured())
        for (Json &item : *value)
            RoundFigures(&item);
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
    slot.tileChanged = true;
    if (slot.presence != presence || slot.state != state || slot.message != message)
        slot.sinceMs = ms;
    slot.presence = presence;
    slot.state = state;
    slot.message = message;
}

void LineView::setTable(int sensor, const unsigned char ram[BLOCK_LENGTH]) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    slot.tileChanged = true;
    std::memcpy(slot.table, ram, BLOCK_LENGTH);
    slot.hasTable = true;
}

void LineView::setMemories(int sensor, const unsigned char ram[BLOCK_LENGTH],
                           const unsigned char eeprom[BLOCK_LENGTH], const unsigned char *approved,
                           long long ms) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    slot.tileChanged = true;
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
    slot.tileChanged = true;
    RoundFigures(&health);
    slot.health = std::move(health);
}

void LineView::setAlarms(int sensor, std::vector<ViewAlarm> alarms) {
    Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    slot.tileChanged = true;
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
    slot.tileChanged = true;
    slot.changes = std::move(changes);
}

// The parts of a tile that change only when the sensor's state, table, health, alarms,
// memories or change log do, kept as text until then: a tile is made four times a second for
// every page, its frame alone each time. The slot's lock is held.
void LineView::keepTileText(const Slot &slot) const {
    if (!slot.tileChanged)
        return;
    Json head = {{"name", slot.name},
                 {"port", slot.port},
                 {"presence", slot.presence},
                 {"state", slot.state},
                 {"message", slot.message}};
    PutTime(&head, "since", "sinceMs", slot.sinceMs);
    Json tail = {{"contrast", IsContrast(slot)}, {"health", slot.health}};
    Json alarms = Json::array();
    for (const ViewAlarm &alarm : slot.alarms) {
        Json one = {{"alarm", alarm.alarm}, {"level", alarm.level}, {"message", alarm.message}};
        PutTime(&one, "since", "sinceMs", alarm.sinceMs);
        alarms.push_back(std::move(one));
    }
    tail["alarms"] = std::move(alarms);
    tail["memories"] = {{"approved", slot.approvedPath},
                        {"RAM", StepJson(slot.ram)},
                        {"EEPROM", StepJson(slot.eeprom)}};
    tail["lastChange"] = slot.changes.empty() ? Json()
                                              : Json{{"time", slot.changes.back().time},
                                                     {"text", slot.changes.back().text}};
    slot.tileHead = DumpJson(head);
    slot.tileHead.pop_back(); // "{...": the frame's part follows
    slot.tileTail = DumpJson(tail).substr(1);
    slot.tileChanged = false;
}

// The tile of a sensor as JSON text; its slot's lock is held.
std::string LineView::tileText(const Slot &slot) const {
    keepTileText(slot);
    const int cno = slot.frame[M_CNO];
    // A contrast mode's C-No 0 is row 0's limits; otherwise the C-No is the active row.
    const bool detected = slot.hasFrame && slot.hasTable &&
                          (IsContrast(slot) ? cno == 0 : cno < ActiveRows(slot.table));
    const Json frame = {
        {"frame", slot.hasFrame ? FrameJson(slot.frame, slot.frameMs, slot.frames) : Json()},
        {"taught", detected ? RowJson(slot.table, cno) : Json()}};
    std::string text = DumpJson(frame);
    text.back() = ',';
    text[0] = ',';
    return slot.tileHead + text + slot.tileTail;
}

bool LineView::IsContrast(const Slot &slot) {
    return slot.hasTable && IsContrastMode(slot.table[OFFSET_EVALMODE]);
}

std::string LineView::line(long long nowMs) const {
    Json head = {{"line", line_}};
    PutTime(&head, "time", "ms", nowMs);
    std::string text = DumpJson(head);
    text.pop_back();
    text += ",\"sensors\":[";
    for (size_t i = 0; i < slots_.size(); i++) {
        std::lock_guard<std::mutex> hold(slots_[i]->lock);
        text += (i == 0 ? "" : ",") + tileText(*slots_[i]);
    }
    return text + "]}";
}

std::string LineView::sensor(int sensor, long long nowMs, long long afterMs,
                             long long *lastMs) const {
    const Slot &slot = *slots_[sensor];
    std::lock_guard<std::mutex> hold(slot.lock);
    Json json;
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
    std::string text = tileText(slot);
    text.back() = ',';
    return text + DumpJson(json).substr(1);
}
