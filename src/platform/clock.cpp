#include "platform/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

std::string TimeText(const LocalTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
    return buf;
}

std::string DateText(const LocalTime& t) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", t.month % 100, t.day % 100, t.year % 10000);
    return buf;
}

double SecondsOfDay(const LocalTime& t) {
    return t.hour * 3600.0 + t.minute * 60.0 + t.second + t.millisecond / 1000.0;
}

LocalTime SystemClock::now() const {
    using namespace std::chrono;
    auto tp = system_clock::now();
    std::time_t secs = system_clock::to_time_t(tp);
    std::tm tm{};
    localtime_r(&secs, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(duration_cast<milliseconds>(tp.time_since_epoch()).count() % 1000);
    return t;
}

void SystemClock::sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ManualClock::setTimeOfDay(int hour, int minute, int second, int millisecond) {
    current.hour = hour;
    current.minute = minute;
    current.second = second;
    current.millisecond = millisecond;
}

void ManualClock::advanceMs(int64_t ms) {
    static const int daysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int64_t total = current.millisecond + ms;
    current.millisecond = static_cast<int>(total % 1000);
    int64_t secs = total / 1000 + current.second + current.minute * 60LL + current.hour * 3600LL;
    int64_t days = secs / 86400;
    secs %= 86400;
    current.hour = static_cast<int>(secs / 3600);
    current.minute = static_cast<int>(secs / 60 % 60);
    current.second = static_cast<int>(secs % 60);
    while (days-- > 0) {
        bool leap = (current.year % 4 == 0 && current.year % 100 != 0) || current.year % 400 == 0;
        int dim = daysIn[current.month - 1] + (current.month == 2 && leap ? 1 : 0);
        if (++current.day > dim) {
            current.day = 1;
            if (++current.month > 12) {
                current.month = 1;
                ++current.year;
            }
        }
    }
}
