/// @file
/// The acquisition engine over a station: the station's modules as the
/// engine's list (positions are file positions), and a restorer that gives a
/// module that rebooted the settings of the configuration file again and
/// reads them back.
#ifndef ZEL_STATION_ZEL_ACQUISITION_STATION_H
#define ZEL_STATION_ZEL_ACQUISITION_STATION_H

#include <vector>

#include "station/zel_acquisition.h"
#include "station/zel_station.h"

/// Restores a module through ZelStation::reapplySettings. The station must
/// be open and outlive the engine; the host leaves the station alone while
/// the engine runs (the engine owns its modules meanwhile).
class ZEL_STATION_API ZelStationRestorer : public ZelModuleRestorer {
  public:
    explicit ZelStationRestorer(ZelStation& station) : station_(station) {}
    /// Code 0 when the file's settings were applied and read back equal; a
    /// module command's failure as it came; code 38 when a setting reads
    /// back otherwise than the file says.
    ZelResults restore(unsigned short position, ZelModule& module) override;

  private:
    ZelStation& station_;
};

/// The station's module objects by file position, null where a module is
/// missing: the list to give ZelAcquisition.
inline std::vector<ZelModule*> stationModules(ZelStation& station) {
    std::vector<ZelModule*> list;
    for (unsigned short i = 0; i < station.getNumModules(); ++i)
        list.push_back(station.getModule(i));
    return list;
}

#endif  // ZEL_STATION_ZEL_ACQUISITION_STATION_H
