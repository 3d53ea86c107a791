// Pseudo-terminal or device, clock and stop signals.
#include "emulator/line.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <termios.h>
#include <time.h>
#include <unistd.h>

enum { PATH_LENGTH = 4096 };

static int lineFd = -1;      // what the emulator reads and writes: pty master or device
static int keptSlaveFd = -1; // the emulator's own hold on the pty slave
static char linePath[PATH_LENGTH];
static volatile sig_atomic_t stopRequested = 0;
static sigset_t waitMask; // the signal mask inside waits: stop signals let through

static void OnStopSignal(int) {
    stopRequested = 1;
}

void InstallStopSignals(void) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // Stop signals are only delivered inside ppoll, so a signal that arrives between a test of
    // the flag and the next wait cannot be lost.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
}

int StopRequested(void) {
    return stopRequested;
}

double Now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

static struct timespec TimespecOf(double seconds) {
    struct timespec span;
    span.tv_sec = (time_t)seconds;
    span.tv_nsec = (long)((seconds - (double)span.tv_sec) * 1e9);
    return span;
}

// One wait on fd (or none when fd < 0) for events, at most timeoutSeconds (negative: no
// limit). Returns ppoll's result; 0 also when a stop signal ended the wait.
static int WaitOn(int fd, short events, double timeoutSeconds, short *revents) {
    struct pollfd entry = {fd, events, 0};
    struct timespec span = TimespecOf(timeoutSeconds > 0.0 ? timeoutSeconds : 0.0);
    int ready = ppoll(fd >= 0 ? &entry : nullptr, fd >= 0 ? 1 : 0,
                      timeoutSeconds < 0.0 ? nullptr : &span, &waitMask);
    if (ready < 0 && errno == EINTR) {
        ready = 0;
    }
    *revents = entry.revents;
    return ready;
}

void SharpenWaits(void) {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL);
#endif
}

int SleepUntil(double t) {
    short revents = 0;
    for (double left = t - Now(); left > 0.0 && !stopRequested; left = t - Now()) {
        WaitOn(-1, 0, left, &revents);
    }
    return stopRequested ? -1 : 0;
}

void WaitForStop(void) {
    short revents = 0;
    while (!stopRequested) {
        WaitOn(-1, 0, -1.0, &revents);
    }
}

// Raw 9600 8N1, no handshake, reads that never block.
static int SetRawLine(int fd) {
    struct termios settings;
    if (tcgetattr(fd, &settings) != 0) {
        return -1;
    }
    cfmakeraw(&settings);
    settings.c_cflag &= ~(tcflag_t)(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~(tcflag_t)(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    return tcsetattr(fd, TCSANOW, &settings);
}

static int OpenPseudoTerminal(void) {
    lineFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (lineFd < 0 || grantpt(lineFd) != 0 || unlockpt(lineFd) != 0 ||
        ptsname_r(lineFd, linePath, sizeof linePath) != 0) {
        fprintf(stderr, "sensor-emulator: cannot create a pseudo-terminal: %s\n", strerror(errno));
        return -1;
    }
    keptSlaveFd = open(linePath, O_RDWR | O_NOCTTY);
    if (keptSlaveFd < 0 || SetRawLine(keptSlaveFd) != 0) {
        fprintf(stderr, "sensor-emulator: cannot set up %s: %s\n", linePath, strerror(errno));
        return -1;
    }
    return 0;
}

static int OpenDevice(const char *device) {
    if (strlen(device) >= sizeof linePath) {
        fprintf(stderr, "sensor-emulator: device path too long\n");
        return -1;
    }
    strcpy(linePath, device);
    lineFd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (lineFd < 0 || SetRawLine(lineFd) != 0) {
        fprintf(stderr, "sensor-emulator: cannot open %s: %s\n", device, strerror(errno));
        return -1;
    }
    return 0;
}

int OpenLine(const char *device) {
    return device != nullptr ? OpenDevice(device) : OpenPseudoTerminal();
}

const char *LinePath(void) {
    return linePath;
}

int LineRead(unsigned char *buffer, int size, double timeoutSeconds) {
    if (lineFd < 0) {
        return -1;
    }
    short revents = 0;
    if (WaitOn(lineFd, POLLIN, timeoutSeconds, &revents) <= 0) {
        return 0;
    }
    ssize_t count = read(lineFd, buffer, (size_t)size);
    if (count > 0) {
        return (int)count;
    }
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return 0;
    }
    return -1; // end of file or an error: the far end has gone
}

int LineWrite(const unsigned char *buffer, int count) {
    int written = 0;
    double giveUp = Now() + 1.0;
    while (written < count && lineFd >= 0 && !stopRequested) {
        ssize_t part = write(lineFd, buffer + written, (size_t)(count - written));
        if (part > 0) {
            written += (int)part;
            continue;
        }
        if (part < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
        // No room: the program is not reading. Wait a little, then drop the rest.
        short revents = 0;
        double left = giveUp - Now();
        if (left <= 0.0) {
            break;
        }
        WaitOn(lineFd, POLLOUT, left, &revents);
    }
    return written;
}

void CloseLine(void) {
    if (keptSlaveFd >= 0) {
        close(keptSlaveFd);
        keptSlaveFd = -1;
    }
    if (lineFd >= 0) {
        close(lineFd);
        lineFd = -1;
    }
}
