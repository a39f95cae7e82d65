// Ready-made simulated chains: the default mixed chain (one module of each
// kind, its physical order shuffled against the address order), and a chain
// described by a configuration file, so a host's own file can be simulated.
#ifndef ZEL_SIM_CHAINS_H
#define ZEL_SIM_CHAINS_H

#include <string>
#include <vector>

#include "sim_segment.h"

namespace zelsim {

// One module of a planned chain: its host number on the subnet (127.N.0.host)
// and its state. A plan lists the modules in physical order.
struct PlannedModule {
    int host;
    ModuleState state;
};

// Kalix, 1 Vpp, TTL, LVDT, analog, I/O, pneumatic and power-supply modules,
// with moving axes, LVDT readings, analog values and set inputs. The first
// one is plugged into the host.
std::vector<PlannedModule> defaultChain();

// Adds the plan's modules to the segment in physical order.
void addChain(Segment& segment, const std::vector<PlannedModule>& plan);

// The model name of a module identity ("ZEL 4105"), or "unknown".
std::string modelOf(std::uint32_t moduleId);

}  // namespace zelsim

#endif  // ZEL_SIM_CHAINS_H
