// ZelAnalogModule: a two-channel analog input module. Each channel delivers
// a voltage and a current reading as 16-bit words; the class converts them
// into volts and milliamperes, applies a per-channel linear calibration
// (which it can compute from two points), a scaling factor and the device
// offset, sets a channel's number of samples, and reads twelve diagnostic
// values.
#ifndef ZEL_ZEL_ANALOG_MODULE_H
#define ZEL_ZEL_ANALOG_MODULE_H

#include "modules/zel_module.h"

// Conversion of a bipolar ADC word: x = raw x step (step = 2 x full scale /
// 2^bits); the upper half of the range is the negative one.
class ZEL_API AdcConverter {
  public:
    AdcConverter(double fullScale, unsigned bits, double gain);
    double convert(unsigned short raw, double factor) const;
    double step() const { return step_; }

  private:
    double fullScale_;
    double gain_;
    double step_;
};

constexpr unsigned short ZEL_ANALOG_CHANNELS = 2;
constexpr unsigned short ZEL_ANALOG_DIAG_VALUES = 12;

class ZEL_API ZelAnalogModule : public ZelModule {
  public:
    ZelAnalogModule();
    ~ZelAnalogModule() override;

    // The base initialisation; marks the module data and sets 2 channels.
    ZelResults initializeModule(const char* ip, bool connectOption) override;

    // Command 27: channel 0 or 1, 0 to 100 samples (else code 33).
    ZelResults setNumSamples(unsigned char channel, unsigned char samples);

    // Calibration, kept in the object (channel 2 or more: code 9).
    ZelResults setResolution(unsigned short channel, double resolution);
    ZelResults getResolution(unsigned short channel, double* resolution);
    ZelResults setOffset(unsigned short channel, double offset);
    ZelResults getOffset(unsigned short channel, double* offset);
    bool setScaling(unsigned short channel, double scaling);
    bool getScaling(unsigned short channel, double* scaling);
    // The calibration through two points: reading r1 shows s1, r0 shows s0.
    // Code 33 when both scaled values or both readings are 0, or the
    // readings are equal.
    ZelResults computeResolutionAndOffset(unsigned short channel, double* resolution,
                                          double* offset, double scaledHigh, double scaledLow,
                                          double readingHigh, double readingLow);

    // Command 1: the two voltages (length >= 2), the two currents (>= 2),
    // voltage and current of both channels (>= 4), the same calibrated. A
    // shorter array gives code 8 and nothing written.
    ZelResults getVoltage(double* values, unsigned short length, COUNT_REQUEST_OPTION option);
    ZelResults getCurrent(double* values, unsigned short length, COUNT_REQUEST_OPTION option);
    ZelResults getValues(double* values, unsigned short length, COUNT_REQUEST_OPTION option);
    ZelResults getScaledValues(double* values, unsigned short length, COUNT_REQUEST_OPTION option);
    // Command 15: twelve diagnostic values (length >= 12, else code 33).
    ZelResults getDiagVoltages(double* values, unsigned short length);

    // The word conversions: 12.5 - 0.005 x w volts, w x 0.0032 + 4 mA.
    static double voltageOf(unsigned short word);
    static double currentOf(unsigned short word);

  private:
    // Command 1 after the flag and pointer checks, then the length check;
    // words gets voltage 0, current 0, voltage 1, current 1.
    ZEL_INTERNAL ZelResults readWords(double* values, unsigned short length, unsigned short needed,
                                      COUNT_REQUEST_OPTION option, double (&words)[4],
                                      const char* method);

    AdcConverter adcConverter;
    double calibrationResolution[ZEL_ANALOG_CHANNELS];
    double calibrationOffset[ZEL_ANALOG_CHANNELS];
    double calibrationScaling[ZEL_ANALOG_CHANNELS];
};

#endif  // ZEL_ZEL_ANALOG_MODULE_H
