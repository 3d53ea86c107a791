#include "platform/engine/analysis.h"

#include <cstring>

int Shift(const double *input, int numberOfElements, int shiftBy, double *output) {
    if (input == nullptr || output == nullptr || numberOfElements < 0)
        return -1;
    int n = numberOfElements;
    int by = shiftBy > n ? n : (shiftBy < -n ? -n : shiftBy);
    int kept = n - (by < 0 ? -by : by);
    // memmove copes with input and output being the same array.
    if (by >= 0) {
        std::memmove(output + by, input, sizeof(double) * static_cast<size_t>(kept));
        for (int i = 0; i < by; i++)
            output[i] = 0.0;
    } else {
        std::memmove(output, input - by, sizeof(double) * static_cast<size_t>(kept));
        for (int i = kept; i < n; i++)
            output[i] = 0.0;
    }
    return 0;
}
