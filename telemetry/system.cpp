#include "telemetry/system.h"

#include <cstdio>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#elif defined(_WIN32)
#include <cstdlib>
#include <io.h>
#include <process.h>
#endif

void HostName(char *name, size_t size) {
    name[0] = '\0';
#if defined(__unix__) || defined(__APPLE__)
    if (gethostname(name, size) != 0)
        name[0] = '\0';
#elif defined(_WIN32)
    const char *computer = std::getenv("COMPUTERNAME");
    std::snprintf(name, size, "%s", computer != nullptr ? computer : "");
#endif
    name[size - 1] = '\0';
    if (name[0] == '\0')
        std::snprintf(name, size, "unknown");
}

long ProcessId(void) {
#if defined(__unix__) || defined(__APPLE__)
    return (long)getpid();
#elif defined(_WIN32)
    return (long)_getpid();
#else
    return 0;
#endif
}

void CloseDescriptor(int fd) {
#if defined(__unix__) || defined(__APPLE__)
    close(fd);
#elif defined(_WIN32)
    _close(fd);
#endif
}
