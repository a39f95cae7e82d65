// The commands every simulated module answers, whatever its kind: connect,
// identity and configuration, network settings, neighbour signals, FRAM,
// counts, latch, ADC words, integrity, diagnostics, channel functions and
// the latch debouncing. Each entry reads and changes the module's state and
// returns its answer frame, or none.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/net.h"
#include "sim_segment.h"

namespace zelsim {
namespace {

constexpr std::uint16_t kModulePort = 27015;
constexpr int kNegativeAnswer = 17;

// The four octets of a dotted address, first octet first.
std::array<std::uint8_t, 4> octets(const std::string& dotted) {
    const std::uint32_t a = zel::platform::parseAddress(dotted.c_str());
    std::array<std::uint8_t, 4> o{};
    std::memcpy(o.data(), &a, 4);
    return o;
}

// A dotted address from four request bytes sent first octet last.
std::string dottedFromReversed(const Bytes& r, std::size_t at) {
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", r[at + 3], r[at + 2], r[at + 1], r[at]);
    return text;
}

void putLe32(Bytes& p, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::optional<Bytes> answer(int type, std::uint8_t count, const Bytes& params) {
    return frame(type, count, params);
}

std::optional<Bytes> negative() { return frame(kNegativeAnswer, 0, {}); }

// The connect message: identity and network record of the module.
Bytes connectMessage(const ModuleState& s) {
    Bytes p(37, 0);
    const auto ip = octets(s.address);
    std::copy(ip.begin(), ip.end(), p.begin());
    p[6] = static_cast<std::uint8_t>(kModulePort >> 8);  // big-endian port, bytes 9 and 10
    p[7] = static_cast<std::uint8_t>(kModulePort & 0xFF);
    p[8] = s.connectFlag ? 1 : 0;
    p[9] = s.dhcp ? 1 : 0;
    std::copy(s.mac.begin(), s.mac.end(), p.begin() + 10);
    const auto mask = octets(s.netmask);
    std::copy(mask.begin(), mask.end(), p.begin() + 16);
    for (std::size_t i = 0; i < 8 && i < s.serial.size(); ++i) p[20 + i] = s.serial[i];
    const auto ipStatic = octets(s.ipStatic);
    const auto maskStatic = octets(s.netmaskStatic);
    std::copy(ipStatic.begin(), ipStatic.end(), p.begin() + 28);
    std::copy(maskStatic.begin(), maskStatic.end(), p.begin() + 32);
    p[36] = static_cast<std::uint8_t>(s.revision);
    return frame(18, 11, p);
}

// Address least significant byte first, DHCP flag, bootloader version
// (numbers at 5, 7, 9, release kind 17, build 18) and, unless only the
// bootloader runs, the firmware version (numbers at 10, 12, 14, release
// kind 15, build 16, or a text from 10 on).
Bytes configuration(const ModuleState& s) {
    const auto ip = octets(s.address);
    Bytes p(19, 0);
    for (int i = 0; i < 4; ++i) p[i] = ip[3 - i];
    p[4] = s.dhcp ? 1 : 0;
    const Version& b = s.bootloaderVersion;
    p[5] = b.major;
    p[7] = b.minor;
    p[9] = b.patch;
    p[17] = b.release;
    p[18] = b.build;
    if (s.bootloaderOnly) return frame(7, 3, p);
    if (!s.firmwareText.empty()) {
        if (p.size() < 10 + s.firmwareText.size() + 1) p.resize(10 + s.firmwareText.size() + 1, 0);
        std::copy(s.firmwareText.begin(), s.firmwareText.end(), p.begin() + 10);
        p[10 + s.firmwareText.size()] = 0;
        return frame(7, 4, p);
    }
    const Version& f = s.firmwareVersion;
    p[10] = f.major;
    p[12] = f.minor;
    p[14] = f.patch;
    p[15] = f.release;
    p[16] = f.build;
    return frame(7, 4, p);
}

std::optional<Bytes> moduleType(ModuleState& s, const Bytes&) {
    Bytes p(10, 0);
    putLe32(p, 0, s.bootloaderOnly ? 0 : s.moduleId);
    putLe32(p, 4, s.moduleNumber);
    p[8] = s.typeByte;
    p[9] = s.numChannels;
    return answer(10, 4, p);
}

// One entry of eight bytes per channel, the count in the first four.
std::optional<Bytes> counts(ModuleState& s, const Bytes&) {
    const std::size_t channels = std::min<std::size_t>(s.numChannels, s.axes.size());
    Bytes p(8 * channels, 0);
    for (std::size_t c = 0; c < channels; ++c) {
        putLe32(p, 8 * c, static_cast<std::uint32_t>(s.axes[c].now()));
    }
    return answer(1, static_cast<std::uint8_t>(channels), p);
}

std::optional<Bytes> setIp(ModuleState& s, const Bytes& r) {
    // The new static address and netmask, each first octet last. The module
    // answers from where it was, then moves to the new address.
    if (r.size() < 11) return negative();
    s.address = dottedFromReversed(r, 3);
    s.netmask = dottedFromReversed(r, 7);
    s.ipStatic = s.address;
    s.netmaskStatic = s.netmask;
    s.dhcp = false;
    return answer(4, 0, {});
}

std::optional<Bytes> fram(ModuleState& s, const Bytes& r) {
    // Byte 3: 1 writes the bytes from 5 on into field r[4], 0 reads it.
    if (r.size() < 5) return negative();
    if (r[3] == 1) {
        // The host sends most fields reversed; the module stores them in
        // the order it reads them back.
        Bytes stored(r.begin() + 5, r.end());
        if (r[4] == 8) stored.resize(1);
        if (r[4] != 3 && r[4] != 4 && r[4] != 8) std::reverse(stored.begin(), stored.end());
        s.fram[r[4]] = stored;
        return answer(24, 0, {});
    }
    const auto field = s.fram.find(r[4]);
    if (field == s.fram.end()) return negative();
    Bytes p{static_cast<std::uint8_t>(field->second.size())};
    p.insert(p.end(), field->second.begin(), field->second.end());
    return answer(24, 2, p);
}

std::optional<Bytes> latch(ModuleState& s, const Bytes& r) {
    if (r.size() < 5) return negative();
    if (r[3] == 2) return answer(22, 5, Bytes(s.latch.begin(), s.latch.end()));
    s.latchOption = r[3];
    s.latchChoice = r[4];
    if (r[3] == 1) s.latch.fill(0);
    return answer(22, 0, {});
}

std::optional<Bytes> adc(ModuleState& s, const Bytes&) {
    Bytes p;
    for (std::int16_t v : s.adc) {
        const auto u = static_cast<std::uint16_t>(v);
        p.push_back(static_cast<std::uint8_t>(u >> 8));  // big-endian words
        p.push_back(static_cast<std::uint8_t>(u));
    }
    return answer(23, 5, p);
}

std::optional<Bytes> integrity(ModuleState& s, const Bytes& r) {
    if (r.size() < 4) return negative();
    switch (r[3]) {
        case 0: {
            Bytes p(4 + 4 * s.integrity.size(), 0);
            putLe32(p, 0, s.integrityErrors);
            for (std::size_t i = 0; i < s.integrity.size(); ++i) {
                putLe32(p, 4 + 4 * i, static_cast<std::uint32_t>(s.integrity[i]));
            }
            return answer(26, 15, p);
        }
        case 1:
            s.integrityErrors = 0;
            return answer(26, 0, {});
        case 2:
            s.integrityErrors = 0;
            s.channelStatus.fill(0);
            return answer(26, 0, {});
        default:
            return negative();
    }
}

// Channel functions of command 33: 0 status, 1 clear, 4 and 5 error checking.
std::optional<Bytes> channelFunction(ModuleState& s, const Bytes& r) {
    if (r.size() < 5 || r[3] >= s.channelStatus.size()) return negative();
    const std::uint8_t c = r[3];
    switch (r[4]) {
        case 0:
            break;
        case 1:
            s.channelStatus[c] = 0;
            break;
        case 4:
        case 5:
            s.errorChecking[c] = r[4] == 5;
            break;
        default:
            return negative();
    }
    return answer(33, 2, {c, s.channelStatus[c]});
}

// Channel settings of command 32; sub-operation 0 is the latch debouncing.
std::optional<Bytes> channelSettings(ModuleState& s, const Bytes& r) {
    if (r.size() < 8 || r[3] != 0 || r[4] >= s.debounceTime.size()) return negative();
    s.debounceTime[r[4]] = static_cast<std::uint16_t>(r[5] << 8 | r[6]);
    return answer(32, 0, {});
}

}  // namespace

Bytes frame(int type, std::uint8_t count, const Bytes& params) {
    Bytes f(3 + params.size());
    f[0] = static_cast<std::uint8_t>(type);
    f[1] = count;
    f[2] = static_cast<std::uint8_t>(params.size());
    for (std::size_t i = 0; i < params.size(); ++i) f[3 + i] = params[i];
    return f;
}

bool wellFormedRequest(const Bytes& r) {
    if (r.size() < 3 || r.size() != 3u + r[2]) return false;
    const int count = r[1];
    const int length = r[2];
    auto is = [&](int c, int l) { return count == c && length == l; };
    switch (r[0]) {
        case 0:
            return is(3, 9);
        case 1:
        case 13:
            return is(2, 3);
        case 2:
        case 22:
        case 27:
        case 31:
        case 33:
            return is(2, 2);
        case 3:
        case 6:
        case 7:
        case 8:
        case 10:
        case 16:
        case 30:
        case 34:
            return is(0, 0);
        case 4:
            return is(3, 12);
        case 5:
        case 9:
        case 11:
        case 12:
        case 23:
        case 25:
        case 26:
            return is(1, 1);
        case 15:
            return is(10, 10);
        case 24:  // a read of one field, or a write (the mark field takes no bytes)
            return is(2, 2) || (count == 3 && length >= 2);
        case 28:
            return is(2, 5);
        case 29:  // one S-record line
            return count == 2 && length >= 1;
        case 32:
            return is(4, 5);
        default:
            return true;
    }
}

Bytes latchMessage(const ModuleState& s) {
    return frame(22, 5, Bytes(s.latch.begin(), s.latch.end()));
}

Bytes channelStatusMessage(int channel, std::uint8_t status) {
    return frame(33, 2, {static_cast<std::uint8_t>('0' + channel), status});
}

std::map<int, Handler> commonHandlers() {
    std::map<int, Handler> h;
    h[0] = [](ModuleState& s, const Bytes&) { return std::optional<Bytes>(connectMessage(s)); };
    h[1] = counts;
    h[3] = [](ModuleState& s, const Bytes&) {
        ++s.resets;
        return answer(3, 0, {});
    };
    h[4] = setIp;
    h[5] = [](ModuleState& s, const Bytes& r) {
        s.dhcp = r.size() > 3 && r[3] != 0;
        return answer(5, 0, {});
    };
    h[6] = [](ModuleState&, const Bytes&) { return answer(6, 0, {}); };
    h[7] = [](ModuleState& s, const Bytes&) { return std::optional<Bytes>(configuration(s)); };
    h[8] = [](ModuleState& s, const Bytes&) {
        const auto ip = octets(s.address);
        bool high = s.leftInput;
        if (s.leftHighReads > 0) {
            --s.leftHighReads;
            high = true;
        }
        return answer(8, 5, {ip[3], ip[2], ip[1], ip[0], static_cast<std::uint8_t>(high), 0, 0, 0});
    };
    h[9] = [](ModuleState& s, const Bytes& r) {
        s.rightOutput = r.size() > 3 && r[3] != 0;
        return answer(9, 0, {});
    };
    h[10] = moduleType;
    h[13] = [](ModuleState& s, const Bytes& r) {
        // Byte 3: 1 reads the port, 0 sets it from bytes 4 (high) and 5 (low).
        if (r.size() >= 6 && r[3] == 0) s.asyncPort = static_cast<std::uint16_t>(r[4] << 8 | r[5]);
        return answer(
            13, 2,
            {static_cast<std::uint8_t>(s.asyncPort >> 8), static_cast<std::uint8_t>(s.asyncPort)});
    };
    h[22] = latch;
    h[23] = adc;
    h[24] = fram;
    h[25] = [](ModuleState& s, const Bytes& r) {
        s.asyncMode = r.size() > 3 && r[3] != 0;
        return answer(25, 1, {static_cast<std::uint8_t>(s.asyncMode)});
    };
    h[26] = integrity;
    h[31] = [](ModuleState& s, const Bytes& r) {
        s.diagMode = r.size() > 3 ? r[3] : 0;
        return answer(31, 1, {s.diagMode});
    };
    h[32] = channelSettings;
    h[33] = channelFunction;
    // The factory-defaults broadcast is never answered.
    h[34] = [](ModuleState&, const Bytes&) { return std::optional<Bytes>(); };
    return h;
}

}  // namespace zelsim
