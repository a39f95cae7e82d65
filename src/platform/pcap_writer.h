// A capture file in the classic pcap format: every datagram as a raw IPv4
// packet (link type 101) with synthesised IPv4 and UDP headers, time-stamped
// with the wall clock. No capture privileges are needed: the simulator
// and the library's capture write what they receive and send.
#ifndef ZEL_PLATFORM_PCAP_WRITER_H
#define ZEL_PLATFORM_PCAP_WRITER_H

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace zel::platform {

class PcapWriter {
  public:
    // False when the file cannot be created.
    bool open(const std::string& path);
    bool isOpen() const { return out_.is_open(); }
    // Addresses in network order (as the platform layer gives them), ports in host order.
    void write(std::uint32_t fromAddress, std::uint16_t fromPort, std::uint32_t toAddress,
               std::uint16_t toPort, const std::uint8_t* payload, std::size_t length);
    void close();

  private:
    std::ofstream out_;
    std::uint16_t nextId_ = 1;
};

}  // namespace zel::platform

#endif  // ZEL_PLATFORM_PCAP_WRITER_H
