#include "files/save.h"

#include "files/regularfile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char UNFINISHED[] = ".saving";
enum { UNIQUE_LENGTH = 7 /* "-" and six hex digits */, ATTEMPTS = 20 };
// A save's text is a few hundred bytes; anything far larger was not left by one.
enum { LEFTOVER_MAX = 64 * 1024 };

std::string FolderOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// "<base>.saving" or "<base>.saving-XXXXXX"; base "" takes any name.
bool IsUnfinishedName(const std::string &name, const std::string &base) {
    const size_t mark = name.rfind(UNFINISHED);
    if (mark == std::string::npos || mark == 0 || (!base.empty() && name.compare(0, mark, base)))
        return false;
    if (!base.empty() && mark != base.size())
        return false;
    const std::string tail = name.substr(mark + sizeof UNFINISHED - 1);
    if (tail.empty())
        return true;
    if (tail.size() != UNIQUE_LENGTH || tail[0] != '-')
        return false;
    for (size_t i = 1; i < tail.size(); i++)
        if (!IsHexDigit(tail[i]))
            return false;
    return true;
}

bool HoldsOnlyNumbers(int fd) {
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0)
        for (ssize_t i = 0; i < got; i++)
            if (std::strchr("0123456789 \t\r\n", chunk[i]) == nullptr || chunk[i] == '\0')
                return false;
    return got == 0;
}

// Removes folder/name when a killed save left it; a running save holds its lock.
void RemoveIfLeftover(const std::string &folder, const std::string &name) {
    const std::string path = folder + "/" + name;
    struct stat facts {};
    if (::lstat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode) ||
        facts.st_uid != ::geteuid() || facts.st_size > LEFTOVER_MAX)
        return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && HoldsOnlyNumbers(fd))
        ::unlink(path.c_str());
    ::close(fd);
}

void RemoveLeftovers(const std::string &folder, const std::string &base) {
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent *entry = ::readdir(dir))
        if (IsUnfinishedName(entry->d_name, base))
            RemoveIfLeftover(folder, entry->d_name);
    ::closedir(dir);
}

// The file a save replaces: path itself, or the file a link there points to.
bool ResolveTarget(const char *path, std::string *target, struct stat *facts, bool *exists,
                   std::string *why) {
    *target = path;
    *exists = false;
    if (::lstat(path, facts) != 0) {
        if (errno == ENOENT)
            return true;
        *why = FileErrorText(errno);
        return false;
    }
    if (S_ISLNK(facts->st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path, resolved) == nullptr || ::stat(resolved, facts) != 0) {
            *why = "a link to no file";
            return false;
        }
        *target = resolved;
    }
    if (!S_ISREG(facts->st_mode)) {
        *why = KindOf(facts->st_mode);
        return false;
    }
    *exists = true;
    return true;
}

// Creates the save's own file beside target, exclusively; -1 with why.
int CreateUnfinished(const std::string &target, std::string *unfinished, std::string *why) {
    std::random_device entropy;
    std::uniform_int_distribution<unsigned> pick(0, 0xFFFFFF);
    for (int attempt = 0; attempt < ATTEMPTS; attempt++) {
        char unique[UNIQUE_LENGTH + 1];
        std::snprintf(unique, sizeof unique, "-%06x", pick(entropy));
        *unfinished = target + UNFINISHED + unique;
        const int fd = CreateNewFile(unfinished->c_str(), why);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool WriteAll(int fd, const char *text, size_t size, std::string *why) {
    while (size > 0) {
        const ssize_t written = ::write(fd, text, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            *why = written < 0 ? FileErrorText(errno) : "the disk took nothing";
            return false;
        }
        text += written;
        size -= size_t(written);
    }
    return true;
}

// Makes a completed rename durable: the folder's entry reaches the disk too.
void SyncFolder(const std::string &folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes, syncs and renames the locked file over target; false with why.
bool Complete(int fd, const std::string &unfinished, const std::string &target, const char *text,
              size_t size, std::string *why) {
    if (!WriteAll(fd, text, size, why))
        return false;
    if (::fsync(fd) != 0 || ::rename(unfinished.c_str(), target.c_str()) != 0) {
        *why = FileErrorText(errno);
        return false;
    }
    return true;
}

} // namespace

bool SaveFileWhole(const char *path, const char *text, size_t size, std::string *why) {
    std::string target;
    struct stat facts {};
    bool exists = false;
    if (!ResolveTarget(path, &target, &facts, &exists, why))
        return false;
    const std::string folder = FolderOf(target);
    RemoveLeftovers(folder, BaseNameOf(target));
    std::string unfinished;
    const int fd = CreateUnfinished(target, &unfinished, why);
    if (fd < 0)
        return false;
    // Held until the rename is done: a sweep of another copy of the program leaves it alone.
    ::flock(fd, LOCK_EX);
    if (exists)
        ::fchmod(fd, facts.st_mode & 07777);
    const bool saved = Complete(fd, unfinished, target, text, size, why);
    if (!saved)
        ::unlink(unfinished.c_str());
    ::close(fd);
    if (saved)
        SyncFolder(folder);
    return saved;
}

void RemoveLeftoverSaves(const char *directory) {
    RemoveLeftovers(directory, std::string());
}
