/// @file
/// ZelIoModule and ZelPneumaticModule: the two kinds without measuring
/// channels. The I/O module has four digital inputs and four outputs; the
/// pneumatic module switches one valve. Both read their state with command 1
/// and switch outputs with command 2 [output number 1-4, 0 or 1]; states
/// travel as 4-bit masks, bit 0 for input or output 1. The valve is output 4
/// and reads back as bit 3 of the first answer byte. Every command needs the
/// communication (code 20), then valid pointers (code 32).
#ifndef ZEL_ZEL_IO_MODULE_H
#define ZEL_ZEL_IO_MODULE_H

/// @addtogroup modules
/// @{

#include "modules/zel_module.h"

/// A digital I/O module: four outputs switched one by one, input and output
/// masks.
class ZEL_API ZelIoModule : public ZelModule {
  public:
    ZelIoModule();
    ~ZelIoModule() override;

    /// The base initialisation; marks the module data and sets 8 channels.
    ZelResults initializeModule(const char* ip, bool connectOption) override;

    /// Outputs 1 to 4 from bits 0 to 3 of the mask, one exchange each in this
    /// order; the first failure ends it with the earlier outputs switched.
    ZelResults setOutputs(const unsigned char* outputs);
    /// Output 1 to 4 (else code 33, nothing sent).
    ZelResults setOutput(unsigned char output, bool on);
    /// The output mask, bits 0 to 3 (code 32 for a null pointer).
    ZelResults getOutputs(unsigned char* outputs);
    /// The input mask, bits 0 to 3 (code 32 for a null pointer).
    ZelResults getInputs(unsigned char* inputs);
    /// Both masks in one read; the option is sent unchanged.
    ZelResults getIO(unsigned char* inputs, unsigned char* outputs, COUNT_REQUEST_OPTION option);

  private:
    ZEL_INTERNAL ZelResults switchOutput(unsigned char output, bool on);
    ZEL_INTERNAL ZelResults readState(unsigned char option, ZelbusResponse* response);
    /// The four input and four output states of an answer to command 1.
    ZEL_INTERNAL static void statesFromAnswer(ZelbusResponse& response, unsigned char* inputs,
                                              unsigned char* outputs);
};

/// A pneumatic valve module: the valve is the module's output 4.
class ZEL_API ZelPneumaticModule : public ZelModule {
  public:
    ZelPneumaticModule();
    ~ZelPneumaticModule() override;

    /// The base initialisation; marks the module data and sets 1 channel.
    ZelResults initializeModule(const char* ip, bool connectOption) override;

    /// The valve's state, 1 open or 0 closed; the option is sent unchanged.
    ZelResults getOutput(unsigned char* state, COUNT_REQUEST_OPTION option);
    /// Opens (true) or closes the valve.
    ZelResults setOutput(bool on);
};

/// @}

#endif  // ZEL_ZEL_IO_MODULE_H
