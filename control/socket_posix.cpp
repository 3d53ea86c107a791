#include "control/socket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool AddressOf(const std::string &path, sockaddr_un *address, std::string *why) {
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address->sun_path) {
        *why = "the control socket's path is " +
               std::string(path.empty() ? "empty" : "too long for a socket") + ": " + path;
        return false;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size());
    return true;
}

int NewSocket(std::string *why) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        *why = std::string("no socket: ") + std::strerror(errno);
    return fd;
}

std::string FolderOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The socket's group is its folder's, so that an administrator gives the line's commands to a
// group by the folder's group.
bool TakeFoldersGroup(const std::string &path, std::string *why) {
    struct stat folder {};
    if (stat(FolderOf(path).c_str(), &folder) != 0 || folder.st_gid == getegid())
        return true;
    if (chown(path.c_str(), (uid_t)-1, folder.st_gid) == 0)
        return true;
    *why =
        "the control socket cannot take its folder's group: " + std::string(std::strerror(errno));
    return false;
}

} // namespace

LocalReach ConnectLocal(const std::string &path, int *fd, std::string *why) {
    sockaddr_un address{};
    if (!AddressOf(path, &address, why))
        return LOCAL_FAILED;
    *fd = NewSocket(why);
    if (*fd < 0)
        return LOCAL_FAILED;
    if (connect(*fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
        return LOCAL_CONNECTED;
    const int error = errno;
    close(*fd);
    *fd = -1;
    if (error == ENOENT || error == ECONNREFUSED)
        return LOCAL_NOBODY;
    *why = path + ": " + std::strerror(error);
    return LOCAL_FAILED;
}

int ListenLocal(const std::string &path, std::string *why, bool *answered) {
    *answered = false;
    int running = -1;
    const LocalReach reach = ConnectLocal(path, &running, why);
    if (reach == LOCAL_CONNECTED) {
        close(running);
        *answered = true;
        *why = path + ": another service answers there";
        return -1;
    }
    if (reach == LOCAL_FAILED)
        return -1;
    struct stat status {};
    if (lstat(path.c_str(), &status) == 0 && !S_ISSOCK(status.st_mode)) {
        *why = path + ": not a socket, left as it is";
        return -1;
    }
    unlink(path.c_str());
    sockaddr_un address{};
    AddressOf(path, &address, why);
    const int fd = NewSocket(why);
    if (fd < 0)
        return -1;
    // Made with no access for others from the start: no moment in which anyone may connect.
    const mode_t before = umask(0117);
    const bool bound = bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    const int error = errno;
    umask(before);
    if (!bound || listen(fd, 16) != 0) {
        *why = path + ": " + std::strerror(bound ? errno : error);
        close(fd);
        return -1;
    }
    if (!TakeFoldersGroup(path, why)) {
        close(fd);
        unlink(path.c_str());
        return -1;
    }
    return fd;
}

int AcceptLocal(int listener, int timeoutMs) {
    pollfd wait{listener, POLLIN, 0};
    if (poll(&wait, 1, timeoutMs) <= 0)
        return -1;
    return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

void CloseLocal(int fd) {
    if (fd >= 0)
        close(fd);
}

bool WriteLocalLine(int fd, const std::string &line) {
    const std::string text = line + "\n";
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = send(fd, text.data() + written, text.size() - written, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += (size_t)n;
    }
    return true;
}

LocalRead ReadLocalLine(int fd, std::string *pending, std::string *line, int timeoutMs,
                        size_t maxLength) {
    for (;;) {
        const size_t newline = pending->find('\n');
        if (newline != std::string::npos) {
            *line = pending->substr(0, newline);
            pending->erase(0, newline + 1);
            return READ_LINE;
        }
        if (pending->size() > maxLength)
            return READ_CLOSED;
        pollfd wait{fd, POLLIN, 0};
        const int ready = poll(&wait, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return READ_NOTHING_YET;
        char buffer[4096];
        const ssize_t n = ready < 0 ? -1 : recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return READ_CLOSED;
        pending->append(buffer, (size_t)n);
    }
}
