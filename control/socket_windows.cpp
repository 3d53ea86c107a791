#include "control/socket.h"

// A line service runs on POSIX systems only: here no line is ever found served.
LocalReach ConnectLocal(const std::string &, int *fd, std::string *) {
    *fd = -1;
    return LOCAL_NOBODY;
}

int ListenLocal(const std::string &path, std::string *why, bool *answered) {
    *answered = false;
    *why = path + ": a line service needs a POSIX system";
    return -1;
}

int AcceptLocal(int, int) {
    return -1;
}

void CloseLocal(int) {}

bool WriteLocalLine(int, const std::string &) {
    return false;
}

LocalRead ReadLocalLine(int, std::string *, std::string *, int, size_t) {
    return READ_CLOSED;
}
