// Sensor names from devices.
#include "line/sensorname.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>

namespace {

const char *const stableFolders[] = {"/dev/serial/by-id/", "/dev/serial/by-path/"};

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

} // namespace

std::string StableNameOfDevice(const std::string &device) {
    for (const char *folder : stableFolders)
        if (StartsWith(device, folder))
            return BaseName(device);
    const std::string real = RealPath(device);
    for (const char *folder : stableFolders) {
        DIR *directory = opendir(folder);
        if (directory == nullptr)
            continue;
        std::string found;
        while (const dirent *entry = readdir(directory))
            if (entry->d_name[0] != '.' && RealPath(folder + std::string(entry->d_name)) == real) {
                found = entry->d_name;
                break;
            }
        closedir(directory);
        if (!found.empty())
            return found;
    }
    return std::string();
}

std::string SensorNameOfDevice(const std::string &device) {
    const std::string stable = StableNameOfDevice(device);
    if (!stable.empty())
        return Plain(stable);
    const std::string real = RealPath(device);
    if (StartsWith(real, "/dev/")) {
        std::string rest = real.substr(5);
        for (char &c : rest)
            c = c == '/' ? '-' : c;
        return Plain(rest);
    }
    return Plain(BaseName(real));
}
