#include "telemetry/slots.h"

#include <cstdarg>
#include <cstdio>

namespace telemetry_shared {

std::mutex slotMutex;
std::condition_variable slotsChanged;
Slots slots;
std::atomic<long> framesSent{0};

namespace {
std::mutex stateMutex;
int stateCode = TELEMETRY_OFF;
char stateText[STATE_LEN] = "MQTT off";
} // namespace

void SetState(int code, const char *format, ...) {
    std::lock_guard<std::mutex> lock(stateMutex);
    stateCode = code;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(stateText, sizeof stateText, format, arguments);
    va_end(arguments);
}

int GetState(char *text, int size) {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (text != nullptr && size > 0)
        std::snprintf(text, (size_t)size, "%s", stateText);
    return stateCode;
}

} // namespace telemetry_shared
