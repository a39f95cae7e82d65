#include "platform/pcap_writer.h"

#include <chrono>
#include <cstring>

namespace zel::platform {

namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {  // big-endian
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

template <typename T>
void raw(std::ofstream& out, T value) {  // the file's own (little-endian) order
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

bool PcapWriter::open(const std::string& path) {
    out_.open(path, std::ios::binary | std::ios::trunc);
    if (!out_) return false;
    raw<std::uint32_t>(out_, 0xA1B2C3D4u);  // microsecond time stamps
    raw<std::uint16_t>(out_, 2);
    raw<std::uint16_t>(out_, 4);
    raw<std::uint32_t>(out_, 0);      // GMT offset
    raw<std::uint32_t>(out_, 0);      // accuracy
    raw<std::uint32_t>(out_, 65535);  // snapshot length
    raw<std::uint32_t>(out_, 101);    // LINKTYPE_RAW: IPv4 packets
    out_.flush();
    return true;
}

void PcapWriter::write(std::uint32_t fromAddress, std::uint16_t fromPort, std::uint32_t toAddress,
                       std::uint16_t toPort, const std::uint8_t* payload, std::size_t length) {
    if (!out_.is_open()) return;
    const std::size_t total = 20 + 8 + length;
    std::vector<std::uint8_t> p(total, 0);
    p[0] = 0x45;  // IPv4, 20-byte header
    put16(p, 2, static_cast<std::uint16_t>(total));
    put16(p, 4, nextId_++);
    p[8] = 64;  // TTL
    p[9] = 17;  // UDP
    std::memcpy(&p[12], &fromAddress, 4);
    std::memcpy(&p[16], &toAddress, 4);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2) sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    put16(p, 10, static_cast<std::uint16_t>(~sum));
    put16(p, 20, fromPort);
    put16(p, 22, toPort);
    put16(p, 24, static_cast<std::uint16_t>(8 + length));  // UDP checksum 0: not computed
    if (length > 0) std::memcpy(&p[28], payload, length);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    raw<std::uint32_t>(out_, static_cast<std::uint32_t>(us / 1000000));
    raw<std::uint32_t>(out_, static_cast<std::uint32_t>(us % 1000000));
    raw<std::uint32_t>(out_, static_cast<std::uint32_t>(total));
    raw<std::uint32_t>(out_, static_cast<std::uint32_t>(total));
    out_.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(total));
    out_.flush();
}

void PcapWriter::close() {
    if (out_.is_open()) out_.close();
}

}  // namespace zel::platform
