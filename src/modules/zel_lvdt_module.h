/// @file
/// ZelLvdtModule: a module for eight inductive displacement probes sharing
/// one primary excitation. It sets and reads the excitation voltage and
/// frequency, reads per-channel demodulated voltages and signed 24-bit
/// readings, turns readings into positions with a per-channel resolution,
/// and manages the probes' gain, presence, diagnostics and oversampling in
/// the module. Every command but the position read needs the module data
/// (code 21); the position read needs the communication (code 20).
#ifndef ZEL_ZEL_LVDT_MODULE_H
#define ZEL_ZEL_LVDT_MODULE_H

/// @addtogroup modules
/// @{

#include "modules/zel_device_module.h"

/// Unit of a channel, kept for the host; no computation uses it.
enum LVDT_UOM : int {
    LVDT_UOM_NONE = 0,
    LVDT_UOM_COUNTS = 1,
    LVDT_UOM_MILLIMETRE = 2,  ///< the value of a new object
    LVDT_UOM_INCH = 3,
    LVDT_UOM_MICROMETRE = 4,
};

/// How the module updates its diagnostics, sent as one byte.
enum LVDT_UPDATE_CHOICES : int {
    LVDT_UPDATE_OFF = 0,
    LVDT_UPDATE_ON = 1,
};

/// Oversampling of the readings, sent as one byte.
enum LVDT_OVERSAMPLING_CHOICES : int {
    LVDT_OVERSAMPLING_NONE = 0,
    LVDT_OVERSAMPLING_2 = 1,
    LVDT_OVERSAMPLING_4 = 2,
    LVDT_OVERSAMPLING_8 = 3,
};

/// An LVDT module (8 probes): excitation, signed 24-bit readings, voltages,
/// positions, probe gain set or taught, oversampling.
class ZEL_API ZelLvdtModule : public ZelDeviceModule {
  public:
    ZelLvdtModule();
    ~ZelLvdtModule() override;

    /// The base initialisation; marks the module data, sets 8 channels and
    /// reads the FPGA revision (its result ignored).
    ZelResults initializeModule(const char* ip, bool connectOption) override;

    /// Command 15 sub-operation 1: sets the channel's presence byte. Needs the
    /// module data (21).
    ZelResults setChannelPresence(unsigned char presence, unsigned char channel);
    /// Command 15 sub-operation 0: the channel's presence byte. Needs the module
    /// data (21); code 32 for a null pointer.
    ZelResults getChannelPresence(unsigned char* presence, unsigned char channel);
    /// The channel's unit (false for channel 8 or more or a null pointer).
    bool getUom(LVDT_UOM* uom, unsigned short channel);
    /// Stores the channel's unit (false for channel 8 or more).
    bool setUom(LVDT_UOM uom, unsigned short channel);

    /// The excitation: volts and kilohertz as the module runs them.
    ZelResults getExcitationValues(double* volts, double* kilohertz);
    /// 1.5 to 5.5 V (else code 33), sent in millivolts.
    ZelResults setExcitationVoltage(double volts);
    /// 3 to 50 kHz (else code 33); below 17.5 kHz only with an FPGA revision
    /// of 512 or more (else code 39). The module runs the nearest step of the
    /// prescaler chosen for the band (3.0 kHz reads back as about 2.976 kHz).
    ZelResults setExcitationFrequency(double kilohertz);

    /// The demodulated voltage and the signed reading of one channel.
    ZelResults getVoltage(unsigned short channel, double* volts, long* reading);
    /// Command 1: reading x resolution x scaling + device offset per channel.
    ZelResults getPositions(double* positions, unsigned short length, COUNT_REQUEST_OPTION option);
    /// Command 1: the raw signed reading of each channel behind the positions
    /// (as many as the answer holds, the channel count and `length` allow).
    ZelResults getReadings(long* readings, unsigned short length, COUNT_REQUEST_OPTION option);
    /// Position units per reading step (channel 8 or more: code 9).
    ZelResults getResolution(unsigned short channel, double* resolution);
    /// Stores the channel's resolution (channel 8 or more: code 9).
    ZelResults setResolution(unsigned short channel, double resolution);

    /// Command 15 sub-operation 9 with the choice. Needs the module data (21).
    ZelResults setDiagnosticsEnabled(LVDT_UPDATE_CHOICES choice);
    /// The gain code of a probe, set directly or taught by the module: after
    /// teachSensorGain, poll getTeachSensorGainFinished until it is not 0,
    /// then read the taught code with getSensorGain.
    ZelResults getSensorGain(unsigned short channel, unsigned char* gain);
    /// Sub-operation 10 [channel, gain, 0]: sets the probe's gain code.
    ZelResults setSensorGain(unsigned short channel, unsigned char gain);
    /// Sub-operation 10 [channel, 0, 1]: the module starts teaching the gain.
    ZelResults teachSensorGain(unsigned short channel);
    /// Sub-operation 11: not 0 once the teaching has ended; code 32 for a null
    /// pointer.
    ZelResults getTeachSensorGainFinished(unsigned short channel, unsigned short* finished);
    /// Sub-operation 12: the FPGA revision, 16 bits little-endian. Needs the
    /// module data (21); code 32 for a null pointer.
    ZelResults getFpgaRevision(unsigned short* revision);
    /// Sub-operation 13 with the choice. Needs the module data (21).
    ZelResults setOversampling(const LVDT_OVERSAMPLING_CHOICES& choice);

    /// The signed reading of a raw 24-bit field: -v below 2^23, else 2^24 - v.
    static long readingOf(unsigned long raw);
    /// The signed readings of a command-1 answer (m 16-bit values, then m
    /// 32-bit readings; m lowered to the channel count): returns m.
    ZEL_INTERNAL int decodeReadings(ZelbusResponse& response, long* readings);

    /// @name Decoding of a counts answer (internal)
    /// The decoding of getPositions and getReadings applied to an answer to
    /// command 1 that has been checked; same outputs, results and state
    /// as the getters after their exchange.
    /// @{

    /// getPositions after its exchange.
    ZEL_INTERNAL ZelResults positionsFromAnswer(ZelbusResponse& response, double* positions,
                                                unsigned short length);
    /// getReadings after its exchange.
    ZEL_INTERNAL ZelResults readingsFromAnswer(ZelbusResponse& response, long* readings,
                                               unsigned short length);
    /// @}

  private:
    /// Command 15 through the exchange with 2000 ms and 1 retry that does not
    /// check the answer's source or type.
    ZEL_INTERNAL ZelResults explicitSettings(std::initializer_list<unsigned char> parameters);
    /// Command 15 with the module-data check and the checked exchange.
    /// Its own results carry the caller's method and line.
    ZEL_INTERNAL ZelResults settings(std::initializer_list<unsigned char> parameters,
                                     ZelbusResponse* response, const char* method,
                                     int line = __builtin_LINE());

    double lvdtResolution[ZEL_CHANNEL_CAPACITY];
    LVDT_UOM lvdtUom[ZEL_CHANNEL_CAPACITY];
    unsigned short fpgaRevision;
};

/// @}

#endif  // ZEL_ZEL_LVDT_MODULE_H
