/// @file
/// ZelAnalogModule: a two-channel analog input module. Each channel delivers
/// a voltage and a current reading as 16-bit words; the class converts them
/// into volts and milliamperes, applies a per-channel linear calibration
/// (which it can compute from two points), a scaling factor and the device
/// offset, sets a channel's number of samples, and reads twelve diagnostic
/// values.
#ifndef ZEL_ZEL_ANALOG_MODULE_H
#define ZEL_ZEL_ANALOG_MODULE_H

/// @addtogroup modules
/// @{

#include "modules/zel_module.h"

/// Conversion of a bipolar ADC word: x = raw x step (step = 2 x full scale /
/// 2^bits); the upper half of the range is the negative one.
class ZEL_API AdcConverter {
  public:
    /// A converter for a `bits`-wide word over +/- fullScale, multiplied by gain.
    AdcConverter(double fullScale, unsigned bits, double gain);
    /// The word's value x gain x factor.
    double convert(unsigned short raw, double factor) const;
    /// The value of one step of the word.
    double step() const { return step_; }

  private:
    double fullScale_;
    double gain_;
    double step_;
};

/// Input channels of an analog module.
constexpr unsigned short ZEL_ANALOG_CHANNELS = 2;
/// Diagnostic values getDiagVoltages gives.
constexpr unsigned short ZEL_ANALOG_DIAG_VALUES = 12;

/// An analog input module (2 channels): volts and milliamperes, two-point
/// calibration kept in the object, scaled values and diagnostic voltages.
class ZEL_API ZelAnalogModule : public ZelModule {
  public:
    ZelAnalogModule();
    ~ZelAnalogModule() override;

    /// The base initialisation; marks the module data and sets 2 channels.
    ZelResults initializeModule(const char* ip, bool connectOption) override;

    /// Command 27: channel 0 or 1, 0 to 100 samples (else code 33).
    ZelResults setNumSamples(unsigned char channel, unsigned char samples);

    /// Calibration, kept in the object (channel 2 or more: code 9).
    ZelResults setResolution(unsigned short channel, double resolution);
    /// The channel's calibration resolution (code 32 for a null pointer).
    ZelResults getResolution(unsigned short channel, double* resolution);
    /// The channel's calibration offset: a scaled value is (word x resolution
    /// - offset) x scaling + device offset.
    ZelResults setOffset(unsigned short channel, double offset);
    /// The channel's calibration offset (code 32 for a null pointer).
    ZelResults getOffset(unsigned short channel, double* offset);
    /// The channel's scaling factor of getScaledValues; false for channel 2 or more.
    bool setScaling(unsigned short channel, double scaling);
    /// The channel's scaling factor; false for channel 2 or more or a null pointer.
    bool getScaling(unsigned short channel, double* scaling);
    /// The calibration through two points: reading r1 shows s1, r0 shows s0.
    /// Code 33 when both scaled values or both readings are 0, or the
    /// readings are equal.
    ZelResults computeResolutionAndOffset(unsigned short channel, double* resolution,
                                          double* offset, double scaledHigh, double scaledLow,
                                          double readingHigh, double readingLow);

    /// Command 1: the two voltages (length >= 2), the two currents (>= 2),
    /// voltage and current of both channels (>= 4), the same calibrated. A
    /// shorter array gives code 8 and nothing written.
    ZelResults getVoltage(double* values, unsigned short length, COUNT_REQUEST_OPTION option);
    /// The two currents in mA (length >= 2).
    ZelResults getCurrent(double* values, unsigned short length, COUNT_REQUEST_OPTION option);
    /// Voltage and current of both channels (length >= 4).
    ZelResults getValues(double* values, unsigned short length, COUNT_REQUEST_OPTION option);
    /// getValues with each channel's calibration applied: (word x resolution
    /// - offset) x scaling (a scaling of 0 leaves it out) + device offset
    /// (length >= 4).
    ZelResults getScaledValues(double* values, unsigned short length, COUNT_REQUEST_OPTION option);
    /// Command 15: twelve diagnostic values (length >= 12, else code 33).
    ZelResults getDiagVoltages(double* values, unsigned short length);

    /// getScaledValues's decoding applied to a checked answer to command 1:
    /// voltage 0, current 0, voltage 1, current 1 into values (room for 4).
    /// Internal to the library.
    ZEL_INTERNAL ZelResults scaledValuesFromAnswer(ZelbusResponse& response,
                                                   COUNT_REQUEST_OPTION option, double* values);

    /// The word conversions: 12.5 - 0.005 x w volts, w x 0.0032 + 4 mA.
    static double voltageOf(unsigned short word);
    /// The current word in mA.
    static double currentOf(unsigned short word);

  private:
    /// Command 1 after the flag and pointer checks, then the length check;
    /// words gets voltage 0, current 0, voltage 1, current 1.
    ZEL_INTERNAL ZelResults readWords(double* values, unsigned short length, unsigned short needed,
                                      COUNT_REQUEST_OPTION option, double (&words)[4],
                                      const char* method);
    /// The four words of an answer to command 1, converted.
    ZEL_INTERNAL static void wordsFromAnswer(ZelbusResponse& response, COUNT_REQUEST_OPTION option,
                                             double (&words)[4]);
    /// Each channel's calibration applied to the four words.
    ZEL_INTERNAL void scaleWords(const double (&words)[4], double* values);

    AdcConverter adcConverter;
    double calibrationResolution[ZEL_ANALOG_CHANNELS];
    double calibrationOffset[ZEL_ANALOG_CHANNELS];
    double calibrationScaling[ZEL_ANALOG_CHANNELS];
};

/// @}

#endif  // ZEL_ZEL_ANALOG_MODULE_H
