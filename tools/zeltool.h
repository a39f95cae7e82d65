// zeltool: shared pieces of the command-line tool's subcommands.
#ifndef ZEL_TOOLS_ZELTOOL_H
#define ZEL_TOOLS_ZELTOOL_H

#include <memory>
#include <string>
#include <vector>

#include "zellibrary.h"

namespace zeltool {

struct Options {
    std::string localIp;          // empty: run against the embedded simulated chain
    unsigned short port = 0;      // local port of discovery and chain creation
    std::string netmask = "255.255.255.0";
    long timeoutMs = -1;          // -1: the library's default
    short retries = -1;
    bool json = false;
    bool yes = false;
    bool watch = false;
    double rate = 2.0;            // samples per second with --watch
    long samples = 0;             // --count: stop after this many (0: until interrupted)
    bool bootloader = false;      // program: the file's bootloader image
    std::string simulate;         // "default" or a configuration file
    std::vector<std::string> args;  // the subcommand and its operands
};

// Prints "zeltool: [<context>: ]<message> (code N) in <method>" to stderr; returns 1.
int fail(const ZelResults& result, const std::string& context = "");
// Prints "zeltool: <text>" to stderr; returns the status.
int fail(const std::string& text, int status = 1);
// Asks on stderr and reads a line from stdin, unless --yes was given.
bool confirm(const Options& options, const std::string& question);
std::string jsonText(const std::string& text);

// The kind of a module identity, as the tool names it.
const char* kindName(MODULE_ID id);
// The object of the identity's kind (a plain ZelModule for power supplies).
std::unique_ptr<ZelModule> makeModule(MODULE_ID id);
void applyExchangeSettings(const Options& options, ZelModule& module);

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

}  // namespace zeltool

#endif  // ZEL_TOOLS_ZELTOOL_H
