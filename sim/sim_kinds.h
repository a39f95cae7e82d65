// The simulated module kinds: one row for each kind of the library's
// identity table (zel::identity::Kind), in its order, saying how a module of
// the kind answers. The rows and each kind's handlers are in
// kind_handlers.cpp; the segment looks a kind up here and names none, so a
// new kind adds its handlers and its row.
#ifndef ZEL_SIM_KINDS_H
#define ZEL_SIM_KINDS_H

#include <map>

#include "modules/module_identity.h"
#include "sim_segment.h"

namespace zelsim {

struct SimKind {
    zel::identity::Kind kind;
    // Adds or wraps the kind's entries of a module's handler table
    // (commands a kind extends fall back to the common entry for the
    // sub-operations it does not know); null: the common commands only.
    void (*addHandlers)(std::map<int, Handler>& handlers);
    // The module reports its model's channel count (zel::identity::channels),
    // whatever its state was given: the hardware fixes it.
    bool modelChannels;
};

// The row of a kind.
const SimKind& simKind(zel::identity::Kind kind);

}  // namespace zelsim

#endif  // ZEL_SIM_KINDS_H
