/// @file
/// ZelDeviceModule: the base of the kinds that measure with channels of their
/// own (Kalix, 1 Vpp, TTL, LVDT). It keeps, per channel, the settings that
/// turn counts into positions (encoder information, resolution, scaling)
/// with bounded accessors, and adds the channel commands these kinds share:
/// error checking, a channel's status byte, clearing its errors and warnings,
/// and the latch debouncing time. Each kind converts its own counts.
///
/// The accessors return false and store or read nothing when a check fails.
/// The whole-record accessors need the communication to be initialised; the
/// single-field ones work at any time.
#ifndef ZEL_ZEL_DEVICE_MODULE_H
#define ZEL_ZEL_DEVICE_MODULE_H

/// @addtogroup modules
/// @{

#include <initializer_list>

#include "modules/zel_module.h"

/// The per-channel settings and channel commands of the kinds that measure
/// with channels of their own; see the file's description.
class ZEL_API ZelDeviceModule : public ZelModule {
  public:
    ZelDeviceModule();
    ~ZelDeviceModule() override;

    /// Checks: info not null, communication initialised, channel < 8.
    bool getEncoderInfo(EncoderInfo* info, unsigned short channel);
    /// Replaces the channel's whole record (same checks as getEncoderInfo).
    bool setEncoderInfo(EncoderInfo* info, unsigned short channel);
    /// Checks: pointer not null (getters), channel < 8. Values are stored as
    /// given (a scaling of 0 included).
    bool getCountingDirection(bool* value, unsigned short channel);
    /// Factor applied to the channel's count before scaling.
    bool setErrorCompensation(double value, unsigned short channel);
    /// The channel's error compensation factor (1.0 unless set).
    bool getErrorCompensation(double* value, unsigned short channel);
    /// Factor applied to the channel's position.
    bool setScaling(double value, unsigned short channel);
    /// The channel's scaling factor.
    bool getScaling(double* value, unsigned short channel);
    /// The channel's resolution: length or angle per count, as the kind computes it.
    bool getResolution(double* value, unsigned short channel);
    /// As the others, but a channel of 8 or more also sets the output to 0.
    bool getEncoderType(ENCODER_TYPES_ENUM* type, unsigned short channel);
    /// The channel's unit of measure.
    bool getUom(UOM* uom, unsigned short channel);

    /// Command 33 [channel, 5 or 4]: switches the channel's error checking.
    ZelResults enableErrorChecking(bool enable, unsigned short channel);
    /// Command 33 [channel, 0]: the channel's status byte. Answer count 0:
    /// code 5; an answer for another channel: code 9 (status untouched).
    /// status must be valid.
    ZelResults getChannelStatus(unsigned char channel, unsigned char* status);
    /// Command 33 [channel, 1]. An uninitialised object gives code 21 here
    /// where the other channel commands give 20.
    ZelResults clearErrorsAndWarnings(unsigned short channel);
    /// Command 32 [0, channel, time high, time low, 0].
    ZelResults setLatchDebouncing(unsigned char channel, unsigned short debounceTime);

  protected:
    /// Stores the channel's resolution (the kinds compute it from their settings).
    bool setResolution(double value, unsigned short channel);
    /// The stored record of a channel, or null when the communication is not
    /// initialised or the channel is 8 or more: the rule of the single-field
    /// setters of the kinds (unit, encoder type, counting direction).
    ZEL_INTERNAL EncoderInfo* storedEncoderInfo(unsigned short channel);
    /// Replaces one field of the channel's record; false (nothing stored) where
    /// storedEncoderInfo gives null.
    ZEL_INTERNAL bool replaceUom(UOM uom, unsigned short channel);
    /// @copydoc replaceUom
    ZEL_INTERNAL bool replaceEncoderType(ENCODER_TYPES_ENUM type, unsigned short channel);
    /// @copydoc replaceUom
    ZEL_INTERNAL bool replaceCountingDirection(bool direction, unsigned short channel);

    /// The angle of an incremental rotary channel from its counter angle A
    /// (the 32-bit count in degrees): adds the shift of `wraps` counter wraps
    /// (each 2^32 - 1 counts), the device offset, then folds the sum by the
    /// format with foldIncrementalAngle.
    ZEL_INTERNAL static double incrementalAngle(double counterDegrees, double countsPerRevolution,
                                                int wraps, double deviceOffset,
                                                ROTARY_FORMAT format);

    /// Command 32 [3, channel]: the referencing state of an incremental
    /// channel, big-endian in bytes 3-4, written as 16 bits. Flag 20, pointer 32.
    ZEL_INTERNAL ZelResults readReferencingState(unsigned char channel, REF_MARK_STATE* state,
                                                 const char* method, int line = __builtin_LINE());
    /// Command 15 with ten parameter bytes (the first the sub-operation, the
    /// rest zero unless given) through the checked exchange.
    ZEL_INTERNAL ZelResults moduleSettings(std::initializer_list<unsigned char> parameters,
                                           ZelbusResponse* response);

  private:
    /// Command 33 with [channel, function] through the checked exchange.
    ZEL_INTERNAL ZelResults channelFunction(unsigned char channel, unsigned char function,
                                            ZelbusResponse* response);

    double resolution[ZEL_CHANNEL_CAPACITY];
    double scaling[ZEL_CHANNEL_CAPACITY];
    EncoderInfo encoderInfo[ZEL_CHANNEL_CAPACITY];
};

/// @}

#endif  // ZEL_ZEL_DEVICE_MODULE_H
