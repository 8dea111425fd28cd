// When the heart beat is due: the one-second ticks counted since the last cycle start
// against the interval the server last gave.
#pragma once

#include <windows.h>

namespace presence {

class BeatClock {
public:
    enum : DWORD { kFirstInterval = 30 };

    // One timer tick; true when the beat is due. A due beat stays due on every later tick
    // until the cycle restarts, so an interval below the ticks already counted cannot stop
    // the beats.
    bool Tick() { return static_cast<DWORD>(InterlockedIncrement(&ticks_)) >= interval_; }
    // A cycle starts (from the heart-beat thread, while the window thread ticks).
    void Restart() { InterlockedExchange(&ticks_, 0); }
    // A successful beat's interval; 0 keeps the current one (it would beat on every tick).
    void Accept(DWORD interval) {
        if (interval != 0) interval_ = interval;
    }
    DWORD Interval() const { return interval_; }
    DWORD Ticks() const { return static_cast<DWORD>(ticks_); }

private:
    volatile LONG ticks_ = 0;
    volatile DWORD interval_ = kFirstInterval;
};

}  // namespace presence
