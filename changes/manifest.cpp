// Snapshot manifests: their files, checksums and reading.
#include "changes/manifest.h"

#include "com232/parameterfile.h"
#include "files/regularfile.h"
#include "line/linefile.h"

#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <cstdio>
#include <set>

namespace {

enum { MANIFEST_LIMIT = 4 << 20 };

const char *const memoryKeys[2] = {"ram", "eeprom"};

struct NotManifest {
    std::string why;
};

std::string Text(const nlohmann::json &object, const char *key, const std::string &where) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string())
        throw NotManifest{where + key + " is not a text"};
    return found->get<std::string>();
}

bool IsSha256(const std::string &text) {
    if (text.size() != 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

ManifestSensor TakeSensor(const nlohmann::json &sensor) {
    if (!sensor.is_object())
        throw NotManifest{"a sensor is not an object"};
    ManifestSensor taken;
    taken.name = Text(sensor, "name", "a sensor's ");
    if (!IsSensorName(taken.name))
        throw NotManifest{"'" + taken.name + "' is no sensor name"};
    const std::string where = taken.name + "'s ";
    taken.port = Text(sensor, "port", where);
    taken.device = Text(sensor, "device", where);
    for (int i = 0; i < 2; i++) {
        const auto block = sensor.find(memoryKeys[i]);
        if (block == sensor.end() || !block->is_object())
            throw NotManifest{where + memoryKeys[i] + " is not an object"};
        const int memory = i == 0 ? MEMORY_RAM : MEMORY_EEPROM;
        const std::string expected = SnapshotFile(".", taken.name.c_str(), memory).substr(2);
        if (Text(*block, "file", where + memoryKeys[i] + " ") != expected)
            throw NotManifest{where + memoryKeys[i] + " file is not " + expected};
        taken.sha256[i] = Text(*block, "sha256", where + memoryKeys[i] + " ");
        if (!IsSha256(taken.sha256[i]))
            throw NotManifest{where + memoryKeys[i] + " sha256 is no SHA-256"};
    }
    return taken;
}

} // namespace

std::string SnapshotFile(const char *folder, const char *sensor, int memory) {
    return std::string(folder) + "/" + sensor + (memory == MEMORY_EEPROM ? "-eeprom" : "-ram") +
           ".dat";
}

std::string SnapshotManifest(const char *folder) {
    return std::string(folder) + "/manifest.json";
}

std::string BlockSha256(const unsigned char *block) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(block, BLOCK_LENGTH, digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; i++) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

bool ParseSnapshotManifest(const std::string &text, SnapshotManifestRead *manifest,
                           std::string *why) {
    const nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
    try {
        if (object.is_discarded() || !object.is_object())
            throw NotManifest{"no JSON object"};
        manifest->line = Text(object, "line", "");
        const auto sensors = object.find("sensors");
        if (sensors == object.end() || !sensors->is_array())
            throw NotManifest{"sensors is not a list"};
        std::set<std::string> names;
        manifest->sensors.clear();
        for (const nlohmann::json &sensor : *sensors) {
            manifest->sensors.push_back(TakeSensor(sensor));
            if (!names.insert(manifest->sensors.back().name).second)
                throw NotManifest{"'" + manifest->sensors.back().name + "' is listed twice"};
        }
    } catch (const NotManifest &failure) {
        *why = "no snapshot manifest: " + failure.why;
        return false;
    }
    return true;
}

bool ReadSnapshotManifest(const std::string &folder, SnapshotManifestRead *manifest,
                          std::string *why) {
    const std::string path = SnapshotManifest(folder.c_str());
    std::string text, reason;
    bool missing = false;
    if (!ReadSmallFile(path.c_str(), MANIFEST_LIMIT, &text, &reason, &missing)) {
        *why = missing ? folder + " has no manifest.json" : path + ": " + reason;
        return false;
    }
    if (ParseSnapshotManifest(text, manifest, &reason))
        return true;
    *why = path + ": " + reason;
    return false;
}

const ManifestSensor *FindManifestSensor(const SnapshotManifestRead &manifest,
                                         const std::string &name) {
    for (const ManifestSensor &sensor : manifest.sensors)
        if (sensor.name == name)
            return &sensor;
    return nullptr;
}

bool ReadSnapshotBlock(const std::string &folder, const ManifestSensor &sensor, int memory,
                       unsigned char *block, std::string *why) {
    const std::string file = SnapshotFile(folder.c_str(), sensor.name.c_str(), memory);
    if (ReadParameterFile(file.c_str(), block) != 0) {
        *why = LastParameterFileError();
        return false;
    }
    if (BlockSha256(block) == sensor.sha256[memory == MEMORY_EEPROM ? 1 : 0])
        return true;
    *why = file + ": its checksum is not the manifest's: the file was changed after the snapshot";
    return false;
}
