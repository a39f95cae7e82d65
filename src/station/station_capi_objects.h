// What the station's C handles point at, for the files of the station
// library that implement C functions over them (not installed).
#ifndef ZEL_STATION_STATION_CAPI_OBJECTS_H
#define ZEL_STATION_STATION_CAPI_OBJECTS_H

#include <memory>
#include <vector>

#include "chain/zel_chain_sampler.h"
#include "chain/zel_interface.h"
#include "station/zel_station.h"

struct ZelChainObject {
    ZelInterface chain;
};

struct ZelSamplerObject {
    ZelChainSampler* sampler = nullptr;
    std::unique_ptr<ZelChainSampler> owned;  // null when a station lent it
};

struct ZelStationObject {
    ZelStation station;
    ZelStationStatus last;
    std::vector<ZelStationReading> readings;
    ZelSamplerObject lent;
};

#endif  // ZEL_STATION_STATION_CAPI_OBJECTS_H
