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

// Days from 1970-01-01 to the civil date (proleptic Gregorian), for any year.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = (unsigned)(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + (long long)dayOfEra - 719468;
}

// The digits at text[at..at+count) as a number; -1 when one is no digit.
int Digits(const char *text, int at, int count) {
    int value = 0;
    for (int i = at; i < at + count; i++) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

bool ParseTimeStamp(const char *text, size_t length, long long *msSinceEpoch) {
    // 2026-12-08T09:15:02.125+01:00
    if (length != 29 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != '.' || (text[23] != '+' && text[23] != '-') ||
        text[26] != ':')
        return false;
    const int year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    const int hour = Digits(text, 11, 2), minute = Digits(text, 14, 2);
    const int second = Digits(text, 17, 2), ms = Digits(text, 20, 3);
    const int offsetHours = Digits(text, 24, 2), offsetMinutes = Digits(text, 27, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60 || ms < 0 || offsetHours < 0 ||
        offsetMinutes < 0)
        return false;
    const long long offset = (text[23] == '-' ? -1 : 1) * (offsetHours * 60LL + offsetMinutes);
    const long long minutes =
        (DaysFromCivil(year, (unsigned)month, (unsigned)day) * 24 + hour) * 60 + minute - offset;
    *msSinceEpoch = (minutes * 60 + second) * 1000 + ms;
    return true;
}

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

long long TimeStampNowMs(void) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

void FormatTimeStampNow(char *text, size_t size) {
    FormatTimeStamp(TimeStampNowMs(), text, size);
}
