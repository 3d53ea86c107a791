#include "files/path.h"

#include <cstdio>
#include <unistd.h>

bool AbsolutePath(const char *path, char *absolute, int size) {
    if (path[0] == '/' || path[0] == '\0')
        return std::snprintf(absolute, (size_t)size, "%s", path) < size;
    char here[FILE_PATH_LEN];
    if (getcwd(here, sizeof here) == nullptr)
        return false;
    return std::snprintf(absolute, (size_t)size, "%s/%s", here, path) < size;
}
