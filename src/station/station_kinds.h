// The station's side of each module kind: which of a configuration file's
// settings the kind takes, how they reach its module object and its module,
// how they are checked back after a restart, and what a commissioning file
// records of them. One row per kind, beside the library's kind rows; the
// file reader, the settings applier and the commissioning writer go
// through these rows and name no kind, so a new kind adds its functions
// and its row here.
#ifndef ZEL_STATION_KINDS_H
#define ZEL_STATION_KINDS_H

#include <initializer_list>
#include <string>

#include "config/zel_config_reader.h"
#include "station/station_plan.h"

// The element, module and channel of one value being read from a file.
class FileSite {
  public:
    FileSite(ZelConfigReader& file, const ModulePlan& module, unsigned short number)
        : file_(file), module_(module), number_(number) {}

    // 0 for the module's own elements, else the channel's number from 1.
    void setChannel(unsigned short channel) { channel_ = channel; }

    // The element's text at module level (channel 0) or channel level;
    // empty when the file lacks it.
    std::string text(ZEL_XML_ELEMENTS e);
    // A number, whole text only; false with `refused` filled otherwise.
    bool number(ZEL_XML_ELEMENTS e, double& value, ZelStationStatus& refused);
    // A whole number among the allowed ones.
    bool choice(ZEL_XML_ELEMENTS e, std::initializer_list<int> allowed, int& value,
                ZelStationStatus& refused);
    // The refusal of a value, naming the element, module and channel.
    ZelStationStatus refuse(ZEL_XML_ELEMENTS e, const char* format, ...)
        __attribute__((format(printf, 3, 4)));

  private:
    ZelConfigReader& file_;
    const ModulePlan& module_;
    unsigned short number_;
    unsigned short channel_ = 0;
};

// Applies settings to one module, turning what the object or the module
// refuses into a status naming the element, module and channel.
class SettingsApplier {
  public:
    SettingsApplier(const ModulePlan& m, unsigned short position) : m_(m), position_(position) {}

    void setChannel(unsigned short c) { channel_ = c; }

    // A setter of the object that returns false.
    bool check(bool ok, ZEL_XML_ELEMENTS e, ZelStationStatus& failed);
    // A module command.
    bool check(const ZelResults& r, ZEL_XML_ELEMENTS e, ZelStationStatus& failed);

  private:
    ZelStationStatus name(ZelStationStatus s, ZEL_XML_ELEMENTS e);

    const ModulePlan& m_;
    unsigned short position_;
    int channel_ = -1;
};

// What a commissioning file records of one channel, as the module object
// holds it. The writer puts down the elements of the kind's groups
// (zel::identity::Elements); the kind fills the values it has.
struct CapturedChannel {
    bool populated = true;
    int deviceType = 1;  // ENCODER_TYPES_ENUM
    int uom = 0;         // the kind's own unit code (UOM or LVDT_UOM)
    double scaling = 1.0;
    double compensation = 1.0;
    double resolution = 0.0;
    bool countingDirection = true;
    short revolutions = 1;
    std::string encoderName, encoderId, encoderSerial;
    unsigned long lines = 0;
    double period = 0.0;
    int interpolation = 1;
    int gainCode = 0;
};

// The module-level values a commissioning file records.
struct CapturedModule {
    double excitationVolts = 0.0;
    double excitationKilohertz = 0.0;
};

// A kind's row. A null function: the kind has nothing of that step.
struct StationKindRow {
    StationKind kind;
    // The module's own elements (after its identity and address).
    bool (*readModule)(FileSite& site, ModulePlan& m, ZelStationStatus& refused);
    // A channel's own elements, after the ones every measuring channel
    // holds (error monitoring, scale factor, display step, resolution);
    // sets the channel's unit. Null: the kind applies nothing more, and
    // the channel is not mastered.
    bool (*readChannel)(FileSite& site, ChannelPlan& c, ZelStationStatus& refused);
    // The factor from a mastering offset in `master` to the channel's
    // reading unit; false when the offset cannot move such a reading. Null:
    // the offset is in the reading's unit already.
    bool (*masterFactor)(const ChannelPlan& c, UOM master, double& factor);
    // The module's own settings, before its channels'.
    bool (*applyModule)(ZelModule& object, const ModulePlan& m, SettingsApplier& a,
                        ZelStationStatus& failed);
    // A channel's settings. Null: the kind takes none, and its channels
    // keep their rotary format, offset and error checking.
    bool (*applyChannel)(ZelModule& object, const ChannelPlan& c, unsigned short ch,
                         SettingsApplier& a, ZelStationStatus& failed);
    // After a restart: the settings the module keeps itself, read back and
    // compared with the file's.
    bool (*readBackChannel)(ZelModule& object, const ChannelPlan& c, unsigned short ch,
                            SettingsApplier& a, ZelStationStatus& failed);
    // What a commissioning file records of the module and of a channel.
    ZelResults (*captureModule)(ZelModule& object, CapturedModule& out);
    void (*captureChannel)(ZelModule& object, unsigned short ch, CapturedChannel& out);
};

// The row of a kind, null for none (an identity the table does not hold).
const StationKindRow* stationKindRow(MaybeKind kind);

#endif  // ZEL_STATION_KINDS_H
