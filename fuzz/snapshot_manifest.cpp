// Fuzz target: the snapshot manifest's reader fed any bytes. A manifest taken names only
// sensors whose files stay inside the snapshot's folder, each once, with a SHA-256 of 64 digits.
#include "changes/manifest.h"
#include "line/linefile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    SnapshotManifestRead manifest;
    std::string why;
    if (!ParseSnapshotManifest(std::string(reinterpret_cast<const char *>(data), size), &manifest,
                               &why)) {
        if (why.empty())
            std::abort(); // a refusal says why
        return 0;
    }
    std::set<std::string> names;
    for (const ManifestSensor &sensor : manifest.sensors) {
        if (!IsSensorName(sensor.name) || !names.insert(sensor.name).second ||
            sensor.sha256[0].size() != 64 || sensor.sha256[1].size() != 64 ||
            SnapshotFile("/snap", sensor.name.c_str(), MEMORY_RAM).find("/", 6) !=
                std::string::npos)
            std::abort();
    }
    return 0;
}
