// A recording served again: a simulated chain built from a recording's
// context whose measuring modules answer the counts request with the
// recorded values, converted back to the raw form each module sends, so
// that a host without a configuration file reads the recorded values again.
//
// Pace: by default each module answers with the sample whose recorded
// deadline is the latest one not after the time since the first counts
// request of the replay (times `speed`); in step mode each new counts call
// of a module takes the next recorded sample (a retry of a call, sent from
// the same port as the call before, gets the same sample again). A module
// that has fallen behind (the host left it out while it was lost) catches
// up with the others. A module whose sample has a code other than 0 stays
// silent while that sample is served, to every request, so the host sees
// the same gap. After the last sample the modules leave counts requests
// unanswered.
//
// Values are converted per kind and unit: TTL and 1 Vpp counts, Kalix counts,
// millimetres (a linear encoder) and degrees (a single-turn rotary encoder),
// analog volts and milliamperes, LVDT values without a resolution (all 0).
// Each channel's step is chosen so that as many values as possible convert
// back bit for bit; a value that cannot is served as the nearest raw value
// and counted. Units that come from a host's configuration file (TTL or
// 1 Vpp positions, LVDT values with a resolution, inches) cannot be
// reproduced by the module alone: such a recording is refused.
#ifndef ZEL_SIM_REPLAY_H
#define ZEL_SIM_REPLAY_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim_chains.h"

namespace zelsim {

struct ReplayOptions {
    bool step = false;   // each new counts call takes the next sample
    double speed = 1.0;  // paced: recorded seconds per second (above 0)
};

class Replay {
  public:
    Replay();
    ~Replay();
    Replay(const Replay&) = delete;
    Replay& operator=(const Replay&) = delete;

    // Reads the recording and converts its values. False with a message in
    // `error` for a missing file, a file that is no recording, a recording
    // without samples, or one whose values a module cannot reproduce.
    bool load(const std::string& path, std::string& error);
    // The chain in physical order: each recorded module at its position,
    // host number from its recorded address where free, positions no
    // measuring module took filled by power supplies.
    const std::vector<PlannedModule>& plan() const;
    // Makes the segment's modules (added from plan(), before start()) answer
    // with the recording.
    void attach(Segment& segment, const ReplayOptions& options);

    unsigned long long samples() const;
    // One line per channel whose values are not all exact: module position,
    // channel, unit and how many values are served as the nearest raw value.
    std::vector<std::string> inexact() const;
    // The sample the replay has come to (-1: none served yet).
    long long reached() const;

  private:
    struct Impl;
    std::shared_ptr<Impl> impl;
};

}  // namespace zelsim

#endif  // ZEL_SIM_REPLAY_H
