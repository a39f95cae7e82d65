// The simulator's control channel: one text command a line, so a host's
// test (or a person at the terminal) can break a running segment the way a
// shop floor does, without a test harness of its own. zelsim reads the
// commands from its standard input and from a local UDP port; tools that run
// a segment inside themselves can offer the same channel.
//
//   fault POS CMD KEY=VALUE...   arm a fault on command CMD of module POS
//   clear POS [CMD]              remove its faults (or those of CMD)
//   restart POS [MS] [bootloader|broken]  power cycle: settings at defaults, silent
//                                MS (1000); back in its bootloader (broken: a reset
//                                does not start its firmware)
//   unplug POS [MS]              pull the cable: silent, settings kept, for MS or until plug
//   plug POS                     put the cable back
//   modules                      the positions and addresses
//   help                         the commands and fault keys
//
// POS is the module's position in the physical order, as zelsim lists it,
// or "all". Each command is answered with one line: "ok ..." or "error: ...".
#ifndef ZEL_SIM_CONTROL_H
#define ZEL_SIM_CONTROL_H

#include <cstdint>
#include <string>
#include <thread>

#include "platform/net.h"
#include "sim_segment.h"

namespace zelsim {

// Runs one command line on the segment and says what it did.
std::string control(Segment& segment, const std::string& line);

// The whole of `text` as a number from `low` to `high` into `out`; false
// (out untouched) for anything else. zelsim's options read numbers alike.
bool wholeNumber(const std::string& text, long low, long high, long& out);

// The help text of the control channel, for --help and the help command.
extern const char kControlHelp[];

// The channel as a local port: each datagram to 127.0.0.1:port is one
// command, answered by a datagram to its sender. Served by a thread of its
// own from open() until close() or destruction.
class ControlPort {
  public:
    explicit ControlPort(Segment& segment) : segment_(segment) {}
    ~ControlPort() { close(); }
    ControlPort(const ControlPort&) = delete;
    ControlPort& operator=(const ControlPort&) = delete;
    // Binds 127.0.0.1:port (0: a free one) and starts serving. False when
    // the port cannot be bound.
    bool open(int port);
    void close();
    // The port bound (0 before open()).
    int port() const { return port_; }

  private:
    void serve();
    Segment& segment_;
    std::intptr_t socket_ = -1;
    std::intptr_t wake_ = -1;
    zel::platform::Peer wakeFrom_;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace zelsim

#endif  // ZEL_SIM_CONTROL_H
