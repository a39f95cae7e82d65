#include "sim_replay.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "modules/module_identity.h"
#include "sim_kinds.h"
#include "station/zel_recorder.h"

namespace zelsim {

namespace {

using zel::identity::Kind;

constexpr MODULE_ID kFiller = ZEL_4103_01;  // a power supply
constexpr std::size_t kStepTrial = 4096;    // values a channel's step is chosen on
constexpr double kMaxCount = 4294967295.0;  // a 32-bit count

// What a host without a configuration file makes of each form's raw value,
// operation for operation, so that exactness can be checked.
double forward(ReplayForm form, std::int64_t raw, double step) {
    const double c = static_cast<double>(raw);
    switch (form) {
        case ReplayForm::Count:
        case ReplayForm::KalixCount:
            return c;
        case ReplayForm::KalixLinear:
            return c * step * 1e-6 + 0.0;
        case ReplayForm::KalixRotary: {
            double p = c / step * 360.0 + 0.0;
            p = std::fmod(p, 360.0);
            return p < 0 ? p + 360.0 : p;
        }
        case ReplayForm::Volts:
            return (c / 1000.0 * 5.0 - 12.5) * -1.0 + 0.0;
        case ReplayForm::Milliamps:
            return c / 1000.0 * 3.2 + 4.0 + 0.0;
        case ReplayForm::LvdtZero:
            return 0.0;
    }
    return 0.0;
}

// The raw values a form may carry, and the first guess for a value.
std::int64_t highest(ReplayForm form, double step) {
    switch (form) {
        case ReplayForm::KalixRotary:
            return static_cast<std::int64_t>(step) - 1;
        case ReplayForm::Volts:
        case ReplayForm::Milliamps:
            return 65535;
        case ReplayForm::LvdtZero:
            return 0;
        default:
            return static_cast<std::int64_t>(kMaxCount);
    }
}

double guess(ReplayForm form, double v, double step) {
    switch (form) {
        case ReplayForm::KalixLinear:
            return v * 1e6 / step;
        case ReplayForm::KalixRotary:
            return v / 360.0 * step;
        case ReplayForm::Volts:
            return (12.5 - v) / 0.005;
        case ReplayForm::Milliamps:
            return (v - 4.0) / 0.0032;
        case ReplayForm::LvdtZero:
            return 0.0;
        default:
            return v;
    }
}

// The raw value that gives `v` back; false when none does (`raw` is then
// the nearest one).
bool toRaw(ReplayForm form, double v, double step, std::int64_t& raw) {
    const std::int64_t top = highest(form, step);
    const double g = guess(form, v, step);
    std::int64_t c = 0;
    if (std::isfinite(g)) c = g <= 0 ? 0 : g >= static_cast<double>(top) ? top : std::llround(g);
    raw = c;
    for (std::int64_t d : {0, -1, 1, -2, 2}) {
        const std::int64_t t = c + d;
        if (t < 0 || t > top) continue;
        if (forward(form, t, step) == v) {
            raw = t;
            return true;
        }
    }
    return false;
}

// The step (nanometres or counts a turn) that converts most of the first
// values of a channel exactly.
double chooseStep(ReplayForm form, const std::vector<double>& values, std::size_t stride,
                  std::size_t at) {
    std::vector<double> candidates{1.0};
    if (form == ReplayForm::KalixLinear) {
        candidates = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 10000, 100000, 1000000};
    } else if (form == ReplayForm::KalixRotary) {
        candidates.clear();
        for (int bits = 31; bits >= 8; --bits) candidates.push_back(std::ldexp(1.0, bits));
        for (double s : {360.0, 3600.0, 36000.0, 360000.0, 1000.0, 10000.0, 100000.0, 1e6})
            candidates.push_back(s);
    }
    double best = candidates.front();
    std::size_t bestExact = 0;
    for (double step : candidates) {
        std::size_t exact = 0;
        for (std::size_t i = at, n = 0; i < values.size() && n < kStepTrial; i += stride, ++n) {
            std::int64_t raw = 0;
            if (toRaw(form, values[i], step, raw)) ++exact;
        }
        if (exact > bestExact) {
            best = step;
            bestExact = exact;
        }
    }
    return best;
}

struct Channel {
    ReplayForm form = ReplayForm::Count;
    double step = 1.0;
    std::string unit;
    unsigned long long inexact = 0;
};

struct Module {
    unsigned short position = 0;
    Kind kind = Kind::Ttl;
    std::size_t index = 0;  // in the segment
    std::vector<Channel> channels;
    std::vector<std::int64_t> raw;  // samples x channels
    std::vector<std::uint8_t> silent;
    // Step mode: the sample of this module's last counts call, and where
    // its last request came from.
    long long served = -1;
    bool lastWasCounts = false;
    std::uint32_t lastIp = 0;
    std::uint16_t lastPort = 0;
};

std::string positionText(const Module& m, std::size_t c) {
    return "module " + std::to_string(m.position) + " channel " + std::to_string(c);
}

// The kind a recording names as tools show it; false for none.
bool kindNamed(const std::string& name, Kind& kind) {
    for (const zel::identity::KindInfo& k : zel::identity::kKinds) {
        if (name == k.name) {
            kind = k.kind;
            return true;
        }
    }
    return false;
}

// A recorded module as its kind's replay model serves it, with the recorded
// serial number and firmware version.
ModuleState stateOf(const SimKind& kind, const ZelRecordingContext::Module& r, std::size_t channels,
                    int index) {
    ModuleState s;
    s.moduleId = replayModel(kind, channels);
    s.numChannels =
        static_cast<std::uint8_t>(kind.replayChannels != 0 ? kind.replayChannels : channels);
    s.mac[4] = 0x52;
    s.mac[5] = static_cast<std::uint8_t>(index);
    if (!r.serialNumber.empty()) s.serial = r.serialNumber.substr(0, 8);
    unsigned a = 0, b = 0, c = 0;
    if (std::sscanf(r.firmwareVersion.c_str(), "%u.%u.%u", &a, &b, &c) == 3 && a < 256 && b < 256 &&
        c < 256) {
        s.firmwareVersion = Version{static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                    static_cast<std::uint8_t>(c), 0, 0};
    }
    return s;
}

// The host number of a recorded address: its last byte when it is free.
int hostOf(const std::string& address, std::set<int>& taken) {
    const std::size_t dot = address.rfind('.');
    const int last = dot == std::string::npos ? 0 : std::atoi(address.c_str() + dot + 1);
    if (last >= 2 && last <= 254 && taken.insert(last).second) return last;
    for (int h = 2; h <= 254; ++h) {
        if (taken.insert(h).second) return h;
    }
    return -1;
}

}  // namespace

struct Replay::Impl {
    std::vector<PlannedModule> plan;
    std::vector<Module> modules;
    std::vector<long long> offsetsUs;  // each sample's deadline after the first's
    ReplayOptions options;
    long long startUs = 0;
    long long global = -1;  // step mode: the newest sample any module took
    unsigned short leader = 0;
    std::atomic<long long> reached{-1};

    // The sample the chain serves now (-1: none yet).
    long long current(long long now) const {
        if (options.step) return global;
        if (startUs == 0) return -1;
        const double elapsed = static_cast<double>(now - startUs) * options.speed;
        return static_cast<long long>(std::upper_bound(offsetsUs.begin(), offsetsUs.end(),
                                                       static_cast<long long>(elapsed)) -
                                      offsetsUs.begin()) -
               1;
    }

    bool gate(Module& m, ModuleState& s, const Bytes& request, std::uint32_t ip,
              std::uint16_t port);
};

Replay::Replay() : impl(std::make_shared<Impl>()) {}
Replay::~Replay() = default;

const std::vector<PlannedModule>& Replay::plan() const { return impl->plan; }
unsigned long long Replay::samples() const { return impl->offsetsUs.size(); }
long long Replay::reached() const { return impl->reached.load(); }

std::vector<std::string> Replay::inexact() const {
    std::vector<std::string> out;
    for (const Module& m : impl->modules) {
        for (std::size_t c = 0; c < m.channels.size(); ++c) {
            if (m.channels[c].inexact == 0) continue;
            out.push_back(positionText(m, c) + " (" + m.channels[c].unit +
                          "): " + std::to_string(m.channels[c].inexact) + " of " +
                          std::to_string(m.silent.size()) +
                          " values served as the nearest the module can send");
        }
    }
    return out;
}

bool Replay::load(const std::string& path, std::string& error) {
    ZelRecording rec;
    if (!rec.open(path)) {
        error = rec.error();
        return false;
    }
    const ZelRecordingContext& context = rec.context();
    Impl& d = *impl;
    std::vector<std::vector<double>> values(context.modules.size());
    std::vector<int> slot(65536, -1);  // position -> module
    for (std::size_t i = 0; i < context.modules.size(); ++i) {
        const ZelRecordingContext::Module& r = context.modules[i];
        if (slot[r.position] >= 0) {
            error =
                path + ": the recording names position " + std::to_string(r.position) + " twice";
            return false;
        }
        slot[r.position] = static_cast<int>(i);
        Module m;
        m.position = r.position;
        for (const ZelRecordingContext::Channel& c : context.channels) {
            if (c.position != r.position || c.channel >= 8) continue;
            if (m.channels.size() <= c.channel) m.channels.resize(c.channel + 1u);
            m.channels[c.channel].unit = c.unit;
        }
        if (!kindNamed(r.kind, m.kind) || simKind(m.kind).replayForm == nullptr) {
            error = path + ": module " + std::to_string(m.position) + " is of a kind ('" + r.kind +
                    "') the simulator has no measuring module of";
            return false;
        }
        for (std::size_t c = 0; c < m.channels.size(); ++c) {
            if (!simKind(m.kind).replayForm(c, m.channels[c].unit, m.channels[c].form)) {
                error = path + ": " + positionText(m, c) + " (" + r.kind + ", '" +
                        m.channels[c].unit +
                        "'): a simulated module cannot reproduce this value without the "
                        "recording host's configuration";
                return false;
            }
        }
        d.modules.push_back(m);
    }
    long long first = 0;
    const bool read = rec.forEach(LLONG_MIN, LLONG_MAX, [&](const ZelAcqRecord& r) {
        if (r.kind != ZEL_ACQ_SAMPLE) return true;
        if (d.offsetsUs.empty()) first = r.deadlineUs;
        d.offsetsUs.push_back(r.deadlineUs - first);
        for (std::size_t i = 0; i < d.modules.size(); ++i) {
            Module& m = d.modules[i];
            const std::size_t n = m.channels.size();
            const ZelAcqModuleValues* v = nullptr;
            for (const ZelAcqModuleValues& e : r.modules) {
                if (e.position == m.position) v = &e;
            }
            const bool silent = v == nullptr || v->code != 0;
            m.silent.push_back(silent ? 1 : 0);
            for (std::size_t c = 0; c < n; ++c)
                values[i].push_back(!silent && c < v->numValues ? v->values[c] : 0.0);
        }
        return true;
    });
    if (!read) {
        error = rec.error();
        return false;
    }
    if (d.offsetsUs.empty()) {
        error = path + ": the recording holds no sample to replay";
        return false;
    }
    // Convert, each channel with the step that keeps most values exact.
    for (std::size_t i = 0; i < d.modules.size(); ++i) {
        Module& m = d.modules[i];
        const std::size_t n = m.channels.size();
        m.raw.resize(values[i].size());
        for (std::size_t c = 0; c < n; ++c) {
            Channel& ch = m.channels[c];
            ch.step = chooseStep(ch.form, values[i], n, c);
            for (std::size_t k = 0; k < m.silent.size(); ++k) {
                if (m.silent[k] != 0) continue;
                if (!toRaw(ch.form, values[i][k * n + c], ch.step, m.raw[k * n + c])) ++ch.inexact;
            }
        }
        std::vector<double>().swap(values[i]);
    }
    // The chain: the recorded modules at their positions, the others filled.
    std::set<int> taken{1};
    unsigned short last = 0;
    for (const Module& m : d.modules) last = std::max(last, m.position);
    for (unsigned short p = 0; p <= last; ++p) {
        ModuleState s;
        std::string address;
        if (slot[p] >= 0) {
            const ZelRecordingContext::Module& r =
                context.modules[static_cast<std::size_t>(slot[p])];
            Module& m = d.modules[static_cast<std::size_t>(slot[p])];
            s = stateOf(simKind(m.kind), r, m.channels.size(), p);
            for (std::size_t c = 0; c < m.channels.size(); ++c) {
                KalixEncoder& e = s.kalix[c];
                e.present = m.channels[c].form == ReplayForm::KalixLinear ||
                            m.channels[c].form == ReplayForm::KalixRotary;
                e.rotary = m.channels[c].form == ReplayForm::KalixRotary;
                e.revolutions = 1;
                e.measuringStep = static_cast<std::uint32_t>(m.channels[c].step);
            }
            m.index = p;
            address = r.address;
        } else {
            s.moduleId = kFiller;
            s.numChannels = 0;
            s.mac[4] = 0x52;
            s.mac[5] = static_cast<std::uint8_t>(p);
        }
        const int host = hostOf(address, taken);
        if (host < 0) {
            error = path + ": more modules than a simulated subnet holds";
            return false;
        }
        d.plan.push_back({host, s});
    }
    d.plan.front().state.connectFlag = true;
    return true;
}

bool Replay::Impl::gate(Module& m, ModuleState& s, const Bytes& request, std::uint32_t ip,
                        std::uint16_t port) {
    const long long now = nowUs();
    const auto samples = static_cast<long long>(m.silent.size());
    const bool counts = request[0] == 1;
    const bool retry = counts && m.lastWasCounts && ip == m.lastIp && port == m.lastPort;
    m.lastWasCounts = counts;
    m.lastIp = ip;
    m.lastPort = port;
    if (!counts) {
        // A module missing from the sample now served hears nothing.
        const long long k = current(now);
        return k < 0 || k >= samples || m.silent[static_cast<std::size_t>(k)] == 0;
    }
    long long k = 0;
    if (!options.step) {
        if (startUs == 0) startUs = now;
        k = current(now);
    } else if (retry && m.served >= 0) {
        k = m.served;
    } else if (m.served >= global || leader > m.position) {
        // The first module asked starts the next snapshot; the requests of
        // one go out in position order.
        k = global + 1;
        global = k;
        leader = m.position;
    } else {
        k = global;
    }
    m.served = k;
    if (k >= samples) return false;
    if (k > reached.load()) reached = k;
    if (m.silent[static_cast<std::size_t>(k)] != 0) return false;
    const std::size_t n = m.channels.size();
    for (std::size_t c = 0; c < n; ++c) {
        const std::int64_t raw = m.raw[static_cast<std::size_t>(k) * n + c];
        switch (m.channels[c].form) {
            case ReplayForm::Volts:
            case ReplayForm::Milliamps:
                s.analog.words[c % 4] = static_cast<std::uint16_t>(raw);
                break;
            case ReplayForm::LvdtZero:
                s.lvdt.readings[c] = 0;
                break;
            default:
                s.axes[c].count = raw;
                s.axes[c].countsPerSecond = 0.0;
                break;
        }
    }
    return true;
}

void Replay::attach(Segment& segment, const ReplayOptions& options) {
    impl->options = options;
    if (!(impl->options.speed > 0)) impl->options.speed = 1.0;
    std::shared_ptr<Impl> d = impl;
    for (std::size_t i = 0; i < d->modules.size(); ++i) {
        segment.setGate(d->modules[i].index, [d, i](ModuleState& s, const Bytes& r,
                                                    std::uint32_t ip, std::uint16_t port) {
            return d->gate(d->modules[i], s, r, ip, port);
        });
    }
}

}  // namespace zelsim
