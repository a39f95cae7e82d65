// Commissioning: a configuration file written from a discovered, ordered
// chain. Every module gets its identity, versions and network record as it
// reports them and a label to edit; every channel the elements its kind
// requires, with the settings its module object holds. The text goes to a
// temporary file beside the target first, which then replaces the target in
// one rename, so a failure at any point leaves the old file as it was.
#include <cstdio>
#include <sstream>

#include "config/zel_config_base.h"
#include "station/station_plan.h"

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (char ch : text) {
        switch (ch) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += ch;
        }
    }
    return out;
}

class Writer {
  public:
    void leaf(int depth, ZEL_XML_ELEMENTS e, const std::string& value) {
        const std::string tag = ZelConfigBase::decodeElementType(e);
        out_ << std::string(2 * static_cast<std::size_t>(depth), ' ') << '<' << tag << '>'
             << escaped(value) << "</" << tag << ">\n";
    }
    void leaf(int depth, ZEL_XML_ELEMENTS e, double value) {
        char text[40];
        std::snprintf(text, sizeof(text), "%.10g", value);
        leaf(depth, e, std::string(text));
    }
    void open(int depth, const char* tag) {
        out_ << std::string(2 * static_cast<std::size_t>(depth), ' ') << '<' << tag << ">\n";
    }
    void close(int depth, const char* tag) {
        out_ << std::string(2 * static_cast<std::size_t>(depth), ' ') << "</" << tag << ">\n";
    }
    std::string text() const { return out_.str(); }
    std::ostringstream& raw() { return out_; }

  private:
    std::ostringstream out_;
};

void writeChannel(Writer& w, ZelModule* module, MaybeKind kind, unsigned short ch,
                  const std::string& label) {
    w.leaf(3, ZEL_XML_CHANNEL_LABEL, label);
    bool populated = true;
    if (kind == StationKind::Kalix) {
        DeviceData d{};
        static_cast<ZelKalixModule*>(module)->getDeviceData(&d, ch);
        populated = d.measuringStep != 0;
    } else if (kind == StationKind::Ttl) {
        unsigned char p = 1;
        if (static_cast<ZelTtlModule*>(module)
                ->getChannelPresence(&p, static_cast<unsigned char>(ch))
                .ok()) {
            populated = p != 0;
        }
    } else if (kind == StationKind::Lvdt) {
        unsigned char p = 1;
        if (static_cast<ZelLvdtModule*>(module)
                ->getChannelPresence(&p, static_cast<unsigned char>(ch))
                .ok()) {
            populated = p != 0;
        }
    }
    w.leaf(3, ZEL_XML_POPULATED, std::string(populated ? "1" : "0"));
    if (kind == StationKind::Io || kind == StationKind::Pneumatic) return;

    auto* device = dynamic_cast<ZelDeviceModule*>(module);
    EncoderInfo info;
    double scaling = 1.0;
    double compensation = 1.0;
    double resolution = 0.0;
    if (device != nullptr) {
        device->getEncoderInfo(&info, ch);
        device->getScaling(&scaling, ch);
        device->getErrorCompensation(&compensation, ch);
        device->getResolution(&resolution, ch);
    }
    const bool encoder =
        kind == StationKind::Kalix || kind == StationKind::OneVpp || kind == StationKind::Ttl;
    if (kind == StationKind::Analog) {
        static_cast<ZelAnalogModule*>(module)->getScaling(ch, &scaling);
    }
    w.leaf(3, ZEL_XML_ERROR_MONITORING, std::string("1"));
    w.leaf(3, ZEL_XML_DEVICE_TYPE, static_cast<double>(encoder ? info.encoderType : 1));
    if (kind != StationKind::Lvdt) {
        w.leaf(3, ZEL_XML_ROTARY_FORMAT_TYPE, static_cast<double>(module->getRotaryFormat(ch)));
    }
    int uom = encoder ? info.uom : 0;
    if (kind == StationKind::Lvdt) {
        LVDT_UOM u = LVDT_UOM_MILLIMETRE;
        static_cast<ZelLvdtModule*>(module)->getUom(&u, ch);
        uom = u;
        // A probe nobody set a resolution for (or a refused channel, which
        // leaves 0) reads its raw steps.
        (void)static_cast<ZelLvdtModule*>(module)->getResolution(ch, &resolution);
        if (resolution <= 0.0) {
            resolution = 1.0;
            uom = LVDT_UOM_COUNTS;
        }
    }
    w.leaf(3, ZEL_XML_UOM, static_cast<double>(uom));
    if (kind != StationKind::Lvdt) w.leaf(3, ZEL_XML_ERROR_COMPENSATION, compensation);
    w.leaf(3, ZEL_XML_SCALE_FACTOR, scaling == 0.0 ? 1.0 : scaling);
    w.leaf(3, ZEL_XML_MASTERING_ENABLED, std::string("0"));
    w.leaf(3, ZEL_XML_MASTER_DESIRED, 0.0);
    w.leaf(3, ZEL_XML_MASTER_OFFSET, 0.0);
    w.leaf(3, ZEL_XML_MASTER_UOM, static_cast<double>(UOM_MILLIMETRE));
    w.leaf(3, ZEL_XML_DISPLAY_RESOLUTION, 0.001);
    w.leaf(3, ZEL_XML_RESOLUTION, resolution);
    if (kind == StationKind::Analog) w.leaf(3, ZEL_XML_OFFSET, 0.0);
    if (kind == StationKind::Kalix) {
        auto* k = static_cast<ZelKalixModule*>(module);
        short revolutions = 1;
        k->getDistinguishableRevolutions(&revolutions, ch);
        char name[10] = {};
        char id[11] = {};
        char serial[17] = {};
        k->getEncoderName(name, ch);
        k->getEncoderId(id, ch);
        k->getSerialNumber(serial, ch);
        w.leaf(3, ZEL_XML_DISTINGUISHABLE_REVOLUTIONS, static_cast<double>(revolutions));
        w.leaf(3, ZEL_XML_ENCODER_NAME, std::string(name));
        w.leaf(3, ZEL_XML_ENCODER_ID, std::string(id));
        w.leaf(3, ZEL_XML_CHANNEL_SERIAL_NUMBER, std::string(serial));
    }
    unsigned long lines = 0;
    double period = 0;
    TTL_INTERPOLATION interpolation = TTL_INTERPOLATION_1;
    if (kind == StationKind::OneVpp) {
        unsigned short p = 0;
        static_cast<Zel1VppModule*>(module)->getLineCount(&lines, ch);
        static_cast<Zel1VppModule*>(module)->getSignalPeriod(&p, ch);
        period = p;
    } else if (kind == StationKind::Ttl) {
        static_cast<ZelTtlModule*>(module)->getLineCount(&lines, &interpolation, ch);
        static_cast<ZelTtlModule*>(module)->getSignalPeriod(&period, &interpolation, ch);
    }
    if (kind == StationKind::OneVpp || kind == StationKind::Ttl) {
        // A line count and a period of 0 cannot be applied; 1 stands for "not set".
        w.leaf(3, ZEL_XML_LINE_COUNT, static_cast<double>(lines == 0 ? 1 : lines));
        w.leaf(3, ZEL_XML_SIGNAL_PERIOD, period <= 0 ? 1.0 : period);
    }
    if (kind != StationKind::Lvdt) {
        w.leaf(3, ZEL_XML_COUNTING_DIRECTION, std::string(info.countingDirection ? "1" : "0"));
    }
    if (kind == StationKind::OneVpp || kind == StationKind::Ttl) {
        w.leaf(3, ZEL_XML_REFERENCE_MARK, std::string("0"));
    }
    if (kind == StationKind::Lvdt || kind == StationKind::Analog) {
        w.leaf(3, ZEL_XML_INSTRUMENTATION_MIN, -1.0);
        w.leaf(3, ZEL_XML_INSTRUMENTATION_MAX, 1.0);
        w.leaf(3, ZEL_XML_ACTUAL_MIN, -1.0);
        w.leaf(3, ZEL_XML_ACTUAL_MAX, 1.0);
        w.leaf(3, ZEL_XML_CALIBRATION_TIMESTAMP, std::string("0"));
        w.leaf(3, ZEL_XML_RECALIBRATION_TIMER, std::string("0"));
    }
    if (kind == StationKind::Lvdt) {
        unsigned char gain = 0;
        // A channel the module refuses keeps gain code 0 in the file.
        (void)static_cast<ZelLvdtModule*>(module)->getSensorGain(ch, &gain);
        w.leaf(3, ZEL_XML_GAIN_CODE, static_cast<double>(gain));
    }
    if (kind == StationKind::Ttl) {
        w.leaf(3, ZEL_XML_INTERPOLATION, static_cast<double>(interpolation));
    }
}

}  // namespace

ZelStationStatus ZelStation::capture(ZelInterface& chain, const char* path, const char* baseLabel) {
    if (path == nullptr || baseLabel == nullptr) {
        return stationStatus(ZEL_STATION_BAD_ARGUMENT, "a null pointer");
    }
    const unsigned short n = chain.getNumModules();
    if (n == 0) return stationStatus(ZEL_STATION_NOT_OPEN, "the chain holds no module");
    Writer w;
    w.raw() << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    w.open(0, "ModuleConfig");
    w.leaf(1, ZEL_XML_BASE_LABEL, std::string(baseLabel));
    for (unsigned short i = 0; i < n; ++i) {
        ZelModule* module = chain.getModule(i);
        const ModuleData d = module->getModuleData();
        const MaybeKind kind = stationKindOf(d.moduleId);
        const std::string label = "Module " + std::to_string(i + 1);
        w.open(1, "Module");
        w.leaf(2, ZEL_XML_SERIAL_NUMBER, std::string(d.serialNumber));
        w.leaf(2, ZEL_XML_MODEL, std::string(ZelModule::showModuleType(d.moduleId)));
        w.leaf(2, ZEL_XML_LABEL, label);
        w.leaf(2, ZEL_XML_MODULE_ID, std::to_string(static_cast<unsigned long>(d.moduleId)));
        w.leaf(2, ZEL_XML_HARDWARE_ID,
               std::to_string(static_cast<unsigned long>(d.moduleId) / 100));
        w.leaf(2, ZEL_XML_BOOTLOADER_VERSION, std::string(d.bootloaderVersion));
        w.leaf(2, ZEL_XML_FIRMWARE_VERSION, std::string(d.firmwareVersion));
        w.leaf(2, ZEL_XML_USING_DHCP, std::string(d.usingDhcp ? "1" : "0"));
        w.leaf(2, ZEL_XML_NETMASK, std::string(d.netmask));
        w.leaf(2, ZEL_XML_NETMASK_STATIC, std::string(d.netmaskStatic));
        w.leaf(2, ZEL_XML_MAC, std::string(d.macAddress));
        w.leaf(2, ZEL_XML_IP, std::string(d.ipAddress));
        w.leaf(2, ZEL_XML_IP_STATIC, std::string(d.ipStatic));
        w.leaf(2, ZEL_XML_PORT, std::string("27015"));
        w.leaf(2, ZEL_XML_ACTIVE, std::string("1"));
        if (kind == StationKind::Lvdt) {
            double volts = 0;
            double kilohertz = 0;
            const ZelResults r =
                static_cast<ZelLvdtModule*>(module)->getExcitationValues(&volts, &kilohertz);
            if (!r.ok()) {
                return stationStatus(r, "the excitation of module %u at %s: %s", i + 1u,
                                     d.ipAddress, ZelResults::showRespCode(r.code()));
            }
            w.leaf(2, ZEL_XML_PRIMARY_EXCITATION_VOLTAGE, volts);
            w.leaf(2, ZEL_XML_PRIMARY_EXCITATION_FREQUENCY, kilohertz);
        }
        const unsigned short channels = std::min<unsigned short>(
            module->getNumChannels(), static_cast<unsigned short>(ZEL_CHANNEL_CAPACITY));
        for (unsigned short ch = 0; ch < channels; ++ch) {
            w.open(2, "Channel");
            writeChannel(w, module, kind, ch, label + " " + std::to_string(ch + 1));
            w.close(2, "Channel");
        }
        w.close(1, "Module");
    }
    w.close(0, "ModuleConfig");

    const std::string text = w.text();
    const std::string temporary = std::string(path) + ".part";
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (f == nullptr) {
        return stationStatus(ZEL_STATION_WRITE_FAILED, "%s cannot be created", temporary.c_str());
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool flushed = std::fflush(f) == 0;
    const bool closed = std::fclose(f) == 0;
    if (!written || !flushed || !closed || std::rename(temporary.c_str(), path) != 0) {
        std::remove(temporary.c_str());
        return stationStatus(ZEL_STATION_WRITE_FAILED, "%s could not be written; it is unchanged",
                             path);
    }
    return ZelStationStatus{};
}
