// A clock whose pauses pass `factor` times faster: the firmware update's
// fixed waits (seconds long) shrink while every exchange keeps its real
// time-out. For tests, benchmarks and sample captures of the procedure.
#ifndef ZELSIM_FAST_CLOCK_H
#define ZELSIM_FAST_CLOCK_H

#include "platform/clock.h"

namespace zelsim {

class FastClock : public zel::platform::Clock {
  public:
    explicit FastClock(long long factor) : factor_(factor) {}
    void sleepMs(unsigned long ms) const override {
        Clock::sleepMs(static_cast<unsigned long>(ms / factor_));
    }
    long long wallSeconds() const override {
        return (zel::platform::monotonicMicroseconds() - start_) * factor_ / 1000000;
    }

  private:
    long long factor_;
    long long start_ = zel::platform::monotonicMicroseconds();
};

}  // namespace zelsim

#endif  // ZELSIM_FAST_CLOCK_H
