// Sensor names from devices.
#include "line/sensorname.h"

#include "line/linefile.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>

namespace {

const char *const stableFolders[] = {"/dev/serial/by-id/", "/dev/serial/by-path/"};

// A shortened name: HEAD_LEN bytes of the head, '.', 8 hex digits of the hash, '.', the tail.
// By-id names tell adapters apart by the serial number near their end and the interface
// ("-if00-port0") after it, so the tail gets the larger share.
enum {
    HASH_TEXT_LEN = 8,
    HEAD_LEN = 28,
    TAIL_LEN = SENSOR_NAME_LEN - 1 - HEAD_LEN - HASH_TEXT_LEN - 2
};
static_assert(TAIL_LEN >= 16, "a shortened name keeps a readable tail");

std::string RealPath(const std::string &path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : path;
}

std::string BaseName(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool StartsWith(const std::string &text, const std::string &head) {
    return text.compare(0, head.size(), head) == 0;
}

// Only characters that a topic level and a file name both take.
std::string Plain(std::string name) {
    for (char &c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-'))
            c = '_';
    if (!name.empty() && (name[0] == '.' || name[0] == '-'))
        name[0] = '_';
    return name.empty() ? std::string("sensor") : name;
}

// FNV-1a over every byte: the same on every machine and in every run.
uint32_t NameHash(const std::string &text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

} // namespace

std::string FittingSensorName(const std::string &raw) {
    const std::string plain = Plain(raw);
    if (plain.size() < SENSOR_NAME_LEN)
        return plain;
    char hash[HASH_TEXT_LEN + 1];
    std::snprintf(hash, sizeof hash, "%08x", (unsigned)NameHash(raw));
    return plain.substr(0, HEAD_LEN) + "." + hash + "." + plain.substr(plain.size() - TAIL_LEN);
}

std::string StableNameOfDevice(const std::string &device, const std::string &root) {
    for (const char *folder : stableFolders)
        if (StartsWith(device, root + folder))
            return BaseName(device);
    const std::string real = RealPath(device);
    for (const char *folder : stableFolders) {
        const std::string path = root + folder;
        DIR *directory = opendir(path.c_str());
        if (directory == nullptr)
            continue;
        std::string found;
        while (const dirent *entry = readdir(directory))
            if (entry->d_name[0] != '.' && RealPath(path + entry->d_name) == real) {
                found = entry->d_name;
                break;
            }
        closedir(directory);
        if (!found.empty())
            return found;
    }
    return std::string();
}

std::string SensorNameOfDevice(const std::string &device, const std::string &root) {
    const std::string stable = StableNameOfDevice(device, root);
    if (!stable.empty())
        return FittingSensorName(stable);
    const std::string real = RealPath(device);
    const std::string devices = RealPath(root.empty() ? "/dev" : root + "/dev") + "/";
    if (StartsWith(real, devices)) {
        std::string rest = real.substr(devices.size());
        for (char &c : rest)
            c = c == '/' ? '-' : c;
        return FittingSensorName(rest);
    }
    return FittingSensorName(BaseName(real));
}
