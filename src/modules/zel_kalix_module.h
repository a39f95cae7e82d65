/// @file
/// ZelKalixModule: a module reading up to eight absolute Kalix encoders,
/// linear or rotary, single-turn or multi-turn. initializeModule asks which
/// channels carry an encoder and reads each encoder's identity and
/// parameters into a DeviceData record and the channel's EncoderInfo and
/// resolution. The counts read turns the 64-bit encoder values into counts
/// with revolution numbers, or into positions in millimetres, inches or
/// degrees (folded by the channel's ROTARY_FORMAT, moved by its device
/// offset). The encoders' error, warning and diagnostic bytes are passed on
/// as the module reports them.
#ifndef ZEL_ZEL_KALIX_MODULE_H
#define ZEL_ZEL_KALIX_MODULE_H

/// @addtogroup modules
/// @{

#include "modules/zel_device_module.h"

/// One encoder's identity and parameters, as the module reports them.
struct DeviceData {
    /// The encoder's name text.
    char encoderName[10];
    /// The encoder's ID text.
    char encoderId[11];
    /// The encoder's serial number text.
    char serialNumber[17];
    /// The encoder reports that it counts the other way; kept as the
    /// channel's counting direction, positions are not changed by it.
    bool directionInverted;
    /// Rotary (true) or linear encoder.
    bool isRotary;
    /// Rotary: counts per revolution; linear: nanometres per count.
    unsigned int measuringStep;
    unsigned int infoValueA;  ///< kept and returned, not interpreted
    /// Kept and returned, not interpreted.
    unsigned int infoValueB;
    /// Revolutions a multi-turn encoder tells apart; 1 for a single-turn one.
    unsigned short distinguishableRevolutions;
    /// Width of a rotary position value: single-turn plus revolution bits.
    unsigned char positionBits;
};

/// The state of one error or warning flag.
enum KALIX_ERROR_RESULT : int {
    KALIX_ERROR_CLEAR = 0,
    KALIX_ERROR_SET = 1,
    KALIX_ERROR_UNKNOWN = 2,  ///< the module reported another value
};

/// Error flags of a channel status answer.
constexpr unsigned char KALIX_ERROR_FLAGS = 7;
/// Warning flags of a channel status answer.
constexpr unsigned char KALIX_WARNING_FLAGS = 5;
/// Diagnostic bytes of a channel status answer.
constexpr unsigned char KALIX_DIAG_BYTES = 9;

/// An absolute Kalix encoder module (up to 8 encoders): encoder records read
/// at initialisation, counts with revolution numbers, positions, error,
/// warning and diagnostic flags.
class ZEL_API ZelKalixModule : public ZelDeviceModule {
  public:
    ZelKalixModule();
    ~ZelKalixModule() override;

    /// The base initialisation, then per channel below the channel count:
    /// presence (command 16), and for a present encoder its information
    /// (12) and parameters (11). An empty channel gets the type none, unit
    /// counts and step 1. The first failure is returned; the records of the
    /// channels not yet read stay zero and the module data is not marked.
    ZelResults initializeModule(const char* ip, bool connectOption) override;

    /// Command 16: the presence flag of the channel. Codes 5 and 6 for an
    /// answer of no or more than eight channels; a channel the answer does
    /// not cover reads as absent.
    ZelResults getChannelPresence(unsigned char* presence, unsigned short channel);
    /// Command 33 [channel, 0]: the seven error flags (array of at least 7,
    /// else code 6 after the exchange), the five warning flags (at least 5)
    /// and the nine diagnostic bytes (written only into a buffer of 9 or more;
    /// an answer without parameters clears up to nine bytes). They need the
    /// module data (code 21).
    ZelResults getErrors(unsigned short channel, KALIX_ERROR_RESULT* errors, unsigned char length);
    /// The five warning flags of the same answer (array of at least 5).
    ZelResults getWarnings(unsigned short channel, KALIX_ERROR_RESULT* warnings,
                           unsigned char length);
    /// The nine diagnostic bytes of the same answer.
    ZelResults getDiag(unsigned char channel, unsigned char* buffer, unsigned char length);

    /// Command 1: per channel the count and its revolution number. Linear:
    /// the low 32 bits and 1. Single-turn rotary: the count within the turn
    /// and the signed revolution field. Multi-turn: the single-turn bits and
    /// the revolution bits (0 to 65535). A multi-turn channel whose bit
    /// widths do not fit is skipped and its entries keep their contents.
    ZelResults getCounts(unsigned long* counts, long* revolutions, unsigned short length,
                         COUNT_REQUEST_OPTION option);
    /// Command 1 converted to positions by each channel's settings; a channel
    /// in unit none or counts gives its raw low 32 bits and leaves its
    /// revolution entry alone.
    ZelResults getPositions(double* positions, long* revolutions, const unsigned short& length,
                            COUNT_REQUEST_OPTION option);

    /// Accessors of the records (channels 0 to 7; false and nothing copied
    /// otherwise, except that the text and revolution getters then write " "
    /// or 1).
    bool getDeviceData(DeviceData* data, unsigned short channel);
    /// Revolutions the channel's encoder tells apart (1 outside 0 to 7).
    bool getDistinguishableRevolutions(short* revolutions, unsigned short channel);
    bool getEncoderName(char* name, unsigned short channel);     ///< room for 10 bytes
    bool getEncoderId(char* id, unsigned short channel);         ///< room for 11 bytes
    bool getSerialNumber(char* serial, unsigned short channel);  ///< room for 17 bytes

    /// Stores the caller's record, but keeps the encoder's own measuring step
    /// (written back into *info). An error compensation of 0 becomes 1.0 in
    /// the caller's record first. Needs the communication.
    bool setEncoderInfo(EncoderInfo* info, unsigned short channel);
    /// Replaces the channel's unit of measure; needs the communication.
    bool setUom(UOM uom, unsigned short channel);

    /// @name Decoding of a counts answer (internal)
    /// The decoding of getCounts and getPositions applied to an answer to
    /// command 1 that has been checked; same outputs, results and state
    /// as the getters after their exchange.
    /// @{

    /// getCounts after its exchange.
    ZEL_INTERNAL ZelResults countsFromAnswer(ZelbusResponse& response, unsigned long* counts,
                                             long* revolutions, unsigned short length);
    /// getPositions after its exchange.
    ZEL_INTERNAL ZelResults positionsFromAnswer(ZelbusResponse& response, double* positions,
                                                long* revolutions, unsigned short length);
    /// @}

  private:
    ZEL_INTERNAL ZelResults getInfo(unsigned char channel, DeviceData* data);
    ZEL_INTERNAL ZelResults getParams(unsigned short channel, DeviceData* data);
    ZEL_INTERNAL ZelResults readStatus(unsigned char channel, ZelbusResponse* response);
    ZEL_INTERNAL ZelResults readFlags(unsigned short channel, KALIX_ERROR_RESULT* flags,
                                      unsigned char length, unsigned char count, int offset,
                                      const char* method);
    ZEL_INTERNAL double countsToPosition(long long count, unsigned short channel, long revolution);
    ZEL_INTERNAL static double applyRotaryFormat(double degrees, unsigned short revolutions,
                                                 long revolution, ROTARY_FORMAT format);
    ZEL_INTERNAL void updateResolution(unsigned int step, unsigned short channel);

    DeviceData deviceData[ZEL_CHANNEL_CAPACITY];
};

/// @}

#endif  // ZEL_ZEL_KALIX_MODULE_H
