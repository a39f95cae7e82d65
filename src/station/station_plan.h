// What a station takes from its configuration file: per module its
// description, and per channel the settings turned into the values the
// module objects take. Reading the file (station_file.cpp) fills it and
// refuses what cannot be applied; opening (zel_station.cpp) applies it.
#ifndef ZEL_STATION_PLAN_H
#define ZEL_STATION_PLAN_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/zel_config_base.h"
#include "modules/module_identity.h"
#include "station/zel_station.h"

// A module's kind is the library's (its identity table), none for an
// identity the table does not hold.
using StationKind = zel::identity::Kind;
using MaybeKind = std::optional<StationKind>;

MaybeKind stationKindOf(MODULE_ID id);

struct ChannelPlan {
    std::string label;
    bool populated = true;
    bool errorMonitoring = false;
    ENCODER_TYPES_ENUM encoderType = ENCODER_TYPE_NONE;
    ROTARY_FORMAT rotaryFormat = ROTARY_FORMAT_0_360;
    UOM uom = UOM_NONE;  // encoder kinds
    LVDT_UOM lvdtUom = LVDT_UOM_MILLIMETRE;
    double errorCompensation = 1.0;
    double scaleFactor = 1.0;
    double deviceOffset = 0.0;  // mastering offset (and analog Offset) in the reading's unit
    double displayResolution = 0.0;
    double resolution = 0.0;        // LVDT: position units per reading step
    double calibrationGain = 1.0;   // two-point calibration (LVDT, analog)
    double calibrationShift = 0.0;  // reading x gain + shift
    double instrumentationMin = 0.0, instrumentationMax = 0.0, actualMin = 0.0, actualMax = 0.0;
    unsigned long lineCount = 0;
    double signalPeriod = 0.0;
    bool countingDirection = true;
    REFERENCE_MARK_ENUM referenceMark = REFERENCE_MARK_SINGLE;
    TTL_INTERPOLATION interpolation = TTL_INTERPOLATION_1;
    int gainCode = -1;  // LVDT: -1 leaves the probe's gain alone
    const char* unit = "";
};

struct ModulePlan {
    ZelStationModule info;
    MaybeKind kind;
    double excitationVolts = 0.0;      // LVDT; 0: not given
    double excitationKilohertz = 0.0;  // LVDT; 0: not given
    std::vector<ChannelPlan> channels;
};

struct ZelStation::Plan {
    std::string path;
    std::string baseLabel;
    std::vector<ModulePlan> modules;
};

// The open chain: the module objects by file position and their sampler.
struct ZelStation::Impl {
    std::vector<std::unique_ptr<ZelModule>> owned;  // the direct mode's objects
    std::unique_ptr<ZelInterface> chain;            // the discovering mode's chain
    std::vector<ZelModule*> byPosition;             // per file position, null when missing
    std::vector<bool> sameKind;  // the module is of the file's kind: settings and reads
    std::unique_ptr<ZelChainSampler> sampler;
};

// Reads the file into `plan`; a status naming element, module and channel
// on failure.
ZelStationStatus readStationFile(const char* path, ZelStation::Plan& plan);

// Status helpers: a station code with a formatted message, and a library
// result handed up.
ZelStationStatus stationStatus(ZEL_STATION_CODE code, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
ZelStationStatus stationStatus(const ZelResults& lower, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Bounded copy of a text into a fixed field.
template <std::size_t N>
void copyField(char (&field)[N], const std::string& text) {
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    text.copy(field, n);
    field[n] = '\0';
}

#endif  // ZEL_STATION_PLAN_H
