// Appending to the change log.
#include "changes/changelog.h"

#include "changes/blockdiff.h"
#include "files/path.h"
#include "files/regularfile.h"
#include "line/sensorname.h"
#include "nvmxv451_version.h"
#include "platform/serial/rs232.h"
#include "textforms/timestamp.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HostName(void) {
    char host[256] = "";
    return gethostname(host, sizeof host - 1) == 0 ? std::string(host) : std::string("unknown");
}

std::string UserName(void) {
    if (const passwd *user = getpwuid(getuid()))
        return user->pw_name;
    return std::to_string((long)getuid());
}

// One write of the whole line in append mode, so that lines of several threads or processes
// never interleave. O_NONBLOCK: a FIFO planted there never holds up the caller.
bool AppendLine(const std::string &path, const std::string &line, std::string *why) {
    MakeFoldersAbove(path);
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        *why = path + ": " + FileErrorText(errno);
        return false;
    }
    const ssize_t written = write(fd, line.data(), line.size());
    const int error = errno;
    close(fd);
    if (written == (ssize_t)line.size())
        return true;
    *why = path + ": " + (written < 0 ? FileErrorText(error) : std::string("written in part"));
    return false;
}

} // namespace

std::string UserDataFolder(void) {
    const char *data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return std::string(data) + "/nvmxv451";
    const char *home = std::getenv("HOME");
    return std::string(home && home[0] ? home : "/tmp") + "/.local/share/nvmxv451";
}

std::string UserChangeLogPath(void) {
    return UserDataFolder() + "/changes.jsonl";
}

std::string ChangeLine(const ChangeEntry &entry) {
    char time[TIME_STAMP_LEN];
    FormatTimeStampNow(time, sizeof time);
    nlohmann::json line = {
        {"time", time},           {"host", HostName()},
        {"user", UserName()},     {"version", NVMX_VERSION},
        {"sensor", entry.sensor}, {"port", entry.port},
        {"device", entry.device}, {"memory", MemoryName(entry.memory)},
        {"source", entry.source},
    };
    if (entry.before && entry.after)
        line["changes"] =
            nlohmann::json::parse(DifferencesJson(DiffBlocks(entry.before, entry.after)));
    else
        line["changes"] = "unknown";
    line["verify"] = entry.verify;
    // Names are bytes: one that is not UTF-8 is kept with its bytes replaced, never refused.
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

bool AppendChange(const ChangeEntry &entry, const std::string &linePath, std::string *why) {
    const std::string line = ChangeLine(entry);
    std::string failed, reason;
    if (!AppendLine(UserChangeLogPath(), line, &reason))
        failed = reason;
    if (!linePath.empty() && !AppendLine(linePath, line, &reason))
        failed += (failed.empty() ? "" : "; ") + reason;
    if (failed.empty())
        return true;
    *why = "the change log was not written: " + failed;
    return false;
}

void LogPanelSend(int comPort, int memory, const unsigned char *block, const char *source,
                  bool written) {
    char device[FILE_PATH_LEN] = "";
    ComPortDevice(comPort, device, sizeof device);
    ChangeEntry entry;
    entry.sensor = SensorNameOfDevice(device);
    entry.port = "COM" + std::to_string(comPort);
    entry.device = device;
    entry.memory = memory;
    entry.source = source;
    entry.after = block;
    entry.verify = written ? "not verified" : "not written: the line did not take the block";
    std::string why;
    if (!AppendChange(entry, std::string(), &why))
        std::fprintf(stderr, "nvmxv451: %s\n", why.c_str());
}
