// The simulated module kinds: one row for each kind of the library's
// identity table (zel::identity::Kind), in its order, saying how a module of
// the kind answers and what a recording of the kind is served with. The
// rows and each kind's handlers are in kind_handlers.cpp; the segment and
// the replay look a kind up here and name none, so a new kind adds its
// handlers and its row.
#ifndef ZEL_SIM_KINDS_H
#define ZEL_SIM_KINDS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "modules/module_identity.h"
#include "sim_segment.h"

namespace zelsim {

// How a recorded channel's value becomes what a replayed module sends: a
// 32-bit count, a Kalix position (a count, a linear or a single-turn rotary
// encoder's), an analog word in volts or milliamperes, or an LVDT reading
// of 0.
enum class ReplayForm { Count, KalixCount, KalixLinear, KalixRotary, Volts, Milliamps, LvdtZero };

struct SimKind {
    zel::identity::Kind kind;
    // Adds or wraps the kind's entries of a module's handler table
    // (commands a kind extends fall back to the common entry for the
    // sub-operations it does not know); null: the common commands only.
    void (*addHandlers)(std::map<int, Handler>& handlers);
    // The module reports its model's channel count (zel::identity::channels),
    // whatever its state was given: the hardware fixes it.
    bool modelChannels;
    // The models a recorded module of the kind is served by, fewest channels
    // first, MODULE_ID_NONE after the last; none: a recording of the kind
    // cannot be served.
    std::array<MODULE_ID, 2> replayModels;
    // The channel count a replayed module reports; 0: the recorded count.
    std::uint8_t replayChannels;
    // The form of a channel recorded in `unit`; false for what the module
    // alone cannot reproduce. Null for a kind without replay models.
    bool (*replayForm)(std::size_t channel, const std::string& unit, ReplayForm& form);
};

// The row of a kind.
const SimKind& simKind(zel::identity::Kind kind);

// The model a recorded module of the kind with `channels` channels is
// served by: the first of its replay models whose channels (when the model
// fixes them) hold the recorded ones, else the last; MODULE_ID_NONE for a
// kind without replay models.
MODULE_ID replayModel(const SimKind& kind, std::size_t channels);

}  // namespace zelsim

#endif  // ZEL_SIM_KINDS_H
