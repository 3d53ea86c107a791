// Sample data that tests and benchmarks share.
#pragma once

#include <cmath>
#include <vector>

// 100 samples of the live display's seven signals (RED, GREEN, BLUE, INT, C-No, UL, LL),
// interleaved as the strip chart takes them: smooth colour waves, C-No stepping from 3 to 255
// half-way, the limits UL 200 and LL 40.
inline std::vector<double> LiveDisplayHistory() {
    std::vector<double> history(700);
    for (int s = 0; s < 100; ++s) {
        history[7 * s + 0] = 120 + 60 * std::sin(s / 9.0);
        history[7 * s + 1] = 90 + 40 * std::cos(s / 13.0);
        history[7 * s + 2] = 60 + 20 * std::sin(s / 5.0);
        history[7 * s + 3] = (history[7 * s] + history[7 * s + 1] + history[7 * s + 2]) / 3;
        history[7 * s + 4] = s < 50 ? 3 : 255;
        history[7 * s + 5] = 200;
        history[7 * s + 6] = 40;
    }
    return history;
}
