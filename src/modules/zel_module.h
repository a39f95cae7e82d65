/// @file
/// ZelModule: the base of every module object. It adds to the conversation
/// of ZelComm the module's identity and network record, the two flags that
/// guard every operation, the initialisation that connects to one module and
/// reads its identity and configuration, the neighbour signals that order a
/// chain, the commands every kind answers (counts, latch, ADC values,
/// integrity, diagnostics) and the per-channel rotary settings the encoder
/// kinds apply. A plain ZelModule serves modules whose kind has no class of
/// its own (base modules, power supplies) and lets the chain read a module's
/// identity before it builds the kind's object.
///
/// Unless an operation says otherwise it first tests that the communication
/// was initialised (code 20), then its pointers (code 32); a failed exchange
/// is returned as it came (code 1 "Response timeout" with the method
/// "ZelComm::sendCommandWait", for example); an answer of another type gives
/// code 4, and the caller's outputs are left untouched on every failure.
/// One object is used by one thread at a time.
#ifndef ZEL_ZEL_MODULE_H
#define ZEL_ZEL_MODULE_H

/// @addtogroup modules
/// @{

#include <memory>

#include "foundation/zel_export.h"
#include "foundation/zel_results.h"
#include "modules/module_identity.h"
#include "modules/module_types.h"
#include "programming/zel_programming.h"
#include "transport/zel_comm.h"

/// Capacity of a version text (terminator included).
constexpr unsigned ZEL_VERSION_TEXT_CAPACITY = 32;
/// Most channels any module has; per-channel settings hold this many.
constexpr unsigned ZEL_CHANNEL_CAPACITY = 8;

/// A module's identity and network record, as read by initializeModule.
struct ModuleData {
    /// The identity read by the module-type command.
    MODULE_ID moduleId = MODULE_ID_NONE;
    unsigned long moduleNumber = 0;  ///< the hardware number read from the module's FRAM
    /// The module's type byte.
    unsigned char typeByte = 0;
    /// Channels of the module (a 6-channel answer is stored as 4).
    unsigned short numChannels = 0;
    bool connectFlag = false;  ///< the module the host is plugged into
    bool configDhcp = false;   ///< DHCP flag of the configuration answer
    /// The module's current address.
    char ipAddress[ZEL_IP_TEXT_CAPACITY] = "0.0.0.0";
    /// The port the module answered from.
    unsigned short port = 0;
    /// "xx:xx:xx:xx:xx:xx".
    char macAddress[ZEL_MAC_TEXT_CAPACITY] = "00:00:00:00:00:00";
    /// "major.minor.patch", or "0" before it was read.
    char bootloaderVersion[ZEL_VERSION_TEXT_CAPACITY] = "0";
    /// "major.minor.patch", or "0" before it was read.
    char firmwareVersion[ZEL_VERSION_TEXT_CAPACITY] = "0";
    /// The address came from DHCP (connect record).
    bool usingDhcp = true;
    /// The current netmask.
    char netmask[ZEL_IP_TEXT_CAPACITY] = "0.0.0.0";
    /// The address the module takes without DHCP.
    char ipStatic[ZEL_IP_TEXT_CAPACITY] = "0.0.0.0";
    /// The netmask the module takes without DHCP.
    char netmaskStatic[ZEL_IP_TEXT_CAPACITY] = "0.0.0.0";
    /// The serial number text.
    char serialNumber[ZEL_SERIAL_TEXT_CAPACITY] = "0";
    char revisionChar = ' ';  ///< a module reporting 0 is stored as a space
};

/// A module's answer to getLeft.
struct LeftData {
    char ipAddress[ZEL_IP_TEXT_CAPACITY];  ///< the answering module's address
    /// The left input is high: after every right output was switched off, the
    /// module whose right output is on is this module's left neighbour.
    bool leftActive;
    bool leftFlag2;  ///< byte 5 of the answer, passed on as the module sets it
    bool leftFlag3;  ///< byte 6 of the answer
    bool leftFlag4;  ///< byte 7 of the answer
};

/// One module: identity, initialisation, neighbour signals and the commands
/// every kind answers. See the file's description for the checks every
/// operation makes.
class ZEL_API ZelModule : public ZelComm {
  public:
    ZelModule();
    ~ZelModule() override;

    /// @name Identity (no object, no communication)
    /// @{

    /// Model name, or "Unknown" for 0 and any value not in the table.
    static const char* showModuleType(MODULE_ID id);
    /// ID string such as "580313-01", or "Unknown".
    static const char* showModuleId(MODULE_ID id);
    // The kind tests: true when the identity is in the table with that kind
    // or class; false for 0 and any value not in the table.
    static bool isPowerSupplyModule(const MODULE_ID& id);  ///< A power supply.
    static bool isKalixModule(const MODULE_ID& id);        ///< A Kalix encoder module.
    static bool is1VppModule(const MODULE_ID& id);         ///< A 1 Vpp encoder module.
    static bool isTtlModule(const MODULE_ID& id);          ///< A TTL encoder module.
    static bool isLvdtModule(const MODULE_ID& id);         ///< An LVDT module.
    static bool isAnalogModule(const MODULE_ID& id);       ///< An analog input module.
    static bool isIOModule(const MODULE_ID& id);           ///< A digital I/O module.
    static bool isPneumaticModule(const MODULE_ID& id);    ///< A pneumatic valve module.
    static bool isPriority1Module(const MODULE_ID& id);    ///< Programming priority class 1.
    static bool isPriority2Module(const MODULE_ID& id);    ///< Programming priority class 2.
    /// The heads of a chain, with four extra latch inputs.
    static bool isBaseModule(const MODULE_ID& id);
    /// Identity 0: a module answering from its bootloader only.
    static bool isBootloaderModule(const MODULE_ID& id);
    /// The project version ("2.3.0"); a constant text owned by the library, not to be written.
    static char* getLibraryVersion();

    /// @}

    /// @name Lifecycle
    /// @{

    /// As initializeModule for a module that may run only its bootloader
    /// (identity 0): connects with the option false and reads the
    /// configuration, but no module type (identity, number, type byte and
    /// channel count keep their values), and the module data is not marked
    /// initialised.
    virtual ZelResults initializeFirmware(const char* ip);
    /// Connects to the module at ip and reads its identity and configuration:
    /// stores ip, aims the socket (code 12 when it cannot), sends the connect
    /// command with connectOption (its failure returned as it came), copies
    /// the connect record, marks the communication initialised, reads the
    /// module type (its failure returned; the flag stays set; a 6-channel
    /// module is stored with 4) and the configuration (its result ignored).
    /// Code 32 for a null ip. The module kinds override it and mark their own
    /// data initialised on success.
    virtual ZelResults initializeModule(const char* ip, bool connectOption);

    /// A copy of the identity and network record.
    ModuleData getModuleData();
    /// The channel count read at initialisation (0 before).
    unsigned short getNumChannels();
    /// Loads a bootloader or firmware image file into the module through its
    /// engine (see ZelProgramming::program); the module must have been
    /// initialised. Code 32 for a null file, 43 while the module uses DHCP
    /// (nothing sent), 28 without an engine; on a failure the engine's state
    /// becomes PROGRAMMING_FAILED.
    ZelResults program(const char* file, bool isBootloader);
    /// The owned programming engine; null when it could not be created.
    ZelProgramming* getProgramming();
    /// The engine's progress (0.0 without an engine) and state
    /// (PROGRAMMING_FAILED without an engine).
    double getProgrammingPercentComplete();
    /// @copydoc getProgrammingPercentComplete
    PROGRAMMING_STATE_ENUMS getProgrammingState();

    /// @}

    /// @name Configuration and neighbour commands
    /// @{

    /// Command 10. Pointers first (32), then the flag (20). Answer count 0:
    /// code 5, other than 4: code 6. A parameter length below 10 gives 0 in
    /// all four outputs. The number is then replaced by the hardware number
    /// of FRAM field 1 when that text is 4 to 31 characters long. Code 0.
    ZelResults getModuleType(MODULE_ID* id, unsigned long* number, unsigned char* typeByte,
                             unsigned short* channels);
    /// Command 7. ip gets the module's address (room for 18 bytes), *dhcp its
    /// DHCP flag; with 3 or more parameters the bootloader version and with 4
    /// or more the firmware version (room for 32 bytes each) as
    /// "major.minor.patch", with " Beta n" or " RC n" for release kinds 5 and
    /// 6, or the module's own text. Both versions are also kept in the module
    /// data; fewer parameters leave them as they were.
    ZelResults getConfig(char* ip, bool* dhcp, char* bootloaderVersion, char* firmwareVersion);
    /// Command 13 reading the asynchronous port (1000 ms, 3 retries). Only
    /// the pointer is tested. Answer 17 (the module has none) gives port 0
    /// and code 0; another type gives port 0 and code 4.
    ZelResults getAsyncPort(unsigned short* port);
    /// Command 25: the module sends latch and channel-status messages to its
    /// asynchronous port while enabled.
    ZelResults setAsyncMode(bool enable);
    /// Command 8: the module's address and its left input. Answer count 0:
    /// code 5, other than 5: code 6, length below 8: code 8.
    ZelResults getLeft(LeftData* left);
    /// Command 9: switches the module's right output.
    ZelResults setRight(bool on);
    /// Command 3: resets the module's bus.
    ZelResults resetZelbus();

    /// @}

    /// @name Common commands
    /// @{

    /// Command 1 (option 0 or 1, any other sent as 0): copies min(n, counts
    /// in the answer) raw 32-bit counts. An answer of 6 entries counts as 4.
    ZelResults getCounts(unsigned long* counts, unsigned short n, COUNT_REQUEST_OPTION option);
    /// Command 22 reading the latch states. With n >= 5: latch[0] is the
    /// module's own latch; latch[1..4] are the base module's extra inputs, 0
    /// on other modules. With n < 5 nothing is written.
    ZelResults getLatch(unsigned char* latch, unsigned short n);
    /// Command 22 with [option, choice]; LATCH_SET with a choice above 4 is
    /// code 33 and sends nothing.
    ZelResults setLatch(LATCH_OPTIONS option, LATCH_CHOICE choice);
    /// Command 23: five big-endian 16-bit ADC words when n >= 5.
    ZelResults getAdcValues(short* values, unsigned short n);
    /// Command 26: the error word, and with n >= 14 the 14 measured values
    /// (the first ten reported in thousandths, the last four in tenths).
    ZelResults getIntegrity(unsigned long* errors, double* values, unsigned short n);
    /// Command 26 with option 1: clears the integrity error word.
    ZelResults clearIntegrityErrors();
    /// Command 26 with option 2: clears every error the module holds.
    ZelResults clearAllErrors();
    /// Command 31 with the mode as one byte.
    ZelResults enableDiags(DIAG_MODE_OPTIONS mode);

    /// Decodes the counts of a command-1 answer into response->counts: one
    /// entry per parameter (6 counts as 4, at most 8), each the first four of
    /// the channel's eight bytes, little-endian.
    static void convertCountsCommand(ZelbusResponse* response);

    /// Per-channel rotary format and device offset (channels 0 to 7; others
    /// are ignored, and read as ROTARY_FORMAT_NONE and 0.0).
    void setRotaryFormat(const unsigned short& channel, const ROTARY_FORMAT& format);
    /// The format set for the channel (ROTARY_FORMAT_NONE outside 0 to 7).
    ROTARY_FORMAT getRotaryFormat(const unsigned short& channel);
    /// Offset added to the channel's positions, in the channel's unit.
    void setDeviceOffset(const unsigned short& channel, const double& offset);
    /// The channel's device offset (0.0 outside 0 to 7).
    double getDeviceOffset(const unsigned short& channel);
    /// Folds an incremental angle in degrees by format. Formats 1 and 3 first
    /// add the wraps of the module's 32-bit counter (each wrap spans
    /// 2^32 - 1 counts) less the wrap correction; formats 4 and above leave
    /// the angle unchanged.
    static void foldIncrementalAngle(double* degrees, const double* countsPerRevolution,
                                     const int* wrapCount, const double* wrapCorrection,
                                     const ROTARY_FORMAT* format);

    /// @}

    /// @name What a chain sampler uses to read many modules at once (internal)
    /// @{

    /// True once initialisation connected to the module.
    bool isCommInitialized() const { return commInitialized; }
    /// The request of command 1: option byte 1 for COUNT_REQUEST_ALTERNATE,
    /// else 0.
    ZEL_INTERNAL static ZelRequest countsRequest(COUNT_REQUEST_OPTION option);
    /// The checks of the module commands' exchange on an answer: from the
    /// stored module address (26) and of the command's type (4).
    ZEL_INTERNAL ZelResults checkAnswer(UdpCmdType command, const ZelbusResponse* response);
    /// getCounts's decoding applied to a checked answer to command 1.
    ZEL_INTERNAL ZelResults countsFromAnswer(ZelbusResponse& response, unsigned long* counts,
                                             unsigned short n);
    /// @}

  protected:
    /// True once the kind's own initialisation succeeded.
    bool isModuleDataInitialized() const { return moduleDataInitialized; }
    /// Marks the kind's data initialised (non-zero) or not.
    void setModuleDataInitialized(unsigned char value) { moduleDataInitialized = value != 0; }
    /// Replaces the stored channel count.
    void setNumChannels(unsigned short channels) { moduleData.numChannels = channels; }

    /// The module commands' exchange: writes the header, sends with the
    /// object's settings, then requires the answer to come from the stored
    /// module address (code 26) and to be of the command's type (code 4).
    /// The first overload builds a request without parameter bytes; the
    /// second takes a zero-filled 262-byte request with its parameters.
    ZEL_INTERNAL ZelResults getUdpData(UdpCmdType command, unsigned char paramCount,
                                       unsigned char paramLength, ZelbusResponse* response);
    /// The same with a request whose parameters the caller wrote.
    ZEL_INTERNAL ZelResults getUdpData(unsigned char* request, UdpCmdType command,
                                       unsigned char paramCount, unsigned char paramLength,
                                       ZelbusResponse* response);
    /// The same with a built request (its command is the answer type
    /// required); code 33 for a request its builder refused.
    ZEL_INTERNAL ZelResults getUdpData(const ZelRequest& request, ZelbusResponse* response);

    /// Command 1, the read of counts and values, with the option byte (0 or
    /// 1; any other option is sent as 0).
    ZEL_INTERNAL ZelResults readValues(COUNT_REQUEST_OPTION option, ZelbusResponse* response);

  private:
    /// Copies the connect record's fields into the module data.
    ZEL_INTERNAL void storeConnectRecord(const ZELBUSConnectResponse& record);
    /// A plain exchange (object settings) whose answer must be of the
    /// request's command; its own results carry the caller's method and line.
    ZEL_INTERNAL ZelResults exchangeExpecting(const ZelRequest& request, ZelbusResponse* response,
                                              const char* method, int line = __builtin_LINE());

    bool commInitialized;
    bool moduleDataInitialized;
    std::unique_ptr<ZelProgramming> programming;
    ModuleData moduleData;
    ROTARY_FORMAT rotaryFormat[ZEL_CHANNEL_CAPACITY];
    double deviceOffset[ZEL_CHANNEL_CAPACITY];
};

/// @}

#endif  // ZEL_ZEL_MODULE_H
