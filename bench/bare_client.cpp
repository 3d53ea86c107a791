// The yardstick of bench/transfer-rate: the least a program can do to keep a sensor streaming.
// It sends the ReadData request, reads the seven bytes of the reply as they come and sends the
// next request at once, with no display, no parsing and no time-out, until it is killed.
//   bare-client DEVICE
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

constexpr unsigned char REQUEST[] = {0x55, 0x05};
constexpr int REPLY_LENGTH = 7;

bool MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return false;
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

// Reads until the whole reply is in; false once the line is gone.
bool ReadReply(int fd) {
    unsigned char reply[REPLY_LENGTH];
    int have = 0;
    while (have < REPLY_LENGTH) {
        ssize_t got = read(fd, reply + have, size_t(REPLY_LENGTH - have));
        if (got > 0)
            have += int(got);
        else if (got == 0 || errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare-client DEVICE\n");
        return 2;
    }
    int fd = open(argv[1], O_RDWR | O_NOCTTY);
    if (fd < 0 || !MakeRaw(fd)) {
        std::perror(argv[1]);
        return 1;
    }
    while (write(fd, REQUEST, sizeof REQUEST) == sizeof REQUEST && ReadReply(fd)) {
    }
    return 0;
}
