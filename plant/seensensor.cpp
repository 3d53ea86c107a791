#include "plant/seensensor.h"

#include "files/regularfile.h"
#include "files/save.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <vector>

namespace {

enum { STATE_FILE_LIMIT = 64 * 1024 };

bool TakeBlock(const nlohmann::json &object, const char *key, unsigned char *block) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_array() || found->size() != BLOCK_LENGTH)
        return false;
    for (int i = 0; i < BLOCK_LENGTH; i++) {
        const nlohmann::json &value = (*found)[(size_t)i];
        if (!value.is_number_unsigned() || value.get<unsigned>() > 255)
            return false;
        block[i] = (unsigned char)value.get<unsigned>();
    }
    return true;
}

} // namespace

std::string SeenSensorPath(const std::string &folder, const std::string &sensor) {
    return folder + "/" + sensor + ".json";
}

bool ReadSeenSensor(const std::string &path, SeenSensor *seen, std::string *why) {
    std::string text;
    if (!ReadSmallFile(path.c_str(), STATE_FILE_LIMIT, &text, why))
        return false;
    const nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
    if (object.is_object() && object.contains("identity") && object["identity"].is_string() &&
        TakeBlock(object, "eeprom", seen->eeprom) && TakeBlock(object, "ram", seen->ram)) {
        seen->identity = object["identity"].get<std::string>();
        return true;
    }
    *why = path + ": not a state file of the line service";
    return false;
}

bool SaveSeenSensor(const std::string &path, const SeenSensor &seen, std::string *why) {
    MakeFoldersAbove(path);
    const nlohmann::ordered_json object = {
        {"identity", seen.identity},
        {"eeprom", std::vector<int>(seen.eeprom, seen.eeprom + BLOCK_LENGTH)},
        {"ram", std::vector<int>(seen.ram, seen.ram + BLOCK_LENGTH)}};
    const std::string text =
        object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return SaveFileWhole(path.c_str(), text.data(), text.size(), why);
}

SeenFinding CompareWithSeen(const SeenSensor &before, const SeenSensor &now) {
    const bool sameBlocks = std::memcmp(before.eeprom, now.eeprom, BLOCK_LENGTH) == 0 &&
                            std::memcmp(before.ram, now.ram, BLOCK_LENGTH) == 0;
    if (!before.identity.empty() && !now.identity.empty() && before.identity != now.identity)
        return SEEN_REPLACED;
    if (sameBlocks)
        return SEEN_SAME;
    return now.identity.empty() ? SEEN_REPLACED : SEEN_CHANGED;
}
