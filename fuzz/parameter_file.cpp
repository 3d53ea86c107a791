// Fuzz target: any bytes as a parameter file, loaded the way the Get button loads one (file
// pop-up, read, block, panel). A load either takes the file whole or refuses it with one "INFO"
// report and leaves the block as it was; a taken block saves and loads back unchanged.
#include "gui/records.h"
#include "gui/parameters.h"
#include "platform/engine/userint.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string filePath;
int reports = 0;

int ChooseFile(const char *, const char *, const char *, const char *, const char **chosenPath) {
    *chosenPath = filePath.c_str();
    return VAL_EXISTING_FILE_SELECTED;
}

// Counts the load's refusals; other pop-ups (the layout's warnings) are not the reader's.
void CountReport(const char *title, const char *message) {
    if (std::strstr(message, "PARAMETER FILE NOT LOADED") == nullptr)
        return;
    if (std::strcmp(title, "INFO") != 0)
        std::abort();
    reports++;
}

void WriteFile(const std::string &path, const uint8_t *data, size_t size) {
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();
}

// A block that was taken saves and loads back to the same bytes.
void CheckRoundTrip() {
    std::string copy = filePath + ".copy";
    unsigned char again[BLOCK_LENGTH];
    if (ArrayToFile(copy.c_str(), ParameterBlock, VAL_UNSIGNED_CHAR, BLOCK_LENGTH, 1,
                    VAL_GROUPS_TOGETHER, VAL_GROUPS_AS_COLUMNS, VAL_CONST_WIDTH, 5, VAL_ASCII,
                    VAL_TRUNCATE) != UIE_OK ||
        FileToArray(copy.c_str(), again, VAL_UNSIGNED_CHAR, BLOCK_LENGTH, 1, VAL_GROUPS_TOGETHER,
                    VAL_GROUPS_AS_COLUMNS, VAL_ASCII) != UIE_OK ||
        std::memcmp(again, ParameterBlock, BLOCK_LENGTH) != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char pattern[] = "/tmp/nvmx-fuzz-parameter-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        std::abort();
    filePath = std::string(pattern) + "/set.dat";
    SetFileSelectHook(ChooseFile);
    SetMessagePopupHook(CountReport);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    WriteFile(filePath, data, size);
    std::memset(ParameterBlock, 0xA5, BLOCK_LENGTH);
    unsigned char before[BLOCK_LENGTH];
    std::memcpy(before, ParameterBlock, BLOCK_LENGTH);
    reports = 0;
    LoadParameterFile();
    if (reports > 1)
        std::abort();
    if (reports == 1 && std::memcmp(before, ParameterBlock, BLOCK_LENGTH) != 0)
        std::abort();
    if (reports == 0)
        CheckRoundTrip();
    return 0;
}
