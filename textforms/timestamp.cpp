#include "textforms/timestamp.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

struct SecondText {
    long long second = -1;
    char date[32] = "";  // 2026-12-08T09:15:02
    char offset[8] = ""; // +01:00
};

void FormatSecond(long long second, SecondText &cache) {
    const time_t seconds = (time_t)second;
    std::tm local{};
    localtime_r(&seconds, &local);
    std::strftime(cache.date, sizeof cache.date, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff / 60;
    const long magnitude = offset < 0 ? -offset : offset;
    std::snprintf(cache.offset, sizeof cache.offset, "%c%02ld:%02ld", offset < 0 ? '-' : '+',
                  magnitude / 60 % 100, magnitude % 60);
    cache.second = second;
}

} // namespace

void FormatTimeStamp(long long msSinceEpoch, char *text, size_t size) {
    thread_local SecondText cache;
    // Floor division, so that a time before 1970 keeps its milliseconds positive.
    long long second = msSinceEpoch / 1000;
    int ms = (int)(msSinceEpoch % 1000);
    if (ms < 0) {
        ms += 1000;
        second--;
    }
    if (second != cache.second)
        FormatSecond(second, cache);
    std::snprintf(text, size, "%s.%03d%s", cache.date, ms, cache.offset);
}

void FormatTimeStampNow(char *text, size_t size) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    FormatTimeStamp(std::chrono::duration_cast<std::chrono::milliseconds>(now).count(), text, size);
}
