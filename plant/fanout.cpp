// One child process per port, each handing its result back through a pipe.
#include "plant/fanout.h"

#include "nvmxv451_version.h"

#include "platform/engine/userint.h"
#include "platform/system/plantcommandline.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

static pid_t children[PLANT_MAX_PORTS];
static int childCount = 0;
static void (*stopJob)(void) = nullptr;

// In the parent: hands the signal on to every child, which ends its job cleanly.
static void ForwardSignal(int signal) {
    for (int i = 0; i < childCount; i++)
        if (children[i] > 0)
            kill(children[i], signal);
}

// In a child: the job ends at its next poll.
static void StopOnSignal(int signal) {
    (void)signal;
    if (stopJob)
        stopJob();
}

static void HandleStopSignals(void (*handler)(int)) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

static bool WriteWhole(int fd, const void *data, size_t size) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= (size_t)written;
    }
    return true;
}

static size_t ReadWhole(int fd, void *data, size_t size) {
    char *bytes = static_cast<char *>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t got = read(fd, bytes + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += (size_t)got;
    }
    return done;
}

[[noreturn]] static void RunChild(int index, PortJob job, int resultFd) {
    static char program[] = NVMX_PROGRAM;
    static char *arguments[] = {program, nullptr};
    HandleStopSignals(StopOnSignal);
    InitHeadlessEngine(1, arguments);
    PortResult result;
    job(index, &result);
    bool handedOver = WriteWhole(resultFd, &result, sizeof result);
    close(resultFd);
    std::fflush(nullptr);
    std::exit(handedOver ? 0 : 1);
}

// What the parent says of a child that left no result.
static void ReportLostChild(pid_t child, PortResult *result) {
    int status = 0;
    char why[RESULT_TEXT_LEN] = "it ended without a result";
    if (child > 0 && waitpid(child, &status, 0) == child && WIFSIGNALED(status))
        std::snprintf(why, sizeof why, "it was ended by signal %d without a result",
                      WTERMSIG(status));
    SetResult(result, PLANT_EXIT_SENSOR, "FAILED", "%s", why);
}

void RunJobsAtOnce(int count, PortJob job, void (*stop)(void), PortResult *results) {
    int resultFds[PLANT_MAX_PORTS];
    stopJob = stop;
    // Buffered output would otherwise be written once by every child too.
    std::fflush(nullptr);
    childCount = count;
    for (int i = 0; i < count; i++) {
        int fds[2] = {-1, -1};
        children[i] = pipe(fds) == 0 ? fork() : -1;
        if (children[i] == 0) {
            close(fds[0]);
            RunChild(i, job, fds[1]);
        }
        if (fds[1] >= 0)
            close(fds[1]);
        resultFds[i] = fds[0];
    }
    HandleStopSignals(ForwardSignal);
    for (int i = 0; i < count; i++) {
        char port[PORT_LABEL_LEN], device[MAX_PATHNAME_LEN];
        std::memcpy(port, results[i].port, sizeof port);
        std::memcpy(device, results[i].device, sizeof device);
        bool whole = resultFds[i] >= 0 &&
                     ReadWhole(resultFds[i], &results[i], sizeof results[i]) == sizeof results[i];
        if (resultFds[i] >= 0)
            close(resultFds[i]);
        if (whole) {
            waitpid(children[i], nullptr, 0);
            continue;
        }
        BeginResult(&results[i], port, device);
        ReportLostChild(children[i], &results[i]);
    }
    childCount = 0;
}
