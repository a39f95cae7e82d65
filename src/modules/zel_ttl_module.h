/// @file
/// ZelTtlModule: a module for incremental encoders with square-wave (TTL)
/// signals, four or eight channels by variant. The module counts four steps
/// per signal period times the channel's interpolation factor into a 32-bit
/// counter and counts the counter's wraps. Counting direction and channel
/// presence are settings kept in the module; positions come from the
/// channel's resolution, which setLineCount or setSignalPeriod derive.
#ifndef ZEL_ZEL_TTL_MODULE_H
#define ZEL_ZEL_TTL_MODULE_H

/// @addtogroup modules
/// @{

#include <cstdint>

#include "modules/zel_device_module.h"

/// The interpolation factor of a channel; the value is the factor itself,
/// sent to the module as a big-endian 16-bit number. Any other factor the
/// module accepts may be passed.
enum TTL_INTERPOLATION : int {
    TTL_INTERPOLATION_1 = 1,  ///< no interpolation
    TTL_INTERPOLATION_2 = 2,
    TTL_INTERPOLATION_5 = 5,
    TTL_INTERPOLATION_10 = 10,
    TTL_INTERPOLATION_20 = 20,
    TTL_INTERPOLATION_25 = 25,
    TTL_INTERPOLATION_50 = 50,
    TTL_INTERPOLATION_100 = 100,
};

/// A TTL incremental encoder module (4 or 8 channels by variant): counts,
/// positions by line count or signal period with the interpolation factor,
/// presence, counting direction, referencing and the FPGA revision.
class ZEL_API ZelTtlModule : public ZelDeviceModule {
  public:
    ZelTtlModule();
    ~ZelTtlModule() override;

    /// The base initialisation; marks the module data, sets the channel count
    /// by variant (4 or 8, 0 for an identity that is no TTL module), type
    /// none and unit counts on every channel, and reads the FPGA revision
    /// (its result ignored).
    ZelResults initializeModule(const char* ip, bool connectOption) override;

    /// Command 1: the raw 32-bit counts (6 entries count as 4).
    ZelResults getCounts(unsigned long* counts, unsigned short length, COUNT_REQUEST_OPTION option);
    /// Command 1 converted by each channel's settings, with the wrap counters
    /// that follow the counts in the answer. Code 38 when a channel's
    /// settings cannot be read.
    ZelResults getPositions(double* positions, unsigned short length, COUNT_REQUEST_OPTION option);

    /// Send the interpolation factor, then store it with the line count or
    /// period. Rotary resolution: factor x lines x 4 counts per revolution;
    /// linear: period / 1000 / 4 / factor millimetres per count. False for
    /// channel 8 or more, or when the interpolation command fails.
    bool setLineCount(unsigned long lines, TTL_INTERPOLATION factor, unsigned short channel);
    /// The stored line count and factor (false for channel 8 or more or a null
    /// pointer).
    bool getLineCount(unsigned long* lines, TTL_INTERPOLATION* factor, unsigned short channel);
    /// Sends the factor, then stores a linear channel's signal period in
    /// micrometres and its resolution.
    bool setSignalPeriod(double period, TTL_INTERPOLATION factor, unsigned short channel);
    /// The stored signal period and factor (false for channel 8 or more or a
    /// null pointer).
    bool getSignalPeriod(double* period, TTL_INTERPOLATION* factor, unsigned short channel);

    /// Channel settings kept in the module (command 15).
    ZelResults setCountingDirection(unsigned char direction, unsigned short channel);
    /// Sub-operation 0: the channel's presence byte. Needs the module data (21);
    /// code 32 for a null pointer, 5 for an answer without parameters.
    ZelResults getChannelPresence(unsigned char* presence, unsigned char channel);
    /// Sub-operation 1: sets the channel's presence byte. Needs the module data (21).
    ZelResults setChannelPresence(unsigned char presence, unsigned char channel);
    /// Sub-operation 6: the FPGA revision, 16 bits little-endian. Needs the
    /// module data (21); code 32 for a null pointer.
    ZelResults getFpgaRevision(unsigned short* revision);

    /// Referencing: start, poll, read the state, acknowledge.
    ZelResults initReferencing(unsigned char channel, REFERENCE_MARK_ENUM mark,
                               unsigned short markParameter);
    /// Sub-operation 3: *complete is true once the channel found its reference.
    /// Needs the module data (21); code 32 for a null pointer.
    ZelResults isReferencingComplete(unsigned char channel, bool* complete);
    /// Command 33 [channel, 2]: acknowledges the found reference. Needs the
    /// module data (21).
    ZelResults acknowledgeReferencing(unsigned char channel);
    /// Command 32 [3, channel]: the channel's referencing state as the module
    /// reports it. Needs the module data (21).
    ZelResults getReferencingState(unsigned char channel, REF_MARK_STATE* state);

    /// Single fields of the stored EncoderInfo; need the communication.
    bool setUom(UOM uom, unsigned short channel);
    /// Replaces the channel's encoder type.
    bool setEncoderType(ENCODER_TYPES_ENUM type, unsigned short channel);

    /// @name Decoding of a counts answer (internal)
    /// The decoding of getCounts and getPositions applied to an answer to
    /// command 1 that has been checked; same outputs, results and state
    /// (the wrap counters) as the getters after their exchange.
    /// @{

    /// getCounts after its exchange.
    ZEL_INTERNAL ZelResults countsFromAnswer(ZelbusResponse& response, unsigned long* counts,
                                             unsigned short length);
    /// getPositions after its exchange.
    ZEL_INTERNAL ZelResults positionsFromAnswer(ZelbusResponse& response, double* positions,
                                                unsigned short length);
    /// @}

  private:
    /// Stores the factor, then sends it (a failed exchange leaves it stored).
    ZEL_INTERNAL ZelResults setInterpolation(unsigned short channel,
                                             TTL_INTERPOLATION interpolation);
    ZEL_INTERNAL double countsToPosition(std::uint32_t count, unsigned short channel);

    std::uint32_t lineCount[ZEL_CHANNEL_CAPACITY];
    double signalPeriod[ZEL_CHANNEL_CAPACITY];
    unsigned short interpolation[ZEL_CHANNEL_CAPACITY];
    unsigned short fpgaRevision;
    std::int32_t overflowCount[ZEL_CHANNEL_CAPACITY];
};

/// @}

#endif  // ZEL_ZEL_TTL_MODULE_H
