// A snapshot: a folder of each sensor's RAM and EEPROM blocks as .dat files (NAME-ram.dat,
// NAME-eeprom.dat) and manifest.json, which names the line, each sensor with its port and device,
// and the SHA-256 of each block. Reading a manifest checks every value's kind and every name, so
// that a file of the folder is named only as the snapshot itself names it. Free of Qt.
#pragma once

#include "sensor/wire.h"

#include <string>
#include <vector>

struct ManifestSensor {
    std::string name, port, device;
    std::string sha256[2]; // of the RAM block, of the EEPROM block
};

struct SnapshotManifestRead {
    std::string line; // the line's name; "" for a snapshot of ports
    std::vector<ManifestSensor> sensors;
};

// The file of a sensor's memory in a snapshot folder: "FOLDER/NAME-eeprom.dat".
std::string SnapshotFile(const char *folder, const char *sensor, int memory);
// The snapshot's manifest in folder.
std::string SnapshotManifest(const char *folder);
// The SHA-256 of a block as 64 hex digits.
std::string BlockSha256(const unsigned char *block);
// The manifest of a snapshot from its text. False with why when it is no manifest: not a JSON
// object, "sensors" not a list of sensors, a name that is no sensor name or given twice, a file
// other than the one the snapshot gives that sensor, a checksum that is no SHA-256.
bool ParseSnapshotManifest(const std::string &text, SnapshotManifestRead *manifest,
                           std::string *why);
// The manifest of the snapshot in folder: a regular file, parsed as above; false with why.
bool ReadSnapshotManifest(const std::string &folder, SnapshotManifestRead *manifest,
                          std::string *why);
// The manifest's entry of the sensor named, null when it holds none.
const ManifestSensor *FindManifestSensor(const SnapshotManifestRead &manifest,
                                         const std::string &name);
// Reads the sensor's block of memory (MEMORY_RAM, MEMORY_EEPROM) from the snapshot in folder
// and checks it against the manifest's SHA-256; false with why when it cannot be read or its
// checksum fails (the file was changed after the snapshot was taken).
bool ReadSnapshotBlock(const std::string &folder, const ManifestSensor &sensor, int memory,
                       unsigned char *block, std::string *why);
