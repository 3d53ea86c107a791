// The ".dat" parameter file over the number files of files/.
#include "com232/parameterfile.h"

#include "files/numberfile.h"
#include "sensor/wire.h"

#include <cstring>
#include <string>

const char parameterFileNotSaved[] = "PARAMETER FILE NOT SAVED";
const char parameterFileNotLoaded[] = "PARAMETER FILE NOT LOADED";

enum { FILE_FIELD_WIDTH = 5 };

static thread_local std::string lastError;

int WriteParameterFile(const char *path, const unsigned char *block) {
    return SaveNumberFile(path, path, block, BLOCK_LENGTH, FILE_FIELD_WIDTH, &lastError);
}

int FormatParameterText(const unsigned char *block, char *text, int size) {
    const std::string formatted = FormatNumberLines(block, BLOCK_LENGTH, FILE_FIELD_WIDTH);
    if (size <= 0 || formatted.size() >= static_cast<size_t>(size))
        return -1;
    std::memcpy(text, formatted.c_str(), formatted.size() + 1);
    return static_cast<int>(formatted.size());
}

int ReadParameterFile(const char *path, unsigned char *block) {
    return ReadNumberFile(path, path, block, BLOCK_LENGTH, &lastError);
}

const char *LastParameterFileError(void) {
    return lastError.c_str();
}
