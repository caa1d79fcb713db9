#pragma once
#include <cstdint>
#include <string>

// Local date and time as the program sees it.
struct LocalTime {
    int year = 2000;
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// "hh:mm:ss"
std::string TimeText(const LocalTime& t);
// "mm-dd-yyyy"
std::string DateText(const LocalTime& t);
// Seconds since midnight, with the milliseconds as a fraction.
double SecondsOfDay(const LocalTime& t);

// Where the program gets the time of day and sleeps. Tests set the time by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
    virtual void sleepMs(int ms) = 0;
};

class SystemClock : public Clock {
public:
    LocalTime now() const override;
    void sleepMs(int ms) override;
};

// A clock that only moves when told to; sleeping advances it.
class ManualClock : public Clock {
public:
    explicit ManualClock(LocalTime start = LocalTime{}) : current(start) {}
    LocalTime now() const override { return current; }
    void sleepMs(int ms) override { advanceMs(ms); }
    void set(const LocalTime& t) { current = t; }
    void setTimeOfDay(int hour, int minute, int second, int millisecond = 0);
    void advanceMs(int64_t ms);

private:
    LocalTime current;
};
