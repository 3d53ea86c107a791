#include "files/regularfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string TooLarge(size_t limit) {
    return "larger than " + std::to_string(limit) + " bytes";
}

} // namespace

const char *KindOf(unsigned mode) {
    if (S_ISDIR(mode))
        return "a directory, not a file";
    if (S_ISFIFO(mode))
        return "a FIFO, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device, not a file";
    if (S_ISSOCK(mode))
        return "a socket, not a file";
    return "not a regular file";
}

std::string FileErrorText(int error) {
    switch (error) {
    case ENOENT:
        return "no such file";
    case EACCES:
    case EPERM:
        return "permission denied";
    case ENOTDIR:
        return "a part of the path is not a folder";
    case ENAMETOOLONG:
        return "the name is too long";
    case EEXIST:
        return "exists already";
    case ELOOP:
        return "a link where a file was expected";
    default:
        return std::strerror(error);
    }
}

int OpenRegularFile(const char *path, std::string *why, bool *missing) {
    if (missing != nullptr)
        *missing = false;
    struct stat facts {};
    // A device is not even opened: opening some (a tape, a modem line) acts on them.
    if (::stat(path, &facts) == 0 && !S_ISREG(facts.st_mode)) {
        *why = KindOf(facts.st_mode);
        return -1;
    }
    // Without O_NONBLOCK the open of a FIFO put there meanwhile would wait for a writer.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (missing != nullptr)
            *missing = error == ENOENT;
        *why = FileErrorText(error);
        return -1;
    }
    if (::fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        *why = KindOf(facts.st_mode);
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool ReadSmallFile(const char *path, size_t limit, std::string *text, std::string *why,
                   bool *missing) {
    const int fd = OpenRegularFile(path, why, missing);
    if (fd < 0)
        return false;
    text->clear();
    // The size first: a file far too large is refused before a byte of it is read.
    struct stat facts {};
    if (::fstat(fd, &facts) == 0 && (unsigned long long)facts.st_size > limit) {
        ::close(fd);
        *why = TooLarge(limit);
        return false;
    }
    text->reserve(size_t(facts.st_size) + 1);
    char chunk[4096];
    ssize_t got = 0;
    // One byte beyond the limit tells a file that is too large, without reading the rest.
    while (text->size() <= limit && (got = ::read(fd, chunk, sizeof chunk)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *why = FileErrorText(errno);
            ::close(fd);
            return false;
        }
        text->append(chunk, size_t(got));
    }
    ::close(fd);
    if (text->size() > limit) {
        *why = TooLarge(limit);
        return false;
    }
    return true;
}

int CreateNewFile(const char *path, std::string *why) {
    const int fd =
        ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        *why = FileErrorText(errno);
    return fd;
}

void MakeFoldersAbove(const std::string &path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
}
