// The module simulator: a segment of simulated modules on one loopback
// subnet 127.N.0.0/16. Each module is a real UDP endpoint on its own address
// (127.N.0.x) and port 27015, answering command frames from a handler table;
// one extra socket on 127.N.255.255:27015 receives the discovery broadcasts
// and hands them to every module. One thread serves all sockets.
//
// Tests arm faults per module and command and read the log of every request
// a module received, so they can assert what went on the wire.
#ifndef ZEL_SIM_SEGMENT_H
#define ZEL_SIM_SEGMENT_H

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/pcap_writer.h"

namespace zelsim {

using Bytes = std::vector<unsigned char>;

// A version as the configuration answer carries it: three numbers, a
// release kind (5 beta, 6 release candidate, others a release) and a build.
struct Version {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint8_t patch = 0;
    std::uint8_t release = 0;
    std::uint8_t build = 0;
};

// One measuring axis: a count that is `count` when set and then moves by
// `countsPerSecond`. The encoder kinds report it in their own formats (a
// 32-bit counter with wrap counts, an absolute value with revolutions).
struct Axis {
    std::int64_t count = 0;
    double countsPerSecond = 0.0;
    long long setAtUs = 0;
    void set(std::int64_t value, double perSecond = 0.0);
    std::int64_t now() const;
};

// An absolute Kalix encoder on one channel.
struct KalixEncoder {
    bool present = false;
    bool rotary = false;
    bool inverted = false;
    std::uint32_t measuringStep = 1;  // rotary: counts per turn; linear: nm per count
    std::uint16_t revolutions = 0;    // turns told apart (1 single-turn; 0 reads as 1)
    std::uint8_t positionBits = 0;    // width of a rotary value
    std::string name = "KX";
    std::string id = "KX-0";
    std::string serial = "0";
    std::uint32_t infoA = 0;
    std::uint32_t infoB = 0;
    std::array<std::uint8_t, 7> errors{};
    std::array<std::uint8_t, 5> warnings{};
    std::array<std::uint8_t, 9> diag{};
};

// Settings and referencing of an incremental (1 Vpp or TTL) channel.
struct IncrementalChannel {
    std::uint8_t signalType = 0;
    std::uint8_t detectedSignalType = 0;  // what detection finds
    bool analogDiag = false;
    std::array<std::uint16_t, 2> diagWords{2048, 2048};
    std::uint8_t presence = 1;
    std::uint8_t direction = 0;  // 1: the module counts the axis backwards
    std::uint16_t interpolation = 1;
    // Referencing: a start makes the state 1; after `referencePolls` polls
    // of completion it is complete with state 2; an acknowledge ends it.
    std::uint8_t markKind = 0;
    std::uint16_t markParameter = 0;
    int referencePolls = 2;
    int pollsLeft = -1;
    bool referenced = false;
    bool acknowledged = false;
    std::uint16_t referenceState = 0;
};

// LVDT probes and their shared excitation.
struct LvdtState {
    std::array<std::int32_t, 8> readings{};    // signed 24-bit readings
    std::array<std::int16_t, 8> millivolts{};  // demodulated voltages
    std::uint16_t excitationMillivolts = 2500;
    std::uint16_t dividerByte = 49;   // divider - 1 as the host sent it
    std::uint16_t prescalerByte = 9;  // prescaler - 1
    std::array<std::uint8_t, 8> presence{1, 1, 1, 1, 1, 1, 1, 1};
    std::array<std::uint8_t, 8> gain{};
    std::uint8_t taughtGain = 7;  // what teaching finds
    std::array<int, 8> teachPollsLeft{};
    std::uint8_t diagnostics = 0;
    std::uint8_t oversampling = 0;
    std::uint16_t fpgaRevision = 512;
};

// Two analog inputs: voltage and current words, samples, diagnostic words.
struct AnalogState {
    std::array<std::uint16_t, 4> words{2500, 0, 2500,
                                       0};  // voltage 0, current 0, voltage 1, current 1
    std::array<std::uint8_t, 2> samples{};
    std::array<std::uint16_t, 12> diag{};
    void setVolts(int channel, double volts);
    void setMilliamps(int channel, double milliamps);
};

// The bootloader side of a module: program-init choices, the data lines
// it received (each S-record's own checksum verified), and how long it
// stays silent after a reset and after a finished transfer.
struct ProgrammingState {
    int rebootMs = 0;           // silence after a reset (0: answers at once)
    int returnMs = 300;         // silence after a finished transfer
    bool neverReturns = false;  // after the finish the module stays silent
    // A reset outside a transfer takes a module that runs only its
    // bootloader back to its firmware; false: its firmware is missing or
    // broken and it stays in its bootloader (until an update succeeds).
    bool firmwareStarts = true;
    int rejectLine = -1;  // this data line (from 0) is answered with type 17
    long long silentUntilUs = 0;
    bool active = false;       // a program-init came, no finish yet
    std::vector<int> choices;  // program-init choices, in order
    std::vector<std::uint32_t> checksums;
    std::vector<std::string> lines;  // data lines accepted, line ends removed
    int badRecords = 0;              // lines refused for their S-record checksum
    std::uint32_t dataSum = 0;       // sum of the data bytes of S1 to S3 records
    std::string imageVersion;        // from the S0 record of the image
    int finishes = 0;
    int reinstalls = 0;
};

// What one simulated module knows about itself.
struct ModuleState {
    std::string address;                // dotted, 127.N.a.b; a new static address moves it
    std::uint32_t moduleId = 58031301;  // TTL base module by default
    std::uint32_t moduleNumber = 1;
    std::uint8_t typeByte = 0;
    // As the module-type answer reports it; a TTL module's follows its
    // identity when the module is added.
    std::uint8_t numChannels = 2;
    std::array<std::uint8_t, 6> mac{0x00, 0x1A, 0x2B, 0x00, 0x00, 0x01};
    std::string serial = "AB123456";  // eight characters
    bool dhcp = false;
    std::string netmask = "255.255.0.0";
    char revision = 'A';
    Version bootloaderVersion{1, 2, 0, 0, 0};
    Version firmwareVersion{2, 3, 1, 0, 0};
    // Sent instead of the firmware numbers when not empty.
    std::string firmwareText;
    // Only the bootloader runs: the module reports identity 0 and its
    // configuration answer carries no firmware version.
    bool bootloaderOnly = false;
    bool connectFlag = false;  // the module the host is plugged into
    bool rightOutput = false;
    bool leftInput = false;
    // Faults of the neighbour wiring: a left input that never rises, and
    // one that reads high for this many more reads whatever the neighbour does.
    bool leftInputDead = false;
    int leftHighReads = 0;
    std::uint16_t asyncPort = 0;
    bool asyncMode = false;
    // With asynchronous mode on, the module sends its latch message and one
    // channel-status message per channel on its own every this many
    // milliseconds (0: only when a latch or a channel status changes).
    int asyncPeriodMs = 0;
    // The static address and netmask the module keeps for when DHCP is off;
    // a new module gets ones that differ from its current address
    // (127.N.200.H) and netmask (255.255.255.0), as on a module whose
    // address a DHCP server gave.
    std::string ipStatic;
    std::string netmaskStatic;
    // Requests refused for a parameter count or length that does not match
    // the command (left unanswered, as a module does).
    int refusedRequests = 0;
    // Non-volatile fields as stored bytes; a read of a field not here is
    // answered with type 17. Fields 1 and 2 are filled from the identity
    // (as ID text and as number), 3 from the MAC and 4 from the serial when
    // the module is added, unless set already.
    std::map<int, Bytes> fram;

    // Measuring state of the common commands.
    std::array<Axis, 8> axes{};           // what each channel measures
    std::array<std::uint8_t, 5> latch{};  // own latch, then the base module's four
    std::array<std::int16_t, 5> adc{};
    std::uint32_t integrityErrors = 0;
    std::array<std::int32_t, 14> integrity{};  // raw values as sent
    std::uint8_t diagMode = 0;
    std::array<std::uint8_t, 8> channelStatus{};  // status byte per channel
    std::array<bool, 8> errorChecking{};
    std::array<std::uint16_t, 8> debounceTime{};
    int latchOption = -1;  // last latch command other than a read
    int latchChoice = -1;
    int resets = 0;  // resets of the bus (command 3)

    // Kind state; each kind uses its own part.
    std::array<KalixEncoder, 8> kalix{};
    std::array<IncrementalChannel, 8> incremental{};
    std::uint16_t fpgaRevision = 512;  // TTL modules
    LvdtState lvdt;
    AnalogState analog;
    std::uint8_t inputs = 0;   // digital inputs, bit 0 = input 1
    std::uint8_t outputs = 0;  // outputs; bit 3 is the valve
    ProgrammingState programming;
};

// Faults armed for one command code of one module.
struct Fault {
    int drop = 0;                    // answer nothing to the next `drop` requests (-1: always)
    int delayMs = 0;                 // send the answer this late
    int delayUs = 0;                 // ... and this many microseconds more (a slow link)
    bool duplicate = false;          // send the answer twice
    int duplicateGapUs = 0;          // the copy this long after the answer
    int duplicateEvery = 0;          // only every n-th answer twice (0 or 1: every one)
    std::optional<int> type;         // answer with this type instead
    std::optional<int> paramCount;   // overwrite byte 1
    std::optional<int> paramLength;  // overwrite byte 2
    int oversize = 0;                // pad the answer to this many bytes
    int unsolicited = 0;             // send this many stray datagrams before the answer
    int stopAfter = -1;              // answer this many more requests, then none (-1: no limit)
    int truncate = -1;               // cut the answer to this many bytes (-1: whole)
    // Send this many answers of another sender (127.N.254.1:27015, its
    // parameter bytes inverted) just before the module's own.
    int foreign = 0;
    // Only every n-th request gets the fault; the others are answered
    // normally (0 or 1: every one). Counts the requests of this command.
    int every = 0;
    int seen = 0;
};

struct Request {
    long long timeUs;  // monotonic
    Bytes bytes;
    bool broadcast;  // received on the subnet's broadcast address
};

// An answer to a request, or none.
using Handler = std::function<std::optional<Bytes>(ModuleState&, const Bytes& request)>;
// Looks at every well-formed request before its handler, with the sender's
// address and port (host order): false leaves the request unanswered.
using Gate = std::function<bool(ModuleState&, const Bytes& request, std::uint32_t fromIp,
                                std::uint16_t fromPort)>;

// The common commands every module answers.
std::map<int, Handler> commonHandlers();
// Adds or wraps the entries of the kind the identity names (its row in
// sim_kinds.h); commands a kind extends fall back to the common entry for
// the sub-operations it does not know.
void addKindHandlers(std::uint32_t moduleId, std::map<int, Handler>& handlers);
// The channel count a module of this identity reports: its model's when
// its kind's hardware fixes it (TTL: 4113 and 4114 four, 4115 eight), else
// as given.
int channelsOfIdentity(std::uint32_t moduleId, int reported);
// Program init (28), data lines (29), finish (30), firmware reinstall (6)
// and the reset that reboots a module (3).
void addProgrammingHandlers(std::map<int, Handler>& handlers);
// The microseconds of the simulator's clock.
long long nowUs();

// A frame [type, count, length, params...].
Bytes frame(int type, std::uint8_t count, const Bytes& params);
// The messages a module sends on its own in asynchronous mode: its latch
// states (type 22), and a channel's status (type 33, the channel as a digit).
// Whether a request's datagram is as long as its header says and carries
// the parameter count and length its command has. Commands the module does
// not know pass (they get the negative answer).
bool wellFormedRequest(const Bytes& request);
Bytes latchMessage(const ModuleState& state);
Bytes channelStatusMessage(int channel, std::uint8_t status);

class Segment {
  public:
    // subnet 0: the first free subnet from 2 on (holding a subnet's
    // broadcast address is the lock that keeps parallel tests apart).
    explicit Segment(int subnet = 0);
    ~Segment();
    Segment(const Segment&) = delete;
    Segment& operator=(const Segment&) = delete;

    // Adds a module at 127.N.0.host to the right of those added before: the
    // order of addModule is the physical order of the chain, whatever the
    // addresses. Call before start().
    ModuleState& addModule(int host, ModuleState state = {});
    // Binds every socket, then serves them from a thread. False when a
    // socket cannot be bound. Stop with stop() or the destructor.
    bool start();
    void stop();
    // Keeps the serving thread on this processor (call before start()), as a
    // module answers on a processor of its own, never on the host's.
    void setServingCpu(int cpu) { servingCpu_ = cpu; }
    // Runs the serving thread under real-time scheduling at this priority
    // (call before start()) where the system permits, as a module's own
    // processor serves nothing else; servingRealtime() tells whether it did.
    void setServingRealtime(int priority) { servingPriority_ = priority; }
    bool servingRealtime() const { return servingRealtime_; }
    // After start(): the system would not keep the serving thread on that
    // processor (a cpuset without it, say), so it runs wherever it is put.
    bool servingCpuRefused() const { return servingCpuRefused_; }

    int subnet() const { return subnet_; }
    std::string hostAddress() const;       // 127.N.0.1, for the host side
    std::string broadcastAddress() const;  // 127.N.255.255
    std::string foreignAddress() const;    // 127.N.254.1, the other sender of foreign answers
    static constexpr const char* kNetmask = "255.255.0.0";

    // Writes every datagram the modules receive and send (foreign answers
    // included) to a pcap file from now on. False when it cannot be created.
    bool capture(const std::string& pcapFile);

    void setFault(std::size_t module, int command, const Fault& fault);
    void setHandler(std::size_t module, int command, Handler handler);
    // The module's gate (see Gate); an empty one lets every request through.
    void setGate(std::size_t module, Gate gate);
    // The requests a module received, oldest first: the last kRequestLog of
    // them, so that a simulator serving a host for days keeps its size.
    std::vector<Request> requests(std::size_t module) const;
    static constexpr std::size_t kRequestLog = 10000;
    // Datagrams a module has sent so far (answers, duplicates, stray ones).
    // Loopback queues a datagram at the receiver when it is sent, so a test
    // that waits for this count knows the datagram is waiting at the host.
    std::size_t sent(std::size_t module) const;
    // Waits until sent(module) reaches `count`; false after `timeoutMs`.
    bool waitForSent(std::size_t module, std::size_t count, int timeoutMs = 2000) const;
    void clearRequests(std::size_t module);
    // Sends a message of the module's own to its asynchronous port at the
    // address that last sent it a command. False when asynchronous mode is
    // off, no port is set or no host has spoken to the module yet.
    bool sendAsync(std::size_t module, const Bytes& message);
    // Runs `f` on a module's state under the segment's lock.
    void withState(std::size_t module, const std::function<void(ModuleState&)>& f);
    // The fault armed on a module's command as it stands; false for none.
    bool fault(std::size_t module, int command, Fault* out) const;
    // Clears every fault armed on the module (or only the one of `command`).
    void clearFaults(std::size_t module, int command = -1);

    // How a module comes back from a power cycle.
    enum class Restart {
        Firmware,        // running its firmware, as after any power cycle
        Bootloader,      // running only its bootloader; a reset starts its firmware
        BrokenFirmware,  // only its bootloader, and a reset leaves it there
    };
    // A power cycle: the settings the module keeps while powered (channel
    // settings, asynchronous port and mode, outputs, latch and referencing
    // state) go back to a new module's defaults, what it keeps in its
    // non-volatile memory (identity, network settings, FRAM fields) stays,
    // answers it still owed are lost, and it hears nothing for `silentMs`.
    // A module whose firmware does not start comes back in its bootloader
    // whatever `into` says.
    void restartModule(std::size_t module, int silentMs, Restart into = Restart::Firmware);
    // A pulled cable: from now on the module hears and sends nothing, and
    // keeps every setting, for `ms` milliseconds (negative: until
    // plugModule). Answers it still owed are lost.
    void unplugModule(std::size_t module, int ms);
    // The cable back in; the module hears its next request.
    void plugModule(std::size_t module);
    // Modules added so far.
    std::size_t moduleCount() const { return modules_.size(); }

  private:
    struct Module;
    struct Pending;
    void send(Module& m, const Bytes& bytes, std::uint32_t ip, std::uint16_t port);
    void sendFrom(Module& m, bool foreign, const Bytes& bytes, std::uint32_t ip,
                  std::uint16_t port);
    // Moves a module's socket to the address in its state (after a new
    // static address); it stays where it was when the new one cannot be bound.
    void rebind(Module& m);
    // Command 34: network settings, FRAM fields and the asynchronous port as
    // the module had them when the segment started.
    void restoreFactoryDefaults(Module& m);
    // Asynchronous messages: those of a latch or channel status that changed
    // since the last look, and those due on the module's period (returns
    // when the next is due, 0 for none).
    bool asyncReady(const Module& m) const;
    void sendChanges(Module& m);
    long long sendPeriodic(Module& m, long long nowUs);
    void serve();
    bool unplugged(const Module& m, long long nowUs) const;
    void dropPending(const Module& m);
    void handle(Module& m, const Bytes& request, std::uint32_t fromIp, std::uint16_t fromPort,
                bool broadcast);
    void answer(Module& m, const Bytes& request, std::uint32_t fromIp, std::uint16_t fromPort,
                bool broadcast);

    zel::platform::PcapWriter pcap_;
    int subnet_;
    std::intptr_t broadcastSocket_;
    std::intptr_t wakeSocket_;
    std::intptr_t foreignSocket_;
    std::uint16_t wakePort_ = 0;
    std::vector<std::unique_ptr<Module>> modules_;
    std::vector<Pending> pending_;
    mutable std::mutex mutex_;
    std::thread thread_;
    bool running_ = false;
    bool stopping_ = false;
    int servingCpu_ = -1;
    bool servingCpuRefused_ = false;
    int servingPriority_ = 0;
    bool servingRealtime_ = false;
};

}  // namespace zelsim

#endif  // ZEL_SIM_SEGMENT_H
