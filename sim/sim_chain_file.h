// A simulated chain from a configuration file: one module per Module
// element, in the file's order (the physical order), with the identity,
// serial number, MAC, versions, DHCP flag and netmask the file gives, and per
// channel the presence and encoder settings the file holds, the values its
// LVDT probes and analog inputs read (a point of each channel's calibrated
// range) and its Kalix measuring steps. Addresses move
// onto the simulator's subnet: the module keeps the last byte of its Ip
// (127.N.0.<last byte>), or takes the next free one.
#ifndef ZEL_SIM_CHAIN_FILE_H
#define ZEL_SIM_CHAIN_FILE_H

#include <string>
#include <vector>

#include "sim_chains.h"

namespace zelsim {

// False with a message in `error` when the file cannot be read or names no
// module the simulator knows.
bool chainFromFile(const std::string& path, std::vector<PlannedModule>& plan, std::string& error);

}  // namespace zelsim

#endif  // ZEL_SIM_CHAIN_FILE_H
