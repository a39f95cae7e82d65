/// @file
/// ZelStation: a gauging station run from its configuration file. The file
/// lists every module in physical order with its address, identity, serial
/// number, firmware version and label, and under each module its channels
/// with their settings. A station
///  - loads and checks the file (no network);
///  - opens the chain it describes: each module is reached at the file's
///    address directly, as an object of the kind its ModuleId names (no
///    discovery broadcast, no ordering walk, no probe object), or, when
///    asked, the chain is discovered and ordered first and matched to the
///    file;
///  - reports every way the installed chain differs from the file as data
///    (missing, extra, swapped, other model, other serial number, other
///    firmware, another position);
///  - applies each channel's settings from the file to its module object,
///    and the settings a module keeps itself to the module, so readings come
///    in the file's units; a value that cannot be applied is refused, naming
///    the element, the module and the channel;
///  - reads every channel by its label, and snapshots the whole station
///    through a ZelChainSampler;
///  - writes a configuration file from a discovered, ordered chain.
///
/// Module positions here are positions in the file, counted from 0 (the
/// file's module number minus 1); channels are counted from 0. A station is
/// used by one thread at a time; open() may run a few module
/// initialisations on threads of its own and joins them before it returns.
#ifndef ZEL_ZEL_STATION_H
#define ZEL_ZEL_STATION_H

/// @addtogroup station
/// @{

#include <memory>
#include <string>
#include <vector>

#include "chain/zel_chain_sampler.h"
#include "chain/zel_interface.h"
#include "foundation/zel_results.h"
#include "modules/zel_module.h"
#include "station/zel_station_export.h"

/// Outcome codes of the station. Codes 1 to 43 are the library's own
/// response codes, handed up from the module operation that failed (its
/// method and line stay in ZelStationStatus::lower); the station's own
/// codes start at 100 so the two never meet.
enum ZEL_STATION_CODE : int {
    ZEL_STATION_OK = 0,
    ZEL_STATION_FILE_INVALID = 100,     ///< the file cannot be read or fails its check
    ZEL_STATION_VALUE_REFUSED = 101,    ///< a file value cannot be applied
    ZEL_STATION_CHAIN_DIFFERS = 102,    ///< opened, but the chain differs from the file
    ZEL_STATION_NOT_OPEN = 103,         ///< no file loaded, or the station is not open
    ZEL_STATION_NO_SUCH_CHANNEL = 104,  ///< no module, channel or label of that name
    ZEL_STATION_BAD_ARGUMENT = 105,     ///< a null pointer or a value out of range
    ZEL_STATION_WRITE_FAILED = 106,     ///< a file could not be written; the old one stands
};

/// Capacity of ZelStationStatus::message, terminator included.
constexpr unsigned ZEL_STATION_MESSAGE_CAPACITY = 256;
/// Capacity of the label and identity texts of the station's records.
constexpr unsigned ZEL_STATION_TEXT_CAPACITY = 64;

/// The outcome of a station operation: a code, a sentence naming what it was
/// about, and for codes 1 to 43 the library's result behind it.
struct ZEL_STATION_API ZelStationStatus {
    ZEL_STATION_CODE code = ZEL_STATION_OK;
    ZelResults lower;  ///< the module operation's result behind codes 1 to 43
    /// What a refused or invalid value was: its element (ZEL_XML_ELEMENTS
    /// value), module position and channel from 0; -1 where none applies.
    int element = -1;
    int position = -1;
    int channel = -1;
    char message[ZEL_STATION_MESSAGE_CAPACITY] = {};
    bool ok() const { return code == ZEL_STATION_OK; }
};

/// How ZelStation::open reaches the modules.
enum ZEL_STATION_OPEN_MODE : int {
    /// Each module at the file's address, as the kind its ModuleId names.
    ZEL_STATION_OPEN_DIRECT = 0,
    /// The chain is discovered and ordered first, then matched to the file.
    ZEL_STATION_OPEN_DISCOVER = 1,
};

/// Options of ZelStation::open. The host address, port and netmask are used
/// by the discovering mode only.
struct ZelStationOptions {
    ZEL_STATION_OPEN_MODE mode = ZEL_STATION_OPEN_DIRECT;
    const char* localIp = nullptr;           ///< discovering mode: the host's address
    unsigned short localPort = 0;            ///< discovering mode: the host's port (0: any)
    const char* broadcastNetmask = nullptr;  ///< discovering mode: the segment's netmask
    bool connectOption = false;              ///< the connect command's option byte
    /// Apply the file's channel settings (true), or only connect and verify.
    bool applySettings = true;
    /// Module initialisations run at once in the direct mode (1 to 16).
    unsigned parallel = 8;
    /// Answer time-out (ms) and retries given to every module object before
    /// its first contact; negative keeps the library's defaults.
    long timeoutMs = -1;
    short retries = -1;
};

/// One way the installed chain differs from the file.
enum ZEL_STATION_DIFFERENCE : int {
    ZEL_STATION_MISSING = 1,           ///< a module of the file did not answer
    ZEL_STATION_EXTRA = 2,             ///< a module of the chain is not in the file
    ZEL_STATION_SWAPPED = 3,           ///< two modules stand at each other's places
    ZEL_STATION_OTHER_MODEL = 4,       ///< another identity than the file's ModuleId
    ZEL_STATION_OTHER_SERIAL = 5,      ///< another serial number
    ZEL_STATION_OTHER_FIRMWARE = 6,    ///< another firmware version
    ZEL_STATION_POSITION_DIFFERS = 7,  ///< found at another chain position
};

/// One difference with where it was seen. For a swap the positions are the
/// file positions of the two modules; for the others filePosition is the
/// module in the file (-1 for an extra module) and chainPosition where the
/// chain has it (-1 for a missing module; in the direct mode the file
/// position, since the chain is taken in the file's order).
struct ZelStationDifference {
    ZEL_STATION_DIFFERENCE kind = ZEL_STATION_MISSING;
    short filePosition = -1;
    short chainPosition = -1;
    char address[ZEL_IP_TEXT_CAPACITY] = {};        ///< the module's address
    char expected[ZEL_STATION_TEXT_CAPACITY] = {};  ///< what the file says
    char found[ZEL_STATION_TEXT_CAPACITY] = {};     ///< what the module says
};

/// One channel reading with the file's label and unit.
struct ZelStationReading {
    unsigned short position = 0;                       ///< module position in the file
    unsigned short channel = 0;                        ///< from 0
    char moduleLabel[ZEL_STATION_TEXT_CAPACITY] = {};  ///< the module's Label
    char label[ZEL_STATION_TEXT_CAPACITY] = {};        ///< the channel's ChannelLabel
    char unit[8] = {};  ///< "mm", "in", "deg", "counts", "um", "V" or "mA"
    double value = 0.0;
    /// The file's DisplayResolution (0: none given); a value is shown to
    /// this step. The value itself is not rounded.
    double displayResolution = 0.0;
    ZelResults result;  ///< the module's outcome in this reading
};

/// What the file says about one module.
struct ZelStationModule {
    MODULE_ID moduleId = MODULE_ID_NONE;
    char label[ZEL_STATION_TEXT_CAPACITY] = {};
    char model[ZEL_STATION_TEXT_CAPACITY] = {};
    char serialNumber[ZEL_STATION_TEXT_CAPACITY] = {};
    char firmwareVersion[ZEL_STATION_TEXT_CAPACITY] = {};
    char address[ZEL_IP_TEXT_CAPACITY] = {};  ///< where open() reaches it
    unsigned short numChannels = 0;           ///< Channel elements in the file
};

/// A station run from its configuration file; see the file's description.
class ZEL_STATION_API ZelStation {
  public:
    ZelStation();
    ~ZelStation();
    ZelStation(const ZelStation&) = delete;
    ZelStation& operator=(const ZelStation&) = delete;

    /// Reads and checks the file and takes every module's description and
    /// channel settings from it; no network. A file that cannot be read or
    /// fails the document check gives ZEL_STATION_FILE_INVALID naming the
    /// element, module and channel; a value that cannot be applied gives
    /// ZEL_STATION_VALUE_REFUSED the same way. On failure the station keeps
    /// nothing of the file. Closes an open station first.
    ZelStationStatus load(const char* path);
    /// Reaches the module at `position` at another address than the file's
    /// (a simulated chain, a test bench). Before open() only.
    ZelStationStatus setModuleAddress(unsigned short position, const char* ip);

    /// Opens the loaded chain (see ZelStationOptions) and verifies it:
    /// ZEL_STATION_OK when the chain agrees with the file,
    /// ZEL_STATION_CHAIN_DIFFERS when it was opened but differs (the
    /// differences() say how; the modules found are usable and have their
    /// settings), or the code of what kept it from opening (the station then
    /// stays closed). A module that cannot take its settings gives the
    /// module operation's code, naming the element, module and channel.
    ZelStationStatus open(const ZelStationOptions& options);
    /// load(path), then open(options).
    ZelStationStatus open(const char* path, const ZelStationOptions& options);
    /// Drops the module objects; the loaded file stays.
    void close();
    bool isOpen() const { return opened; }
    /// Open and no difference found.
    bool isVerified() const { return opened && report.empty(); }
    /// The differences of the last open(), in the order found.
    const std::vector<ZelStationDifference>& differences() const { return report; }

    /// Modules of the loaded file.
    unsigned short getNumModules() const;
    /// The file's description of a module; false past the end.
    bool getModuleInfo(unsigned short position, ZelStationModule* info) const;
    /// The module object at a file position; null past the end, before
    /// open() or when the module is missing. Owned by the station until
    /// close() or its destruction.
    ZelModule* getModule(unsigned short position);
    /// The label of a channel from the file (empty text past the end).
    std::string getChannelLabel(unsigned short position, unsigned short channel) const;
    /// The module position and channel of a channel label (first match in
    /// file order; the text "POS.CH" names a channel by numbers as well).
    ZelStationStatus findChannel(const char* label, unsigned short* position,
                                 unsigned short* channel) const;

    /// One snapshot of every measuring channel of the station, in file order,
    /// through the station's sampler. ZEL_STATION_OK when every module
    /// answered; otherwise the first failure, the other readings still valid.
    ZelStationStatus read(std::vector<ZelStationReading>& readings);
    /// One channel by its label (see findChannel), through a snapshot of its module.
    ZelStationStatus readLabel(const char* label, ZelStationReading* reading);
    /// The sampler over the station's measuring modules; its positions are
    /// file positions. Null before open().
    ZelChainSampler* getSampler();

    /// Writes a configuration file that describes an ordered chain as it is
    /// (identity, serial numbers, versions, addresses, and per channel the
    /// settings its module object holds), with labels the host edits later.
    /// The file is written whole to a temporary file first and then replaces
    /// `path`, so a failure leaves the old file as it was.
    static ZelStationStatus capture(ZelInterface& chain, const char* path,
                                    const char* baseLabel = "Station");

    /// Applies the file's settings of the module at `position` again, to
    /// its object and to the module (after the module restarted and lost
    /// those it keeps), then reads back those a module reports (the presence
    /// of each TTL and LVDT channel, each LVDT probe's gain). ZEL_STATION_OK
    /// when every one holds; ZEL_STATION_VALUE_REFUSED naming the element
    /// and channel when one reads back otherwise; a module command's failure
    /// as open() reports it; ZEL_STATION_NOT_OPEN before open(),
    /// ZEL_STATION_NO_SUCH_CHANNEL past the end or for a missing module.
    ZelStationStatus reapplySettings(unsigned short position);

    /// What the station took from its file (opaque to hosts).
    struct Plan;

  private:
    struct Impl;
    ZelStationStatus openDirect(const ZelStationOptions& options);
    ZelStationStatus openDiscovered(const ZelStationOptions& options);
    ZelStationStatus applySettings();
    ZelStationStatus applyModuleSettings(std::size_t i);
    ZelStationStatus readBackSettings(std::size_t i);

    std::unique_ptr<Plan> plan;
    std::unique_ptr<Impl> impl;
    std::vector<ZelStationDifference> report;
    bool opened = false;
};

/// @}

#endif  // ZEL_ZEL_STATION_H
