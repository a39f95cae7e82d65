/// @file
/// Zel1VppModule: a module for incremental encoders with 1 Vpp signals, up
/// to eight channels. The module interpolates each signal period 4096-fold
/// into a 32-bit counter per channel and counts the counter's wraps. Counts
/// become linear positions through the signal period, or angles through the
/// line count; the class also references the encoders, selects and detects
/// the signal type, and reads two analog diagnostic values per channel.
#ifndef ZEL_ZEL_1VPP_MODULE_H
#define ZEL_ZEL_1VPP_MODULE_H

/// @addtogroup modules
/// @{

#include <cstdint>

#include "modules/zel_device_module.h"

/// A 1 Vpp incremental encoder module: counts with the counter's wrap
/// counts, positions by line count or signal period, analog diagnostics,
/// referencing and signal type.
class ZEL_API Zel1VppModule : public ZelDeviceModule {
  public:
    Zel1VppModule();
    ~Zel1VppModule() override;

    /// The base initialisation; every channel below the channel count gets
    /// type none and unit counts; the module data is marked and the analog
    /// diagnostics of channel 0 switched off (its result ignored). Line
    /// counts and signal periods are the host's to set.
    ZelResults initializeModule(const char* ip, bool connectOption) override;

    /// Command 1: counts, followed in the answer by one wrap counter per
    /// channel, converted by each channel's settings. Unit none or counts
    /// gives the raw unsigned count. Code 38 when a channel's settings cannot
    /// be read (positions before it stay written).
    ZelResults getPositions(double* positions, unsigned short length, COUNT_REQUEST_OPTION option);
    /// Command 27 [channel, 0]: the two analog diagnostic values in volts,
    /// written when length >= 2. Needs the module data (21).
    ZelResults getDiag(unsigned char channel, double* values, unsigned char length);
    /// Command 27 [channel, 1 or 2]: switches the channel's analog diagnostics
    /// on or off. Needs the module data (21).
    ZelResults enableAnalogDiag(unsigned char channel, bool enable);

    /// Referencing: start, poll, read the state, acknowledge.
    ZelResults initAbsolutePosition(unsigned char channel, REFERENCE_MARK_ENUM mark,
                                    unsigned short markParameter);
    /// Command 33 [channel, 3]: *complete is true once the channel found its
    /// reference. Needs the module data (21); code 32 for a null pointer.
    ZelResults isReferencingComplete(unsigned char channel, bool* complete);
    /// Command 33 [channel, 2]: acknowledges the found reference. Needs the
    /// module data (21).
    ZelResults acknowledgeAbsolutePosition(unsigned char channel);
    /// Command 32 [3, channel]: the channel's referencing state as the module
    /// reports it. Needs the module data (21).
    ZelResults getReferencingState(unsigned char channel, REF_MARK_STATE* state);

    /// Command 15 sub-operations 9 (selected), 10 (select), 11 (detect).
    ZelResults getSignalType(unsigned short channel, SIGNAL_TYPE* type);
    /// Selects voltage or current signals for the channel (sub-operation 10).
    ZelResults setSignalType(unsigned short channel, SIGNAL_TYPE type);
    /// Has the module detect the channel's signal type (sub-operation 11).
    ZelResults detectSignalType(unsigned short channel, SIGNAL_TYPE* type);

    /// Rotary: signal periods per revolution; the resolution becomes
    /// 360 / (lines x 4096) degrees per count. Linear: the signal period in
    /// micrometres; the resolution becomes period / 4096 micrometres per
    /// count. The last setter called decides the resolution.
    bool setLineCount(unsigned long lines, unsigned short channel);
    /// The stored line count (false for channel 8 or more or a null pointer).
    bool getLineCount(unsigned long* lines, unsigned short channel);
    /// Stores a linear channel's signal period in micrometres and its resolution.
    bool setSignalPeriod(unsigned short period, unsigned short channel);
    /// The stored signal period (false for channel 8 or more or a null pointer).
    bool getSignalPeriod(unsigned short* period, unsigned short channel);

    /// Single fields of the stored EncoderInfo; need the communication.
    bool setCountingDirection(bool direction, unsigned short channel);
    /// Replaces the channel's unit of measure.
    bool setUom(UOM uom, unsigned short channel);
    /// Replaces the channel's encoder type.
    bool setEncoderType(ENCODER_TYPES_ENUM type, unsigned short channel);

    /// @name Decoding of a counts answer (internal)
    /// The decoding of getPositions applied to an answer to
    /// command 1 that has been checked; same outputs, results and state
    /// (the wrap counters) as the getters after their exchange.
    /// @{

    /// getPositions after its exchange.
    ZEL_INTERNAL ZelResults positionsFromAnswer(ZelbusResponse& response, double* positions,
                                                unsigned short length);
    /// @}

  private:
    ZEL_INTERNAL double countsToPosition(std::uint32_t count, unsigned short channel);
    ZEL_INTERNAL ZelResults readSignalType(unsigned short channel, unsigned char subOperation,
                                           SIGNAL_TYPE* type, const char* method);

    std::uint32_t lineCount[ZEL_CHANNEL_CAPACITY];
    unsigned short signalPeriod[ZEL_CHANNEL_CAPACITY];
    std::int32_t overflowCount[ZEL_CHANNEL_CAPACITY];
};

/// @}

#endif  // ZEL_ZEL_1VPP_MODULE_H
