// Appending to the change log.
#include "changes/changelog.h"

#include "changes/blockdiff.h"
#include "files/path.h"
#include "files/regularfile.h"
#include "nvmxv451_version.h"
#include "textforms/timestamp.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <random>
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

// An id that no other write of any process shares: 64 random bits.
std::string NewEntryId(void) {
    std::random_device random;
    const unsigned long long bits = ((unsigned long long)random() << 32) | random();
    char id[17];
    std::snprintf(id, sizeof id, "%016llx", bits);
    return id;
}

// True when the file of fd ends in a line that a failed write left without its end.
bool EndsTorn(int fd) {
    struct stat status {};
    char last = '\n';
    return fstat(fd, &status) == 0 && status.st_size > 0 &&
           pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n';
}

std::string Dumped(const nlohmann::json &line) {
    // Names are bytes: one that is not UTF-8 is kept with its bytes replaced, never refused.
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// Appends line to the user's log and to the line's, telling every one that failed.
bool AppendToLogs(const std::string &line, const std::string &linePath, std::string *why) {
    std::string failed, reason;
    if (!AppendLogLine(UserChangeLogPath(), line, &reason))
        failed = reason;
    if (!linePath.empty() && !AppendLogLine(linePath, line, &reason))
        failed += (failed.empty() ? "" : "; ") + reason;
    if (failed.empty())
        return true;
    *why = "the change log was not written: " + failed;
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

namespace {

nlohmann::json EntryObject(const ChangeEntry &entry, const char *phase) {
    char time[TIME_STAMP_LEN];
    FormatTimeStampNow(time, sizeof time);
    nlohmann::json line = {
        {"time", time},           {"entry", entry.id},
        {"phase", phase},         {"host", HostName()},
        {"user", UserName()},     {"version", NVMX_VERSION},
        {"sensor", entry.sensor}, {"port", entry.port},
        {"device", entry.device}, {"memory", MemoryName(entry.memory)},
        {"source", entry.source}, {"backup", entry.backup},
    };
    if (entry.before && entry.after)
        line["changes"] =
            nlohmann::json::parse(DifferencesJson(DiffBlocks(entry.before, entry.after)));
    else
        line["changes"] = "unknown";
    return line;
}

} // namespace

std::string WriteAheadLine(const ChangeEntry &entry) {
    return Dumped(EntryObject(entry, "write"));
}

bool LogFinding(ChangeEntry *entry, const std::string &outcome, const std::string &linePath,
                std::string *why) {
    entry->id = NewEntryId();
    nlohmann::json line = EntryObject(*entry, "found");
    line["verify"] = outcome;
    return AppendToLogs(Dumped(line), linePath, why);
}

std::string OutcomeLine(const ChangeEntry &entry, const std::string &verify) {
    char time[TIME_STAMP_LEN];
    FormatTimeStampNow(time, sizeof time);
    return Dumped({{"time", time},
                   {"entry", entry.id},
                   {"phase", "outcome"},
                   {"sensor", entry.sensor},
                   {"verify", verify}});
}

bool LogWriteAhead(ChangeEntry *entry, const std::string &linePath, std::string *why) {
    entry->id = NewEntryId();
    return AppendToLogs(WriteAheadLine(*entry), linePath, why);
}

bool LogOutcome(const ChangeEntry &entry, const std::string &verify, const std::string &linePath,
                std::string *why) {
    return AppendToLogs(OutcomeLine(entry, verify), linePath, why);
}

// O_NONBLOCK: a FIFO planted there never holds up the caller; it is refused as no file.
bool AppendLogLine(const std::string &path, const std::string &line, std::string *why) {
    MakeFoldersAbove(path);
    const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        *why = path + ": " + FileErrorText(errno);
        return false;
    }
    struct stat status;
    if (fstat(fd, &status) == 0 && !S_ISREG(status.st_mode)) {
        *why = path + ": " + KindOf(status.st_mode);
        close(fd);
        return false;
    }
    const std::string whole = EndsTorn(fd) ? "\n" + line : line;
    const ssize_t written = write(fd, whole.data(), whole.size());
    const int error = errno;
    close(fd);
    if (written == (ssize_t)whole.size())
        return true;
    *why = path + ": " + (written < 0 ? FileErrorText(error) : std::string("written in part"));
    return false;
}
