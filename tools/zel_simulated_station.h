// A station's modules reached on a simulated chain's loopback subnet: each
// module keeps the last byte of its file address (127.N.0.<byte>), or takes
// the next free one from 10 on, as the simulator places the file's modules.
#ifndef ZEL_TOOLS_ZEL_SIMULATED_STATION_H
#define ZEL_TOOLS_ZEL_SIMULATED_STATION_H

#include <cstdlib>
#include <set>
#include <string>

#include "station/zel_station.h"

inline void zelMoveOntoSimulation(ZelStation& station, int subnet) {
    std::set<int> hosts;
    for (unsigned short i = 0; i < station.getNumModules(); ++i) {
        ZelStationModule info;
        station.getModuleInfo(i, &info);
        const std::string ip = info.address;
        const std::size_t dot = ip.rfind('.');
        int host = dot == std::string::npos ? 0 : std::atoi(ip.c_str() + dot + 1);
        if (host < 2 || host > 254 || hosts.count(host) != 0) {
            host = 10;
            while (hosts.count(host) != 0) ++host;
        }
        hosts.insert(host);
        const std::string moved = "127." + std::to_string(subnet) + ".0." + std::to_string(host);
        station.setModuleAddress(i, moved.c_str());
    }
}

#endif  // ZEL_TOOLS_ZEL_SIMULATED_STATION_H
