// The ".dat" parameter file over the engine's array-file services.
#include "com232/parameterfile.h"

#include "sensor/wire.h"
#include "platform/engine/userint.h"

#include <cstring>

const char parameterFileNotSaved[] = "PARAMETER FILE NOT SAVED";
const char parameterFileNotLoaded[] = "PARAMETER FILE NOT LOADED";

enum { FILE_FIELD_WIDTH = 5 };

int WriteParameterFile(const char *path, const unsigned char *block) {
    return ArrayToFile(path, block, VAL_UNSIGNED_CHAR, BLOCK_LENGTH, 1, VAL_GROUPS_TOGETHER,
                       VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, FILE_FIELD_WIDTH, VAL_ASCII,
                       VAL_TRUNCATE);
}

int FormatParameterText(const unsigned char *block, char *text, int size) {
    return ArrayToText(block, VAL_UNSIGNED_CHAR, BLOCK_LENGTH, FILE_FIELD_WIDTH, text, size);
}

// Read into a scratch block first: a refused file must not touch the caller's block.
int ReadParameterFile(const char *path, unsigned char *block) {
    unsigned char loaded[BLOCK_LENGTH];
    int code = FileToArray(path, loaded, VAL_UNSIGNED_CHAR, BLOCK_LENGTH, 1, VAL_GROUPS_TOGETHER,
                           VAL_GROUPS_AS_COLUMNS, VAL_ASCII);
    if (code < 0)
        return code;
    std::memcpy(block, loaded, BLOCK_LENGTH);
    return 0;
}
