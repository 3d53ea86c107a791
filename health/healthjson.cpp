// A sensor's health as one JSON object: what the line service keeps retained on its health topic.
#include "health/health.h"

#include "textforms/dumpjson.h"

#include <nlohmann/json.hpp>

std::string HealthMonitor::json(long long ms) const {
    nlohmann::ordered_json rows = nlohmann::json::array();
    for (const RowHealthFigures &f : rowFigures()) {
        nlohmann::ordered_json row = {
            {"row", f.row},
            {"frames", (long)f.frames},
            {"mean", {{"x", f.meanX}, {"y", f.meanY}, {"int", f.meanI}}},
            {"sd", {{"x", f.sdX}, {"y", f.sdY}, {"int", f.sdI}}},
            {"ewma", {{"x", f.ewmaX}, {"y", f.ewmaY}, {"int", f.ewmaI}}},
            {"trend_per_hour", {{"x", f.trendX}, {"y", f.trendY}, {"int", f.trendI}}},
            {"near_share", f.nearShare},
            {"stable", f.stable},
        };
        if (f.circleIndex >= 0)
            row["circle_index"] = f.circleIndex;
        if (f.bandIndex >= 0)
            row["band_index"] = f.bandIndex;
        rows.push_back(row);
    }
    nlohmann::ordered_json shares = nlohmann::json::object();
    for (int cno = 0; cno < TEACH_ROWS; cno++)
        if (share(cno) > 0)
            shares[std::to_string(cno)] = share(cno);
    shares["255"] = share(NO_COLOUR);
    nlohmann::ordered_json alarms = nlohmann::json::array();
    for (const Active &a : active_)
        alarms.push_back(
            {{"alarm", a.alarm}, {"level", HealthLevelName(a.level)}, {"since_ms", a.sinceMs}});
    const nlohmann::ordered_json all = {
        {"sensor", sensor_},     {"ms", ms},
        {"frames", frameCount_}, {"window_seconds", settings_.windowSeconds},
        {"cno_share", shares},   {"timeouts_per_hour", timeoutsPerHour()},
        {"rows", rows},          {"alarms", alarms}};
    return DumpJson(all);
}
