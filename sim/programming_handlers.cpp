// The bootloader side of a simulated module. A program-init (28) puts it
// into programming mode; a reset (3) reboots it (silent for rebootMs, then
// running its bootloader with identity 0 while programming); data lines
// (29) are S-records whose own checksums it verifies; the finish (30)
// compares the data with the checksum the host gave, takes the version the
// image's S0 record names and restarts the module (silent for returnMs).
// A failed or broken-off update leaves the module in its bootloader, ready
// for the next one.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim_segment.h"

namespace zelsim {
namespace {

constexpr int kBootloaderChoice = 1;
constexpr int kBootloaderNewChoice = 3;

std::optional<Bytes> reply(int type) { return frame(type, 0, {}); }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The bytes of an S-record line (count, address, data, checksum), or none
// when it is no well-formed record with a matching checksum.
std::optional<Bytes> recordBytes(const std::string& line) {
    if (line.size() < 4 || line[0] != 'S' || !std::isdigit(static_cast<unsigned char>(line[1]))) {
        return std::nullopt;
    }
    if ((line.size() - 2) % 2 != 0) return std::nullopt;
    Bytes bytes;
    for (std::size_t i = 2; i + 1 < line.size(); i += 2) {
        const int high = hexDigit(line[i]);
        const int low = hexDigit(line[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    if (bytes.empty() || bytes[0] + 1u != bytes.size()) return std::nullopt;
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
    if (static_cast<std::uint8_t>(0xFF - (sum & 0xFF)) != bytes.back()) return std::nullopt;
    return bytes;
}

// "major.minor.patch" as the configuration answer carries it.
Version versionOf(const std::string& text) {
    Version v;
    const char* p = text.c_str();
    std::uint8_t* parts[] = {&v.major, &v.minor, &v.patch};
    for (std::uint8_t* part : parts) {
        *part = static_cast<std::uint8_t>(std::atoi(p));
        const char* dot = std::strchr(p, '.');
        if (dot == nullptr) break;
        p = dot + 1;
    }
    return v;
}

std::optional<Bytes> dataLine(ModuleState& s, const Bytes& r) {
    ProgrammingState& p = s.programming;
    std::string line(r.begin() + 3, r.end());
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const int index = static_cast<int>(p.lines.size()) + p.badRecords;
    const auto bytes = recordBytes(line);
    if (!p.active || !bytes || index == p.rejectLine) {
        ++p.badRecords;
        return reply(17);
    }
    p.lines.push_back(line);
    const int type = line[1] - '0';
    const std::size_t addressBytes =
        type >= 1 && type <= 3 ? static_cast<std::size_t>(type) + 1 : 2;
    if (type >= 1 && type <= 3) {
        for (std::size_t i = 1 + addressBytes; i + 1 < bytes->size(); ++i) p.dataSum += (*bytes)[i];
    } else if (type == 0) {
        // "<image name> <version>"
        const std::string title(bytes->begin() + 3, bytes->end() - 1);
        const std::size_t blank = title.rfind(' ');
        p.imageVersion = blank == std::string::npos ? title : title.substr(blank + 1);
    }
    return reply(29);
}

std::optional<Bytes> finish(ModuleState& s, const Bytes&) {
    ProgrammingState& p = s.programming;
    ++p.finishes;
    const std::uint32_t expected = p.checksums.empty() ? 0 : p.checksums.back();
    const bool wasActive = p.active;
    // A finish ends the transfer either way; after a failed one the module
    // stays in its bootloader and takes the next program-init afresh.
    p.active = false;
    if (!wasActive || (expected != 0 && expected != p.dataSum)) return reply(17);
    const bool bootloader = !p.choices.empty() && p.choices.front() == kBootloaderChoice;
    if (bootloader) {
        s.bootloaderVersion = versionOf(p.imageVersion);
    } else {
        s.firmwareVersion = versionOf(p.imageVersion);
        s.firmwareText.clear();
    }
    s.bootloaderOnly = false;
    p.firmwareStarts = true;
    p.silentUntilUs = p.neverReturns ? (1LL << 62) : nowUs() + 1000LL * p.returnMs;
    return reply(30);
}

}  // namespace

void addProgrammingHandlers(std::map<int, Handler>& h) {
    h[28] = [](ModuleState& s, const Bytes& r) {
        ProgrammingState& p = s.programming;
        if (r.size() < 8) return reply(17);
        // The second request of one update comes before any data line (after
        // the reset, or at once); any other starts a new transfer, as after
        // an update that failed or was broken off.
        const bool sameUpdate =
            p.active && p.choices.size() == 1 && p.lines.empty() && p.badRecords == 0;
        if (!sameUpdate) {
            p.choices.clear();
            p.checksums.clear();
            p.lines.clear();
            p.dataSum = 0;
            p.badRecords = 0;
        }
        p.active = true;
        p.choices.push_back(r[3]);
        p.checksums.push_back(static_cast<std::uint32_t>(r[4] | r[5] << 8 | r[6] << 16 |
                                                         static_cast<std::uint32_t>(r[7]) << 24));
        return reply(28);
    };
    h[29] = dataLine;
    h[30] = finish;
    h[3] = [](ModuleState& s, const Bytes&) {
        ++s.resets;
        ProgrammingState& p = s.programming;
        if (p.rebootMs > 0) p.silentUntilUs = nowUs() + 1000LL * p.rebootMs;
        // Rebooted into programming mode, only the bootloader runs; outside
        // a transfer a module in its bootloader starts its firmware, if it
        // has one that runs.
        if (p.active) {
            s.bootloaderOnly = true;
        } else if (s.bootloaderOnly && p.firmwareStarts) {
            s.bootloaderOnly = false;
        }
        return reply(3);
    };
    h[6] = [](ModuleState& s, const Bytes&) {
        ++s.programming.reinstalls;
        return reply(6);
    };
}

}  // namespace zelsim
