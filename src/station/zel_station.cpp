// ZelStation: opening the chain a configuration file describes, checking it
// against the file, applying the file's settings, and reading it by label.
// The modules are reached at the file's addresses as objects of the kinds
// the file names, so the 5 s of discovery silence and the ordering walk's
// 500 ms per module are not spent; the only fixed cost left per module is
// the object's own initialisation, and several of those run at once.
#include "station/zel_station.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <thread>

#include "foundation/common_utils.h"
#include "modules/module_kinds.h"
#include "station/station_plan.h"

namespace {

// The object of the kind an identity names (the library's kind rows make
// it); modules of no known kind are plain module objects.
std::unique_ptr<ZelModule> objectFor(MODULE_ID id) {
    std::unique_ptr<ZelModule> object(zel::kinds::create(id, false));
    if (object == nullptr) throw std::bad_alloc();
    return object;
}

ZelStationDifference difference(ZEL_STATION_DIFFERENCE kind, int filePosition, int chainPosition,
                                const char* address, const std::string& expected,
                                const std::string& found) {
    ZelStationDifference d;
    d.kind = kind;
    d.filePosition = static_cast<short>(filePosition);
    d.chainPosition = static_cast<short>(chainPosition);
    copyField(d.address, address == nullptr ? std::string() : std::string(address));
    copyField(d.expected, expected);
    copyField(d.found, found);
    return d;
}

std::string idText(MODULE_ID id) { return std::to_string(static_cast<unsigned long>(id)); }

// Serial numbers compare without their blanks: a module sends its serial
// number grouped ("AB 000 120"), a file may hold it either way; a module's
// text cut to its field agrees with a longer file text it begins.
std::string compact(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != ' ') out += *p;
    }
    return out;
}

bool sameSerial(const char* file, const char* module) {
    const std::string f = compact(file);
    const std::string m = compact(module);
    if (std::strlen(module) >= ZEL_SERIAL_TEXT_CAPACITY - 1 && !m.empty()) {
        return f.compare(0, m.size(), m) == 0;
    }
    return f == m;
}

}  // namespace

ZelStation::ZelStation() = default;
ZelStation::~ZelStation() { close(); }

ZelStationStatus ZelStation::load(const char* path) {
    close();
    if (path == nullptr) return stationStatus(ZEL_STATION_BAD_ARGUMENT, "no file named");
    auto loaded = std::make_unique<Plan>();
    ZelStationStatus s = readStationFile(path, *loaded);
    if (!s.ok()) {
        plan.reset();
        return s;
    }
    plan = std::move(loaded);
    return s;
}

ZelStationStatus ZelStation::setModuleAddress(unsigned short position, const char* ip) {
    if (!plan) return stationStatus(ZEL_STATION_NOT_OPEN, "no configuration file loaded");
    if (opened) return stationStatus(ZEL_STATION_BAD_ARGUMENT, "the station is open already");
    if (position >= plan->modules.size()) {
        return stationStatus(ZEL_STATION_NO_SUCH_CHANNEL, "no module at position %u", position);
    }
    if (ip == nullptr || std::strlen(ip) >= ZEL_IP_TEXT_CAPACITY ||
        CommonUtils::strToIpAddr(ip) == 0) {
        return stationStatus(ZEL_STATION_BAD_ARGUMENT, "'%s' is not an address",
                             ip == nullptr ? "" : ip);
    }
    copyField(plan->modules[position].info.address, std::string(ip));
    return ZelStationStatus{};
}

unsigned short ZelStation::getNumModules() const {
    return plan ? static_cast<unsigned short>(plan->modules.size()) : 0;
}

bool ZelStation::getModuleInfo(unsigned short position, ZelStationModule* info) const {
    if (!plan || info == nullptr || position >= plan->modules.size()) return false;
    *info = plan->modules[position].info;
    return true;
}

std::string ZelStation::getChannelLabel(unsigned short position, unsigned short channel) const {
    if (!plan || position >= plan->modules.size()) return std::string();
    const auto& channels = plan->modules[position].channels;
    return channel < channels.size() ? channels[channel].label : std::string();
}

ZelModule* ZelStation::getModule(unsigned short position) {
    if (!opened || position >= impl->byPosition.size()) return nullptr;
    return impl->byPosition[position];
}

ZelChainSampler* ZelStation::getSampler() { return opened ? impl->sampler.get() : nullptr; }

void ZelStation::close() {
    impl.reset();
    report.clear();
    opened = false;
}

ZelStationStatus ZelStation::open(const char* path, const ZelStationOptions& options) {
    ZelStationStatus s = load(path);
    if (!s.ok()) return s;
    return open(options);
}

ZelStationStatus ZelStation::open(const ZelStationOptions& options) {
    close();
    if (!plan) return stationStatus(ZEL_STATION_NOT_OPEN, "no configuration file loaded");
    impl = std::make_unique<Impl>();
    impl->byPosition.assign(plan->modules.size(), nullptr);
    impl->sameKind.assign(plan->modules.size(), false);
    ZelStationStatus s =
        options.mode == ZEL_STATION_OPEN_DISCOVER ? openDiscovered(options) : openDirect(options);
    if (s.ok() && options.applySettings) s = applySettings();
    if (!s.ok()) {
        std::vector<ZelStationDifference> kept = std::move(report);
        close();
        report = std::move(kept);
        return s;
    }
    // The sampler takes the modules of the file's kinds; its positions are
    // file positions.
    std::vector<ZelModule*> sampled(impl->byPosition.size(), nullptr);
    for (std::size_t i = 0; i < sampled.size(); ++i) {
        if (impl->sameKind[i]) sampled[i] = impl->byPosition[i];
    }
    impl->sampler = std::make_unique<ZelChainSampler>(sampled.data(),
                                                      static_cast<unsigned short>(sampled.size()));
    opened = true;
    if (!report.empty()) {
        return stationStatus(ZEL_STATION_CHAIN_DIFFERS,
                             "%s: the chain differs from the file in %lu %s", plan->path.c_str(),
                             static_cast<unsigned long>(report.size()),
                             report.size() == 1 ? "way" : "ways");
    }
    return ZelStationStatus{};
}

ZelStationStatus ZelStation::openDirect(const ZelStationOptions& options) {
    const std::size_t n = plan->modules.size();
    impl->owned.resize(n);
    std::vector<ZelResults> results(n);
    std::atomic<std::size_t> next{0};
    auto work = [&]() {
        for (std::size_t i = next++; i < n; i = next++) {
            const ModulePlan& m = plan->modules[i];
            auto object = objectFor(m.info.moduleId);
            if (options.timeoutMs >= 0) object->setUdpTimeout(options.timeoutMs);
            if (options.retries >= 0) object->setUdpNumRetries(options.retries);
            results[i] = object->initializeModule(m.info.address, options.connectOption);
            impl->owned[i] = std::move(object);
        }
    };
    // Each initialisation is mostly waiting (its answers, and the object's
    // own 100 ms timing of the tick counter), so a few run at once.
    const unsigned parallel = std::clamp(options.parallel, 1u, 16u);
    const std::size_t workers = std::min<std::size_t>(parallel, n);
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
    for (auto& t : threads) t.join();

    std::vector<std::string> foundSerial(n);
    for (std::size_t i = 0; i < n; ++i) {
        const ModulePlan& m = plan->modules[i];
        const int pos = static_cast<int>(i);
        if (!results[i].ok()) {
            report.push_back(difference(ZEL_STATION_MISSING, pos, -1, m.info.address,
                                        m.info.serialNumber,
                                        ZelResults::showRespCode(results[i].code())));
            impl->owned[i].reset();
            continue;
        }
        ZelModule* object = impl->owned[i].get();
        const ModuleData data = object->getModuleData();
        impl->byPosition[i] = object;
        impl->sameKind[i] = stationKindOf(data.moduleId) == m.kind;
        if (data.moduleId != m.info.moduleId) {
            report.push_back(difference(ZEL_STATION_OTHER_MODEL, pos, pos, m.info.address,
                                        idText(m.info.moduleId), idText(data.moduleId)));
        }
        foundSerial[i] = data.serialNumber;
        if (std::strcmp(data.firmwareVersion, m.info.firmwareVersion) != 0) {
            report.push_back(difference(ZEL_STATION_OTHER_FIRMWARE, pos, pos, m.info.address,
                                        m.info.firmwareVersion, data.firmwareVersion));
        }
    }
    // Serial numbers: two modules carrying each other's are a swap (their
    // addresses were exchanged, or the modules with their settings);
    // any other stranger is another serial number.
    std::vector<bool> reported(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        if (impl->byPosition[i] == nullptr || reported[i] ||
            sameSerial(plan->modules[i].info.serialNumber, foundSerial[i].c_str())) {
            continue;
        }
        for (std::size_t j = i + 1; j < n; ++j) {
            if (impl->byPosition[j] == nullptr || reported[j]) continue;
            if (sameSerial(plan->modules[j].info.serialNumber, foundSerial[i].c_str()) &&
                sameSerial(plan->modules[i].info.serialNumber, foundSerial[j].c_str())) {
                report.push_back(difference(ZEL_STATION_SWAPPED, static_cast<int>(i),
                                            static_cast<int>(j), plan->modules[i].info.address,
                                            plan->modules[i].info.serialNumber, foundSerial[i]));
                reported[i] = reported[j] = true;
                break;
            }
        }
        if (!reported[i]) {
            report.push_back(difference(ZEL_STATION_OTHER_SERIAL, static_cast<int>(i),
                                        static_cast<int>(i), plan->modules[i].info.address,
                                        plan->modules[i].info.serialNumber, foundSerial[i]));
            reported[i] = true;
        }
    }
    return ZelStationStatus{};
}

ZelStationStatus ZelStation::openDiscovered(const ZelStationOptions& options) {
    if (options.localIp == nullptr || options.broadcastNetmask == nullptr) {
        return stationStatus(ZEL_STATION_BAD_ARGUMENT,
                             "discovering needs the host's address and the netmask");
    }
    impl->chain = std::make_unique<ZelInterface>();
    ZelInterface& chain = *impl->chain;
    const ZelResults r = chain.createChain(options.localIp, options.localPort,
                                           options.connectOption, options.broadcastNetmask);
    if (!r.ok()) {
        return stationStatus(r, "the chain could not be discovered and ordered from %s: %s",
                             options.localIp, ZelResults::showRespCode(r.code()));
    }
    const std::size_t n = plan->modules.size();
    const unsigned short found = chain.getNumModules();
    std::vector<ModuleData> data(found);
    for (unsigned short j = 0; j < found; ++j) data[j] = chain.getModule(j)->getModuleData();

    // Each module of the file is matched by its serial number, else by its
    // address.
    std::vector<int> match(n, -1);
    std::vector<bool> taken(found, false);
    std::vector<bool> byAddress(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        for (unsigned short j = 0; j < found; ++j) {
            if (!taken[j] && sameSerial(plan->modules[i].info.serialNumber, data[j].serialNumber)) {
                match[i] = j;
                taken[j] = true;
                break;
            }
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (match[i] >= 0) continue;
        for (unsigned short j = 0; j < found; ++j) {
            if (!taken[j] && std::strcmp(plan->modules[i].info.address, data[j].ipAddress) == 0) {
                match[i] = j;
                taken[j] = true;
                byAddress[i] = true;
                break;
            }
        }
    }
    std::vector<bool> swapReported(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        const ModulePlan& m = plan->modules[i];
        const int pos = static_cast<int>(i);
        const int j = match[i];
        if (j < 0) {
            report.push_back(
                difference(ZEL_STATION_MISSING, pos, -1, m.info.address, m.info.serialNumber, ""));
            continue;
        }
        const ModuleData& d = data[j];
        impl->byPosition[i] = chain.getModule(static_cast<unsigned short>(j));
        impl->sameKind[i] = stationKindOf(d.moduleId) == m.kind;
        if (j != pos && !swapReported[i]) {
            const bool swap = j < static_cast<int>(n) && match[j] == pos;
            if (swap) {
                report.push_back(difference(ZEL_STATION_SWAPPED, pos, j, d.ipAddress,
                                            m.info.serialNumber,
                                            plan->modules[j].info.serialNumber));
                swapReported[i] = swapReported[j] = true;
            } else {
                report.push_back(difference(ZEL_STATION_POSITION_DIFFERS, pos, j, d.ipAddress,
                                            std::to_string(pos), std::to_string(j)));
            }
        }
        if (d.moduleId != m.info.moduleId) {
            report.push_back(difference(ZEL_STATION_OTHER_MODEL, pos, j, d.ipAddress,
                                        idText(m.info.moduleId), idText(d.moduleId)));
        }
        if (byAddress[i]) {
            report.push_back(difference(ZEL_STATION_OTHER_SERIAL, pos, j, d.ipAddress,
                                        m.info.serialNumber, d.serialNumber));
        }
        if (std::strcmp(d.firmwareVersion, m.info.firmwareVersion) != 0) {
            report.push_back(difference(ZEL_STATION_OTHER_FIRMWARE, pos, j, d.ipAddress,
                                        m.info.firmwareVersion, d.firmwareVersion));
        }
    }
    for (unsigned short j = 0; j < found; ++j) {
        if (!taken[j]) {
            report.push_back(
                difference(ZEL_STATION_EXTRA, -1, j, data[j].ipAddress, "", data[j].serialNumber));
        }
    }
    return ZelStationStatus{};
}
