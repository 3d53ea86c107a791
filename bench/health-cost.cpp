// What a sensor's health costs the line service: a monitor fed the frames of 8 hours of line
// time at 105 frames a second (two taught colours in turn, with noise, INT slowly falling), its
// figures made as the health topic wants them once a second. Prints the time per frame and the
// share of a core that health takes per sensor at 105 frames a second.
//   build/bin/health-cost [hours]
#include "detection/model.h"
#include "health/health.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void SetRow(unsigned char *block, int row, const int cells[TEACH_COLUMNS]) {
    for (int column = COL_X; column <= COL_ITO; column++)
        block[TeachCellOffset(row, column)] = (unsigned char)cells[column - 1];
}

} // namespace

int main(int argc, char **argv) {
    const double hours = argc > 1 ? std::atof(argv[1]) : 8;
    const double rate = 105;
    unsigned char block[BLOCK_LENGTH] = {};
    block[OFFSET_MAXCOLNO] = 2;
    block[OFFSET_INTLIM] = 5;
    const int first[TEACH_COLUMNS] = {75, 84, 8, 93, 10},
              second[TEACH_COLUMNS] = {150, 60, 8, 80, 10};
    SetRow(block, 1, first);
    SetRow(block, 2, second);
    HealthMonitor monitor("bench", HealthSettings());
    monitor.setTable(block);
    std::vector<HealthChange> changes;
    const long frames = (long)(hours * 3600 * rate);
    unsigned noise = 12345;
    size_t jsonBytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < frames; i++) {
        noise = noise * 1103515245u + 12345u;
        const int n = (int)((noise >> 16) % 5) - 2;
        const int *taught = (i / 500) % 2 ? second : first;
        unsigned char values[FRAME_LENGTH] = {};
        values[M_X] = (unsigned char)(taught[0] + n);
        values[M_Y] = (unsigned char)(taught[1] - n);
        values[M_INT] = (unsigned char)(taught[3] + n - (double)i / frames * 4);
        const long long ms = 1767592800000LL + (long long)(i * 1000 / rate);
        changes.clear();
        monitor.addFrame(ms, values, &changes);
        if (i % (long)rate == 0)
            jsonBytes += monitor.json(ms).size();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double perFrame = seconds / (double)frames;
    std::printf("health of %.1f h of line time (%ld frames): %.3f s, %.0f ns a frame, figures "
                "once a second included (%zu bytes of JSON)\n",
                hours, frames, seconds, perFrame * 1e9, jsonBytes);
    std::printf("at 105 frames/s: %.4f %% of a core per sensor\n", perFrame * rate * 100);
    return 0;
}
