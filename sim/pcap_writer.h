// A capture file in the classic pcap format: every datagram as a raw IPv4
// packet (link type 101) with synthesised IPv4 and UDP headers, time-stamped
// with the wall clock. No capture privileges are needed: the simulator
// writes what it receives and sends.
#ifndef ZEL_SIM_PCAP_WRITER_H
#define ZEL_SIM_PCAP_WRITER_H

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace zelsim {

class PcapWriter {
public:
    // False when the file cannot be created.
    bool open(const std::string& path);
    bool isOpen() const { return out_.is_open(); }
    // Addresses in network order (as the platform layer gives them), ports in host order.
    void write(std::uint32_t fromAddress, std::uint16_t fromPort, std::uint32_t toAddress, std::uint16_t toPort,
               const std::uint8_t* payload, std::size_t length);
    void close();

private:
    std::ofstream out_;
    std::uint16_t nextId_ = 1;
};

}  // namespace zelsim

#endif  // ZEL_SIM_PCAP_WRITER_H
