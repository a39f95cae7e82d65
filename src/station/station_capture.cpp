// Commissioning: a configuration file written from a discovered, ordered
// chain. Every module gets its identity, versions and network record as it
// reports them and a label to edit; every channel the elements its kind
// requires, with the settings its module object holds. The text goes to a
// temporary file beside the target first, which then replaces the target in
// one rename, so a failure at any point leaves the old file as it was.
#include <cstdio>
#include <sstream>

#include "config/zel_config_base.h"
#include "station/station_kinds.h"

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

// A channel's elements: those of its kind's groups, with the values its
// module object holds.
void writeChannel(Writer& w, ZelModule* module, MODULE_ID id, unsigned short ch,
                  const std::string& label) {
    namespace identity = zel::identity;
    const unsigned groups = identity::elementsOf(id);
    const StationKindRow* kind = stationKindRow(stationKindOf(id));
    CapturedChannel c;
    if (auto* device = dynamic_cast<ZelDeviceModule*>(module)) {
        EncoderInfo info;
        device->getEncoderInfo(&info, ch);
        device->getScaling(&c.scaling, ch);
        device->getErrorCompensation(&c.compensation, ch);
        device->getResolution(&c.resolution, ch);
        c.countingDirection = info.countingDirection;
        if (identity::has(id, &identity::KindInfo::encoder)) {
            c.deviceType = info.encoderType;
            c.uom = info.uom;
        }
    }
    if (kind != nullptr && kind->captureChannel != nullptr) kind->captureChannel(*module, ch, c);

    w.leaf(3, ZEL_XML_CHANNEL_LABEL, label);
    w.leaf(3, ZEL_XML_POPULATED, std::string(c.populated ? "1" : "0"));
    if (groups == 0) return;
    const auto has = [groups](unsigned group) { return (groups & group) != 0; };
    w.leaf(3, ZEL_XML_ERROR_MONITORING, std::string("1"));
    w.leaf(3, ZEL_XML_DEVICE_TYPE, static_cast<double>(c.deviceType));
    if (has(identity::kRotaryFormat)) {
        w.leaf(3, ZEL_XML_ROTARY_FORMAT_TYPE, static_cast<double>(module->getRotaryFormat(ch)));
    }
    w.leaf(3, ZEL_XML_UOM, static_cast<double>(c.uom));
    if (has(identity::kRotaryFormat)) w.leaf(3, ZEL_XML_ERROR_COMPENSATION, c.compensation);
    w.leaf(3, ZEL_XML_SCALE_FACTOR, c.scaling == 0.0 ? 1.0 : c.scaling);
    w.leaf(3, ZEL_XML_MASTERING_ENABLED, std::string("0"));
    w.leaf(3, ZEL_XML_MASTER_DESIRED, 0.0);
    w.leaf(3, ZEL_XML_MASTER_OFFSET, 0.0);
    w.leaf(3, ZEL_XML_MASTER_UOM, static_cast<double>(UOM_MILLIMETRE));
    w.leaf(3, ZEL_XML_DISPLAY_RESOLUTION, 0.001);
    w.leaf(3, ZEL_XML_RESOLUTION, c.resolution);
    if (has(identity::kOffset)) w.leaf(3, ZEL_XML_OFFSET, 0.0);
    if (has(identity::kEncoderRecord)) {
        w.leaf(3, ZEL_XML_DISTINGUISHABLE_REVOLUTIONS, static_cast<double>(c.revolutions));
        w.leaf(3, ZEL_XML_ENCODER_NAME, c.encoderName);
        w.leaf(3, ZEL_XML_ENCODER_ID, c.encoderId);
        w.leaf(3, ZEL_XML_CHANNEL_SERIAL_NUMBER, c.encoderSerial);
    }
    if (has(identity::kLineCount)) {
        // A line count and a period of 0 cannot be applied; 1 stands for "not set".
        w.leaf(3, ZEL_XML_LINE_COUNT, static_cast<double>(c.lines == 0 ? 1 : c.lines));
        w.leaf(3, ZEL_XML_SIGNAL_PERIOD, c.period <= 0 ? 1.0 : c.period);
    }
    if (has(identity::kRotaryFormat)) {
        w.leaf(3, ZEL_XML_COUNTING_DIRECTION, std::string(c.countingDirection ? "1" : "0"));
    }
    if (has(identity::kLineCount)) w.leaf(3, ZEL_XML_REFERENCE_MARK, std::string("0"));
    if (has(identity::kCalibration)) {
        w.leaf(3, ZEL_XML_INSTRUMENTATION_MIN, -1.0);
        w.leaf(3, ZEL_XML_INSTRUMENTATION_MAX, 1.0);
        w.leaf(3, ZEL_XML_ACTUAL_MIN, -1.0);
        w.leaf(3, ZEL_XML_ACTUAL_MAX, 1.0);
        w.leaf(3, ZEL_XML_CALIBRATION_TIMESTAMP, std::string("0"));
        w.leaf(3, ZEL_XML_RECALIBRATION_TIMER, std::string("0"));
    }
    if (has(identity::kGain)) w.leaf(3, ZEL_XML_GAIN_CODE, static_cast<double>(c.gainCode));
    if (has(identity::kInterpolation)) {
        w.leaf(3, ZEL_XML_INTERPOLATION, static_cast<double>(c.interpolation));
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
        const StationKindRow* kind = stationKindRow(stationKindOf(d.moduleId));
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
        if (kind != nullptr && kind->captureModule != nullptr) {
            CapturedModule cm;
            const ZelResults r = kind->captureModule(*module, cm);
            if (!r.ok()) {
                return stationStatus(r, "the settings of module %u at %s: %s", i + 1u, d.ipAddress,
                                     ZelResults::showRespCode(r.code()));
            }
            if ((zel::identity::elementsOf(d.moduleId) & zel::identity::kExcitation) != 0) {
                w.leaf(2, ZEL_XML_PRIMARY_EXCITATION_VOLTAGE, cm.excitationVolts);
                w.leaf(2, ZEL_XML_PRIMARY_EXCITATION_FREQUENCY, cm.excitationKilohertz);
            }
        }
        const unsigned short channels = std::min<unsigned short>(
            module->getNumChannels(), static_cast<unsigned short>(ZEL_CHANNEL_CAPACITY));
        for (unsigned short ch = 0; ch < channels; ++ch) {
            w.open(2, "Channel");
            writeChannel(w, module, d.moduleId, ch, label + " " + std::to_string(ch + 1));
            w.close(2, "Channel");
        }
        w.close(1, "Module");
    }
    w.close(0, "ModuleConfig");

    const std::string text = w.text();
    const std::string temporary = std::string(path) + ".part";
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (f == nullptr) {
        return stationStatus(ZEL_STATION_WRITE_FAILED,
                             "%s: its temporary file %s cannot be created; nothing was written",
                             path, temporary.c_str());
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
