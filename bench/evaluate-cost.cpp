// What the detection check of a recording costs: a recording of many frames made in memory (five
// noisy colours, four of them taught, and dark frames below INTLIM), read by the recording
// parser, then evaluated against the table. Prints the time of each, whole and per frame.
//   build/bin/evaluate-cost [frames]
#include "detection/evaluate.h"
#include "textforms/recording.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const unsigned char colours[5][3] = {
    {200, 60, 40}, {60, 180, 60}, {50, 60, 190}, {150, 150, 40}, {120, 120, 120}};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// X, Y, INT as the sensor's help texts give them, scaled to 0..255.
void Coordinates(const int rgb[3], int *x, int *y, int *intensity) {
    const int sum = rgb[0] + rgb[1] + rgb[2];
    *x = sum ? 255 * rgb[0] / sum : 0;
    *y = sum ? 255 * rgb[1] / sum : 0;
    *intensity = sum / 4 + sum / 16 > 255 ? 255 : sum / 4 + sum / 16;
}

std::string MakeRecording(long frames) {
    std::string text = "time,seconds,RED,GREEN,BLUE,X,Y,INT,C-No,port\n";
    text.reserve((size_t)frames * 64);
    unsigned noise = 12345;
    char line[128];
    for (long i = 0; i < frames; ++i) {
        const int shown = (int)((i / 500) % 5);
        const unsigned char *colour = colours[shown];
        const bool dark = i % 50 == 0;
        const int recorded = dark || shown == 4 ? 255 : shown; // as a sensor taught the four
        int rgb[3];
        for (int c = 0; c < 3; ++c) {
            noise = noise * 1103515245u + 12345u;
            rgb[c] = dark ? 2 : colour[c] + (int)((noise >> 16) % 13) - 6;
        }
        int x, y, intensity;
        Coordinates(rgb, &x, &y, &intensity);
        std::snprintf(line, sizeof line,
                      "2026-12-08T10:00:00.000+01:00,%.3f,%d,%d,%d,%d,%d,%d,%d,COM1\n", i * 0.01,
                      rgb[0], rgb[1], rgb[2], x, y, intensity, recorded);
        text += line;
    }
    return text;
}

// The first four colours taught, CTO 8 and ITO 10, INTLIM 10.
void TaughtBlock(unsigned char block[BLOCK_LENGTH]) {
    const unsigned char parameters[PARAMETER_COUNT] = {127, 0, 1, 1, 0, 10, 0, 4, 2};
    for (int i = 0; i < BLOCK_LENGTH; ++i)
        block[i] = i < PARAMETER_COUNT ? parameters[i] : 1;
    for (int row = 1; row <= 4; ++row) {
        const int rgb[3] = {colours[row - 1][0], colours[row - 1][1], colours[row - 1][2]};
        int x, y, intensity;
        Coordinates(rgb, &x, &y, &intensity);
        block[TeachCellOffset(row, COL_X)] = (unsigned char)x;
        block[TeachCellOffset(row, COL_Y)] = (unsigned char)y;
        block[TeachCellOffset(row, COL_CTO)] = 8;
        block[TeachCellOffset(row, COL_INT)] = (unsigned char)intensity;
        block[TeachCellOffset(row, COL_ITO)] = 10;
    }
}

} // namespace

int main(int argc, char **argv) {
    const long frames = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: evaluate-cost [frames]\n");
        return 2;
    }
    const std::string text = MakeRecording(frames);
    std::vector<RecordedFrame> parsed;
    RecordingError error;
    long firstLine = 0;
    auto start = std::chrono::steady_clock::now();
    if (ParseRecording(text.data(), text.size(), &parsed, &error, &firstLine) != 0) {
        std::fprintf(stderr, "evaluate-cost: line %ld: %s\n", error.line, error.reason);
        return 1;
    }
    const double parseSeconds = SecondsSince(start);

    unsigned char block[BLOCK_LENGTH];
    TaughtBlock(block);
    auto evaluation = std::make_unique<Evaluation>();
    start = std::chrono::steady_clock::now();
    BeginEvaluation(evaluation.get(), block, 2.0);
    EvaluateFrames(evaluation.get(), parsed.data(), parsed.size(), 0, firstLine);
    const double evaluateSeconds = SecondsSince(start);

    long detected = 0;
    for (int cno = 0; cno < NO_COLOUR; ++cno)
        detected += evaluation->distribution[cno];
    std::printf("%ld frames (%.1f MB of CSV): read in %.3f s (%.3f us a frame), evaluated in "
                "%.3f s (%.4f us a frame); %ld detected, %.1f %% agree with the recorded C-No\n",
                evaluation->frames, (double)text.size() / 1e6, parseSeconds,
                1e6 * parseSeconds / (double)frames, evaluateSeconds,
                1e6 * evaluateSeconds / (double)frames, detected,
                100.0 * AgreementShare(evaluation.get()));
    return 0;
}
