#include "plant/evaluatehealth.h"

#include "health/health.h"
#include "line/linefile.h"
#include "textforms/timestamp.h"

#include "textforms/dumpjson.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace {

// The sensor a service's recording names in its last column, for the alarms' words.
std::string RecordedSensor(const char *path) {
    std::FILE *file = std::fopen(path, "r");
    if (file == nullptr)
        return "";
    char line[512];
    std::string name;
    for (int i = 0; i < 2 && std::fgets(line, sizeof line, file); i++) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        name = text.substr(text.rfind(',') + 1);
    }
    std::fclose(file);
    return name;
}

// Each row's figures at ms, a line each, or into figures.
void TellFigures(const CommandReport *report, const HealthMonitor &monitor, long long ms,
                 nlohmann::ordered_json *figures) {
    char time[TIME_STAMP_LEN];
    FormatTimeStamp(ms, time, sizeof time);
    for (const RowHealthFigures &row : monitor.rowFigures()) {
        if (!report->json)
            std::printf("%s row %d: %ld frames, circle index %.2f, band index %.2f, INT %.1f\n",
                        time, row.row, (long)row.frames, row.circleIndex, row.bandIndex, row.meanI);
        figures->push_back({{"time", time},
                            {"ms", ms},
                            {"row", row.row},
                            {"frames", (long)row.frames},
                            {"circle_index", row.circleIndex},
                            {"band_index", row.bandIndex},
                            {"int", row.meanI}});
    }
}

} // namespace

int RunHealthCheck(const CommandReport *report, const unsigned char block[BLOCK_LENGTH],
                   const std::vector<std::string> &recordings, const HealthCheckOptions &options) {
    HealthSettings settings;
    if (!options.line.empty()) {
        LineFile lineFile;
        std::string why;
        if (!ReadLineFile(options.line.c_str(), &lineFile, &why))
            return CommandFailure(report, PLANT_EXIT_FILE, "%s", why.c_str());
        settings = lineFile.health;
    }
    const std::string name =
        !options.sensor.empty() ? options.sensor : RecordedSensor(recordings[0].c_str());
    nlohmann::ordered_json figures = nlohmann::json::array();
    long long figuresDue = -1;
    HealthMonitor monitor(name.empty() ? "the sensor" : name, settings);
    monitor.setTable(block);
    nlohmann::ordered_json found = nlohmann::json::array();
    std::vector<HealthChange> changes;
    LoadedRecording recording;
    for (const std::string &path : recordings) {
        if (const int code = ReadRecording(report, path.c_str(), &recording); code != 0)
            return code;
        for (size_t i = 0; i < recording.frames.size(); i++) {
            const RecordedFrame &frame = recording.frames[i];
            if (frame.stamp < 0)
                return CommandFailure(report, PLANT_EXIT_FILE, "%s:%ld: no time stamp",
                                      path.c_str(), recording.firstLine + (long)i);
            changes.clear();
            monitor.addFrame(frame.stamp, frame.values, &changes);
            if (options.figuresEvery > 0 && frame.stamp >= figuresDue) {
                if (figuresDue >= 0)
                    TellFigures(report, monitor, frame.stamp, &figures);
                figuresDue = frame.stamp + (long long)(options.figuresEvery * 1000);
            }
            for (const HealthChange &change : changes) {
                char time[TIME_STAMP_LEN];
                FormatTimeStamp(change.ms, time, sizeof time);
                const long at = recording.firstLine + (long)i;
                const char *level =
                    change.level == HEALTH_OK ? "cleared" : HealthLevelName(change.level);
                if (!report->json)
                    std::printf("%s frame %ld (%s:%ld) %s %s: %s\n", time, change.frame,
                                path.c_str(), at, level, change.alarm.c_str(),
                                change.message.c_str());
                found.push_back({{"time", time},
                                 {"ms", change.ms},
                                 {"frame", change.frame},
                                 {"file", path},
                                 {"line", at},
                                 {"level", level},
                                 {"alarm", change.alarm},
                                 {"message", change.message}});
            }
        }
    }
    if (report->json) {
        const nlohmann::ordered_json all = {
            {"command", "evaluate"},      {"ok", true},      {"exit", 0},
            {"frames", monitor.frames()}, {"health", found}, {"figures", figures}};
        std::printf("%s\n", DumpJson(all).c_str());
    } else {
        std::printf("%ld frames, %zu changes of the health's alarms\n", monitor.frames(),
                    found.size());
    }
    return PLANT_EXIT_OK;
}
