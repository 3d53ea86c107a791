// Reading and writing parameter files.
#include "emulator/block_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

enum {
    FIELD_WIDTH = 5,
    FILE_TEXT_LENGTH = BLOCK_LENGTH * (FIELD_WIDTH + 1),
    READ_LIMIT = 65536, // a parameter file is far smaller; anything larger is not one
    PATH_LENGTH = 4096,
};

static char fileText[READ_LIMIT + 1];

// Reads the whole file into fileText. Returns its length, -2 when it does not exist, -1 when it
// cannot be read or is too large.
static int ReadWholeFile(const char *path) {
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        return errno == ENOENT ? -2 : -1;
    }
    int length = 0;
    ssize_t part = 0;
    while (length <= READ_LIMIT &&
           (part = read(fd, fileText + length, (size_t)(READ_LIMIT + 1 - length))) > 0) {
        length += (int)part;
    }
    close(fd);
    if (part < 0 || length > READ_LIMIT) {
        return -1;
    }
    fileText[length] = '\0';
    return length;
}

// Parses fileText: numbers 0..255 separated by blanks and line ends, nothing else, at least
// BLOCK_LENGTH of them. The first BLOCK_LENGTH go into values. Returns 0 or -1.
static int ParseBlockText(unsigned char values[BLOCK_LENGTH]) {
    int count = 0;
    const char *c = fileText;
    while (*c != '\0') {
        if (*c == ' ' || *c == '\t' || *c == '\r' || *c == '\n') {
            ++c;
            continue;
        }
        if (!isdigit((unsigned char)*c)) {
            return -1;
        }
        int value = 0;
        for (; isdigit((unsigned char)*c); ++c) {
            value = value * 10 + (*c - '0');
            if (value > 255) {
                return -1;
            }
        }
        if (count < BLOCK_LENGTH) {
            values[count] = (unsigned char)value;
        }
        ++count;
    }
    return count >= BLOCK_LENGTH ? 0 : -1;
}

int LoadBlockFile(const char *path, unsigned char block[BLOCK_LENGTH]) {
    int length = ReadWholeFile(path);
    if (length == -2) {
        return 0;
    }
    unsigned char values[BLOCK_LENGTH];
    if (length < 0 || ParseBlockText(values) != 0) {
        return -1;
    }
    memcpy(block, values, BLOCK_LENGTH);
    return 1;
}

// Writes all of text to fd; returns 0 or -1.
static int WriteAll(int fd, const char *text, int length) {
    while (length > 0) {
        ssize_t part = write(fd, text, (size_t)length);
        if (part < 0 && errno == EINTR) {
            continue;
        }
        if (part <= 0) {
            return -1;
        }
        text += part;
        length -= (int)part;
    }
    return 0;
}

int SaveBlockFile(const char *path, const unsigned char block[BLOCK_LENGTH]) {
    char text[FILE_TEXT_LENGTH + 1];
    int length = 0;
    for (int i = 0; i < BLOCK_LENGTH; ++i) {
        length += snprintf(text + length, sizeof text - (size_t)length, "%5d\n", block[i]);
    }
    char temporary[PATH_LENGTH];
    if (snprintf(temporary, sizeof temporary, "%s.tmp", path) >= (int)sizeof temporary) {
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return -1;
    }
    int failed = WriteAll(fd, text, length) != 0 || fsync(fd) != 0;
    int saved = errno;
    if (close(fd) != 0) {
        failed = 1;
    }
    if (failed || rename(temporary, path) != 0) {
        saved = failed ? saved : errno;
        unlink(temporary);
        errno = saved;
        return -1;
    }
    return 0;
}
