// A local stream socket of the file system, carrying one text line at a time each way: the
// line service listens on it, its commands and the panel connect. Free of Qt; POSIX (elsewhere
// nothing listens and nothing is found).
#pragma once

#include <string>

// What a connect found at a socket's path.
enum LocalReach {
    LOCAL_NOBODY,    // no socket there, or one that nobody listens on any more
    LOCAL_CONNECTED, // *fd is the connection
    LOCAL_FAILED,    // a socket that may not be used (why says what)
};
LocalReach ConnectLocal(const std::string &path, int *fd, std::string *why);
// Listens at path, readable and writable by the owner and the group of the folder alone. A
// socket left there by a process that ended is replaced; one that still answers is refused
// (another process serves it: *answered is set). -1 with why.
int ListenLocal(const std::string &path, std::string *why, bool *answered);
// The next connection, waiting at most timeoutMs; -1 when none came.
int AcceptLocal(int listener, int timeoutMs);
void CloseLocal(int fd);
// Writes line and a newline whole; false when the peer went away.
bool WriteLocalLine(int fd, const std::string &line);
// What a read of a line found.
enum LocalRead { READ_LINE, READ_NOTHING_YET, READ_CLOSED };
// Waits at most timeoutMs for the next line (without its newline) into *line; pending holds what
// came beyond it for the next call. A line longer than maxLength closes the connection.
LocalRead ReadLocalLine(int fd, std::string *pending, std::string *line, int timeoutMs,
                        size_t maxLength = 64 * 1024);
