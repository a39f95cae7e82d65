// zeltool: shared pieces of the command-line tool's subcommands.
#ifndef ZEL_TOOLS_ZELTOOL_H
#define ZEL_TOOLS_ZELTOOL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "station/zel_station.h"
#include "zellibrary.h"

namespace zeltool {

// Exit statuses, as docs/zeltool.md documents them.
enum Status : int {
    kOk = 0,
    kFailed = 1,        // a module or the network failed, or the user declined
    kUsage = 2,         // the command line is wrong
    kFileInvalid = 3,   // an image or configuration file is invalid
    kNotFound = 4,      // no module at the address or position
    kInterrupted = 130  // stopped by Ctrl-C
};

enum class Output { Text, Json, Csv };

struct Options {
    std::string localIp;  // empty: run against the embedded simulated chain
    bool localIpGiven = false;
    unsigned short port = 0;  // local port of discovery and chain creation
    std::string netmask = "255.255.255.0";
    long timeoutMs = -1;  // -1: the library's default
    short retries = -1;
    Output output = Output::Text;
    bool yes = false;
    bool watch = false;
    bool rateGiven = false;
    double rate = 2.0;     // samples per second with --watch
    long samples = 0;      // --count: stop after this many (0: until interrupted)
    double durationS = 0;  // acquire --duration: seconds (0: until interrupted)
    int simControl = -1;   // --sim-control: the embedded simulator's control port (-1: none)
    bool stopOnError = false;
    bool bootloader = false;  // program / image build: the bootloader image
    bool force = false;       // program: a file that fails the tool's check
    bool strict = false;      // config validate: values too
    std::string simulate;     // "default" or a configuration file
    std::string config;       // --config: the station's configuration file (no discovery)
    std::string pcap;         // --pcap: the capture file of the library's datagrams
    std::string record;       // acquire --record: the recording file
    unsigned long long rotateBytes = 0;  // acquire --rotate SIZE (0: none)
    long long rotateSeconds = 0;         // acquire --rotate DURATION (0: none)
    std::string from, to;  // recording export --from, --to: UTC or seconds from the start
    // The embedded simulated chain's subnet (127.N.0.0/16), 0 on a real network.
    int simulatedSubnet = 0;
    std::vector<std::string> args;  // the subcommand and its operands
    bool json() const { return output == Output::Json; }
    bool csv() const { return output == Output::Csv; }
};

// Error reporting: one line "zeltool: <text>" on stderr, or a JSON object
// {"error": ...} when the output is JSON. Each returns the status given.
int fail(const Options& options, int status, const std::string& text, const std::string& about = "",
         int code = -1, const char* method = nullptr);
// A library result: its message, code and method, about `about`.
int fail(const Options& options, int status, const ZelResults& result,
         const std::string& about = "");
// Prints the one-line usage error and the hint to the command's help (to
// the tool's own help when the first operand names no command).
int usage(const Options& options, const std::string& text);
// True when `name` is one of the tool's commands.
bool isCommand(const std::string& name);
// Asks on stderr and reads a line from stdin, unless --yes was given.
bool confirm(const Options& options, const std::string& question);

std::string jsonText(const std::string& text);
std::string csvText(const std::string& text);
// The library speaks Latin-1, the terminal UTF-8.
bool utf8ToLatin1(const std::string& utf8, std::string& latin1);
std::string latin1ToUtf8(const std::string& latin1);

// The kind of a module identity, as the tool names it; a module that
// answers only from its bootloader is named as such.
std::string kindName(const ModuleData& data);
const char* kindName(MODULE_ID id);
bool isMeasuring(MODULE_ID id);
// The object of the identity's kind (a plain ZelModule for power supplies).
std::unique_ptr<ZelModule> makeModule(MODULE_ID id);
void applyExchangeSettings(const Options& options, ZelModule& module);

// Checks of what the tool sends or writes, beyond the library's own.
// Four decimal numbers 0 to 255 joined by dots, nothing else.
bool isDottedQuad(const std::string& text);
std::uint32_t addressValue(const std::string& dottedQuad);  // host order
// Empty when the address may be a module's, else why not.
std::string moduleAddressProblem(const std::string& address, const std::string& netmask);
// Empty when the operand names a module: a dotted address or a chain
// position 0 to 63 ("all" too where allowed), else why not.
std::string targetProblem(const std::string& operand, bool allAllowed);
// Empty when the text is a netmask with contiguous ones, else why not.
std::string netmaskProblem(const std::string& netmask);
// Empty when the text is a version of three numbers ("2.4.0").
std::string versionProblem(const std::string& version);
// Empty when `value` fits the configuration element, else why not.
std::string elementValueProblem(ZEL_XML_ELEMENTS element, const std::string& value);

// The library's whole-file check of an image (its validation included).
using ImageProblem = ProgramFileProblem;
inline std::vector<ImageProblem> checkImageFile(const std::string& file, bool* bootloader) {
    std::vector<ImageProblem> problems;
    // Every failure is also one of the problems listed.
    (void)ZelProgramming::checkProgramFile(file.c_str(), bootloader, &problems);
    return problems;
}

// Ctrl-C handling: the count of interrupts so far (Ctrl-C, SIGTERM, and a
// closed terminal, SIGHUP, counted once), and whether the terminal closed.
void catchInterrupts();
int interrupts();
bool hangup();

// A module the tool works on: by address (probed for its identity, then
// opened as its kind), by position in the ordered chain, or with --config
// by position or label in the station the file describes.
struct Target {
    ZelInterface chain;
    std::unique_ptr<ZelModule> own;
    std::unique_ptr<ZelStation> station;
    ZelModule* module = nullptr;
    int position = -1;  // in the chain or the file; -1 when named by address
    int channel = -1;   // --config: the channel a channel label names
};
// Opens the operand as a Target; the process status.
int openTarget(const Options& options, const std::string& operand, Target& target);

// --config: opens the station the file describes, each module at the file's
// address (moved onto the simulated subnet when simulating); differences
// from the file are told on stderr. The process status.
int openStation(const Options& options, ZelStation& station);
// --config: the module (and channel, -1 for a whole module) an operand
// names: a position, a module label or a channel label.
int stationTarget(const Options& options, ZelStation& station, const std::string& operand,
                  Target& target);
// One line per difference, for people.
std::string differenceText(ZelStation& station, const ZelStationDifference& d);

// The monotonic clock, in microseconds.
long long nowUs();

// The rounds of a read: one, or with --watch one per period until --count
// is reached or Ctrl-C, with the failures summed up at the end. Rounds
// start on absolute deadlines (start + k periods); rounds a stall left no
// time for are skipped and reported, never made up in a burst.
class Watch {
  public:
    explicit Watch(const Options& options);
    // True while another round is due.
    bool more() const;
    // Seconds from the first round's start to a time of nowUs().
    double seconds(long long us) const;
    void failedAt(const std::string& about);
    // Ends a round; false after the only one, else waits until the next is due.
    bool next();
    // The status of the finished read, `readsPerRound` reads a round.
    int finish(long readsPerRound) const;

  private:
    const Options& options_;
    long wanted_;
    long long periodUs_;
    long long startUs_;
    long long slot_ = 0;
    long long skipped_ = 0;
    long long unreported_ = 0;
    long long lastReportUs_ = 0;
    long taken_ = 0;
    long failed_ = 0;
    std::string lastFailure_;
};

// The subcommands; each returns the process status.
int discover(const Options& options);
int chain(const Options& options);
int read(const Options& options);
int setIp(const Options& options);
int dhcp(const Options& options);
int asyncPort(const Options& options);
int factoryReset(const Options& options);
int program(const Options& options);
int image(const Options& options);
int config(const Options& options);
int readStation(const Options& options);    // read with --config
int configCheck(const Options& options);    // config check FILE
int configCapture(const Options& options);  // config capture FILE
int io(const Options& options);
int valve(const Options& options);
int latch(const Options& options);
int reference(const Options& options);
int diag(const Options& options);
int listen(const Options& options);
int acquire(const Options& options);
int recording(const Options& options);  // recording info FILE | export FILE
// Discovers and orders the chain as the chain commands do; the status of
// the failure, reported, or 0.
int openOrderedChain(const Options& options, ZelInterface& chain);
// Why a configuration file given to --simulate yields no chain: as `config`
// reports a file that does not load, else the simulator's `error`.
int simulationFileFailure(const Options& options, const std::string& file,
                          const std::string& error);

}  // namespace zeltool

#endif  // ZEL_TOOLS_ZELTOOL_H
