// Fuzz target: the emulator's request parser fed any bytes in any split, with the reply-shaping
// faults chosen by the first bytes. Replies go nowhere (no line is open); what counts is that
// no request, however cut or garbled, makes the parser read or write out of bounds.
#include "emulator/memory.h"
#include "emulator/options.h"
#include "emulator/protocol.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return InitSensorMemory(nullptr);
}

// First byte: faults; second: the largest piece in which the line delivers the rest.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    options.garble = data[0] & 1;
    options.paramShort = (data[0] >> 1) & 1;
    options.shortBy = (data[0] >> 2) & 7;
    options.longBy = (data[0] & 0x20) ? MAX_EXTRA_BYTES : (data[0] >> 6);
    size_t piece = data[1] % 16 + 1;
    double arrival = 0.0;
    for (size_t at = 2; at < size; at += piece, arrival += 0.001) {
        size_t count = size - at < piece ? size - at : piece;
        FeedRequestBytes(data + at, static_cast<int>(count), arrival);
    }
    return 0;
}
