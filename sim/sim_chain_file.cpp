#include "sim_chain_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

#include "config/zel_config_reader.h"
#include "modules/module_identity.h"

namespace zelsim {

namespace {

class Reader {
  public:
    Reader(ZelConfigReader& file, unsigned short module) : file_(file), module_(module) {}
    bool text(ZEL_XML_ELEMENTS e, std::string& out) {
        return file_.getElement(e, out, module_) == ZEL_XML_OK && !out.empty();
    }
    bool channelText(ZEL_XML_ELEMENTS e, unsigned short channel, std::string& out) {
        return file_.getElement(e, out, module_, channel) == ZEL_XML_OK && !out.empty();
    }
    long number(ZEL_XML_ELEMENTS e, long otherwise) {
        std::string t;
        return text(e, t) ? std::strtol(t.c_str(), nullptr, 10) : otherwise;
    }
    long channelNumber(ZEL_XML_ELEMENTS e, unsigned short channel, long otherwise) {
        std::string t;
        return channelText(e, channel, t) ? std::strtol(t.c_str(), nullptr, 10) : otherwise;
    }
    double channelValue(ZEL_XML_ELEMENTS e, unsigned short channel, double otherwise) {
        std::string t;
        if (!channelText(e, channel, t)) return otherwise;
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        return end != t.c_str() && std::isfinite(v) ? v : otherwise;
    }

  private:
    ZelConfigReader& file_;
    unsigned short module_;
};

// "a.b.c" as a release version; false for other texts.
bool parseVersion(const std::string& text, Version& v) {
    unsigned a = 0, b = 0, c = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u", &a, &b, &c) != 3 || a > 255 || b > 255 || c > 255) {
        return false;
    }
    v = Version{static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                static_cast<std::uint8_t>(c), 0, 0};
    return true;
}

bool parseMac(const std::string& text, std::array<std::uint8_t, 6>& mac) {
    unsigned b[6];
    if (std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) !=
        6) {
        return false;
    }
    for (int i = 0; i < 6; ++i) mac[i] = static_cast<std::uint8_t>(b[i]);
    return true;
}

int bitsFor(unsigned long n) {
    int bits = 0;
    while (bits < 40 && (1UL << bits) < n) ++bits;
    return bits;
}

// What a channel of the file reads when simulated: an LVDT probe or an
// analog input stands at a point of its calibrated range (channel c of n at
// (c + 1) / (n + 1) of it, so the channels differ), and a Kalix encoder has
// the measuring step its Resolution gives (nanometres per count for a linear
// one, counts per turn for a rotary one when they fit the position value).
void valuesFromFile(Reader& module, std::uint32_t id, unsigned short c, unsigned short channels,
                    ModuleState& s) {
    const unsigned short ch = static_cast<unsigned short>(c + 1);
    const double at = static_cast<double>(c + 1) / (channels + 1);
    using zel::identity::Kind;
    const auto identity = static_cast<MODULE_ID>(id);
    if (zel::identity::isKind(identity, Kind::Lvdt)) {
        const double lo = module.channelValue(ZEL_XML_ACTUAL_MIN, ch, -1.0);
        const double hi = module.channelValue(ZEL_XML_ACTUAL_MAX, ch, 1.0);
        const double resolution = module.channelValue(ZEL_XML_RESOLUTION, ch, 0.0);
        const double scale = module.channelValue(ZEL_XML_SCALE_FACTOR, ch, 1.0);
        if (resolution > 0 && scale != 0) {
            const double steps = std::round((lo + (hi - lo) * at) / resolution / scale);
            s.lvdt.readings[c] =
                static_cast<std::int32_t>(std::max(-8388607.0, std::min(8388607.0, steps)));
        }
        s.lvdt.millivolts[c] = static_cast<std::int16_t>(std::lround((2 * at - 1) * 1000));
    } else if (zel::identity::isKind(identity, Kind::Analog)) {
        const double lo = module.channelValue(ZEL_XML_INSTRUMENTATION_MIN, ch, 0.0);
        const double hi = module.channelValue(ZEL_XML_INSTRUMENTATION_MAX, ch, 10.0);
        s.analog.setVolts(c, std::max(-7.5, std::min(12.5, lo + (hi - lo) * at)));
        s.analog.setMilliamps(c, 4.0 + 16.0 * at);
    } else if (s.kalix[c].present) {
        KalixEncoder& k = s.kalix[c];
        const double resolution = module.channelValue(ZEL_XML_RESOLUTION, ch, 0.0);
        if (resolution <= 0) return;
        if (!k.rotary) {
            const double nm = std::round(resolution * 1e6);
            if (nm >= 1 && nm <= 1e6) k.measuringStep = static_cast<std::uint32_t>(nm);
            return;
        }
        const double perTurn = std::round(360.0 / resolution);
        const int bits = bitsFor(static_cast<unsigned long>(perTurn)) + bitsFor(k.revolutions);
        if (perTurn >= 2 && bits <= 32) {
            k.measuringStep = static_cast<std::uint32_t>(perTurn);
            k.positionBits = static_cast<std::uint8_t>(bits);
        }
    }
}

int lastByte(const std::string& ip) {
    const std::size_t dot = ip.rfind('.');
    const int host = dot == std::string::npos ? 0 : std::atoi(ip.c_str() + dot + 1);
    return host >= 2 && host <= 254 ? host : 0;
}

}  // namespace

bool chainFromFile(const std::string& path, std::vector<PlannedModule>& plan, std::string& error) {
    ZelConfigReader file;
    ZEL_XML_RETURN r = file.loadXml(path);
    unsigned short modules = 0;
    if (r == ZEL_XML_OK) r = file.getNumModules(modules);
    if (r != ZEL_XML_OK) {
        error = path + ": " + ZelConfigBase::decodeErrorType(r);
        return false;
    }
    std::vector<PlannedModule> found;
    std::set<int> hosts;
    for (unsigned short m = 1; m <= modules; ++m) {
        Reader module(file, m);
        const long id = module.number(ZEL_XML_MODULE_ID, 0);
        if (id <= 0 || modelOf(static_cast<std::uint32_t>(id)) == "unknown") continue;
        ModuleState s;
        s.moduleId = static_cast<std::uint32_t>(id);
        std::string t;
        if (module.text(ZEL_XML_SERIAL_NUMBER, t)) s.serial = t;
        if (module.text(ZEL_XML_MAC, t)) parseMac(t, s.mac);
        if (module.text(ZEL_XML_BOOTLOADER_VERSION, t)) parseVersion(t, s.bootloaderVersion);
        if (module.text(ZEL_XML_FIRMWARE_VERSION, t)) parseVersion(t, s.firmwareVersion);
        if (module.text(ZEL_XML_NETMASK, t)) s.netmask = t;
        s.dhcp = module.number(ZEL_XML_USING_DHCP, 0) != 0;
        unsigned short channels = 0;
        file.getNumChannels(m, channels);
        s.numChannels = static_cast<std::uint8_t>(channels > 8 ? 8 : channels);
        for (unsigned short c = 0; c < s.numChannels; ++c) {
            const unsigned short ch = static_cast<unsigned short>(c + 1);
            const bool present = module.channelNumber(ZEL_XML_POPULATED, ch, 1) != 0;
            KalixEncoder& k = s.kalix[c];
            k.present = present;
            const long revolutions =
                module.channelNumber(ZEL_XML_DISTINGUISHABLE_REVOLUTIONS, ch, 1);
            k.rotary = revolutions > 1;
            k.revolutions = static_cast<std::uint16_t>(revolutions > 0 ? revolutions : 1);
            k.measuringStep = k.rotary ? 8192 : 100;
            k.positionBits = k.rotary ? 25 : 0;
            if (module.channelText(ZEL_XML_ENCODER_NAME, ch, t)) k.name = t.substr(0, 9);
            if (module.channelText(ZEL_XML_ENCODER_ID, ch, t)) k.id = t.substr(0, 10);
            if (module.channelText(ZEL_XML_CHANNEL_SERIAL_NUMBER, ch, t))
                k.serial = t.substr(0, 16);
            IncrementalChannel& inc = s.incremental[c];
            inc.presence = present ? 1 : 0;
            inc.direction = module.channelNumber(ZEL_XML_COUNTING_DIRECTION, ch, 0) != 0 ? 1 : 0;
            inc.interpolation =
                static_cast<std::uint16_t>(module.channelNumber(ZEL_XML_INTERPOLATION, ch, 1));
            s.lvdt.presence[c] = present ? 1 : 0;
            s.axes[c].set(1000L * (c + 1), 100.0 * (c + 1));
            valuesFromFile(module, s.moduleId, c, s.numChannels, s);
        }
        int host = 0;
        if (module.text(ZEL_XML_IP, t)) host = lastByte(t);
        if (host == 0 || hosts.count(host) != 0) {
            host = 10;
            while (hosts.count(host) != 0) ++host;
        }
        hosts.insert(host);
        found.push_back({host, s});
    }
    if (found.empty()) {
        error = path + ": no module of a known identity";
        return false;
    }
    found.front().state.connectFlag = true;
    plan = std::move(found);
    return true;
}

}  // namespace zelsim
