// The commands of the module kinds. Each simulated module answers those of
// the kind its identity names: Kalix encoders report absolute values with
// revolutions, 1 Vpp and TTL modules 32-bit counters with wrap counts, LVDT
// modules signed 24-bit readings, analog modules voltage and current words,
// I/O and pneumatic modules their input and output masks. The measured
// values come from the module's axes and kind state, which tests set. Each
// kind's section ends with the forms a recording of the kind is served in;
// the kinds' rows (sim_kinds.h) are at the end.
#include <cmath>
#include <iterator>
#include <optional>

#include "modules/module_identity.h"
#include "platform/clock.h"
#include "sim_kinds.h"
#include "sim_segment.h"

namespace zelsim {
namespace {

using zel::identity::Kind;

void putLe16(Bytes& p, std::size_t at, std::uint16_t v) {
    p[at] = static_cast<std::uint8_t>(v);
    p[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void putBe16(Bytes& p, std::size_t at, std::uint16_t v) {
    p[at] = static_cast<std::uint8_t>(v >> 8);
    p[at + 1] = static_cast<std::uint8_t>(v);
}
void putLe32(Bytes& p, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putLe64(Bytes& p, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putText(Bytes& p, std::size_t at, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width && i < text.size(); ++i) p[at + i] = text[i];
}
std::uint16_t le16(const Bytes& r, std::size_t at) {
    return static_cast<std::uint16_t>(r[at] | r[at + 1] << 8);
}

std::optional<Bytes> reply(int type, std::uint8_t count, const Bytes& params) {
    return frame(type, count, params);
}
std::optional<Bytes> refuse() { return frame(17, 0, {}); }

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::size_t channelsOf(const ModuleState& s) { return std::min<std::size_t>(s.numChannels, 8); }

// The channels an incremental module counts: a six-channel answer to the
// module-type request describes four channels (the 48 bytes of a
// four-channel 1 Vpp counts answer are six 8-byte entries).
std::size_t countedChannels(const ModuleState& s) { return s.numChannels == 6 ? 4 : channelsOf(s); }

// Wraps `handler` so that requests it leaves (no answer) go to `fallback`.
Handler extend(Handler fallback,
               std::function<std::optional<Bytes>(ModuleState&, const Bytes&, bool&)> own) {
    return [fallback, own](ModuleState& s, const Bytes& r) -> std::optional<Bytes> {
        bool handled = false;
        auto answer = own(s, r, handled);
        if (handled) return answer;
        return fallback ? fallback(s, r) : refuse();
    };
}

// ---- Kalix ------------------------------------------------------------------

// The encoder's value of an axis: linear the count; single-turn rotary the
// count within the turn with the turn in bits 32-47 (1 for the first turn,
// negative turns as they are); multi-turn the low positionBits of the count.
std::uint64_t kalixValue(const KalixEncoder& e, std::int64_t total) {
    if (!e.present || !e.rotary) return static_cast<std::uint64_t>(total);
    if (e.revolutions <= 1) {
        const std::int64_t step = e.measuringStep == 0 ? 1 : e.measuringStep;
        const std::int64_t turn = floorDiv(total, step);
        const std::int64_t within = total - turn * step;
        const std::int64_t field = turn >= 0 ? turn + 1 : turn;
        return static_cast<std::uint64_t>(static_cast<std::uint16_t>(field)) << 32 |
               static_cast<std::uint32_t>(within);
    }
    const unsigned bits = e.positionBits >= 64 ? 64 : e.positionBits;
    const std::uint64_t mask = bits == 64 ? ~0ULL : (1ULL << bits) - 1ULL;
    return static_cast<std::uint64_t>(total) & mask;
}

void addKalix(std::map<int, Handler>& h) {
    h[1] = [](ModuleState& s, const Bytes&) {
        const std::size_t n = channelsOf(s);
        Bytes p(8 * n, 0);
        for (std::size_t c = 0; c < n; ++c)
            putLe64(p, 8 * c, kalixValue(s.kalix[c], s.axes[c].now()));
        return reply(1, static_cast<std::uint8_t>(n), p);
    };
    h[11] = [](ModuleState& s, const Bytes& r) {
        if (r.size() < 4 || r[3] >= 8) return refuse();
        const KalixEncoder& e = s.kalix[r[3]];
        Bytes p(7, 0);
        p[0] = r[3];
        p[1] = e.inverted ? 1 : 0;
        p[2] = e.rotary ? 1 : 0;
        putLe32(p, 3, e.measuringStep);
        return reply(11, 4, p);
    };
    h[12] = [](ModuleState& s, const Bytes& r) {
        if (r.size() < 4 || r[3] >= 8) return refuse();
        const KalixEncoder& e = s.kalix[r[3]];
        Bytes p(47, 0);
        p[0] = r[3];
        putText(p, 1, e.name, 9);
        putText(p, 10, e.id, 10);
        putText(p, 20, e.serial, 16);
        putLe32(p, 36, e.infoA);
        putLe32(p, 40, e.infoB);
        putLe16(p, 44, e.revolutions);
        p[46] = e.positionBits;
        return reply(12, 9, p);
    };
    h[16] = [](ModuleState& s, const Bytes&) {
        const std::size_t n = channelsOf(s);
        Bytes p(4 * n, 0);
        for (std::size_t c = 0; c < n; ++c) p[4 * c] = s.kalix[c].present ? 1 : 0;
        return reply(16, static_cast<std::uint8_t>(n), p);
    };
    // The status read carries the encoder's flags and diagnostic bytes.
    h[33] =
        extend(h[33], [](ModuleState& s, const Bytes& r, bool& handled) -> std::optional<Bytes> {
            if (r.size() < 5 || r[4] != 0 || r[3] >= 8) return std::nullopt;
            handled = true;
            const KalixEncoder& e = s.kalix[r[3]];
            Bytes p{r[3], s.channelStatus[r[3]]};
            p.insert(p.end(), e.errors.begin(), e.errors.end());
            p.insert(p.end(), e.warnings.begin(), e.warnings.end());
            p.insert(p.end(), e.diag.begin(), e.diag.end());
            return reply(33, 23, p);
        });
}

// A recording's counts, millimetres (a linear encoder) and degrees (a
// single-turn rotary encoder).
bool kalixForm(std::size_t, const std::string& unit, ReplayForm& form) {
    if (unit == "counts") {
        form = ReplayForm::KalixCount;
    } else if (unit == "mm") {
        form = ReplayForm::KalixLinear;
    } else if (unit == "deg") {
        form = ReplayForm::KalixRotary;
    } else {
        return false;
    }
    return true;
}

// ---- 1 Vpp and TTL ----------------------------------------------------------

// A channel's 32-bit counter and its wrap count.
struct Counter {
    std::uint32_t value;
    std::int32_t wraps;
};

Counter counterOf(const ModuleState& s, std::size_t c) {
    std::int64_t total = s.axes[c].now();
    if (s.incremental[c].direction != 0) total = -total;
    return {static_cast<std::uint32_t>(total),
            static_cast<std::int32_t>(floorDiv(total, 1LL << 32))};
}

void startReferencing(IncrementalChannel& ch, std::uint8_t kind, std::uint16_t parameter) {
    ch.markKind = kind;
    ch.markParameter = parameter;
    ch.pollsLeft = ch.referencePolls;
    ch.referenced = false;
    ch.acknowledged = false;
    ch.referenceState = 1;
}

std::uint8_t pollReferencing(IncrementalChannel& ch) {
    if (ch.pollsLeft > 0 && --ch.pollsLeft == 0) {
        ch.referenced = true;
        ch.referenceState = 2;
    }
    return ch.referenced ? 1 : 0;
}

std::optional<Bytes> referenceState(ModuleState& s, const Bytes& r) {
    Bytes p(2, 0);
    putBe16(p, 0, s.incremental[r[4] % 8].referenceState);
    return reply(32, 1, p);
}

// Sub-operation 2 of command 33 acknowledges a reference.
std::optional<Bytes> acknowledge(ModuleState& s, const Bytes& r, bool& handled) {
    if (r.size() < 5 || r[3] >= 8 || r[4] != 2) return std::nullopt;
    handled = true;
    s.incremental[r[3]].acknowledged = true;
    s.incremental[r[3]].referenceState = 0;
    return reply(33, 0, {});
}

void addOneVpp(std::map<int, Handler>& h) {
    // m counts of 8 bytes, then m wrap counts of 4; a module that reports
    // six channels names its answer six entries.
    h[1] = [](ModuleState& s, const Bytes&) {
        const std::size_t m = countedChannels(s);
        Bytes p(12 * m, 0);
        for (std::size_t c = 0; c < m; ++c) {
            const Counter k = counterOf(s, c);
            putLe32(p, 8 * c, k.value);
            putLe32(p, 8 * m + 4 * c, static_cast<std::uint32_t>(k.wraps));
        }
        return reply(1, static_cast<std::uint8_t>(s.numChannels == 6 ? 6 : m), p);
    };
    h[15] = [](ModuleState& s, const Bytes& r) {
        if (r.size() < 13 || r[4] >= 8) return refuse();
        IncrementalChannel& ch = s.incremental[r[4]];
        switch (r[3]) {
            case 9:
                return reply(15, 1, {ch.signalType});
            case 10:
                ch.signalType = r[5];
                return reply(15, 0, {});
            case 11:
                ch.signalType = ch.detectedSignalType;
                return reply(15, 1, {ch.signalType});
            default:
                return refuse();
        }
    };
    h[27] = [](ModuleState& s, const Bytes& r) {
        if (r.size() < 5 || r[3] >= 8) return refuse();
        IncrementalChannel& ch = s.incremental[r[3]];
        if (r[4] == 0) {
            Bytes p(4, 0);
            putLe16(p, 0, ch.diagWords[0]);
            putLe16(p, 2, ch.diagWords[1]);
            return reply(27, 2, p);
        }
        ch.analogDiag = r[4] == 1;
        return reply(27, 0, {});
    };
    h[32] =
        extend(h[32], [](ModuleState& s, const Bytes& r, bool& handled) -> std::optional<Bytes> {
            if (r.size() < 8 || r[4] >= 8 || (r[3] != 1 && r[3] != 3)) return std::nullopt;
            handled = true;
            if (r[3] == 3) return referenceState(s, r);
            startReferencing(s.incremental[r[4]], r[5], le16(r, 6));
            return reply(32, 0, {});
        });
    h[33] =
        extend(h[33], [](ModuleState& s, const Bytes& r, bool& handled) -> std::optional<Bytes> {
            if (r.size() >= 5 && r[3] < 8 && r[4] == 3) {
                handled = true;
                return reply(33, 1, {pollReferencing(s.incremental[r[3]])});
            }
            return acknowledge(s, r, handled);
        });
}

void addTtl(std::map<int, Handler>& h) {
    // m counts, then m wrap counts, 4 bytes each.
    h[1] = [](ModuleState& s, const Bytes&) {
        const std::size_t m = countedChannels(s);
        Bytes p(8 * m, 0);
        for (std::size_t c = 0; c < m; ++c) {
            const Counter k = counterOf(s, c);
            putLe32(p, 4 * c, k.value);
            putLe32(p, 4 * m + 4 * c, static_cast<std::uint32_t>(k.wraps));
        }
        return reply(1, static_cast<std::uint8_t>(m), p);
    };
    h[15] = [](ModuleState& s, const Bytes& r) {
        if (r.size() < 13) return refuse();
        if (r[3] == 6) {
            Bytes p(2, 0);
            putLe16(p, 0, s.fpgaRevision);
            return reply(15, 1, p);
        }
        if (r[4] >= 8) return refuse();
        IncrementalChannel& ch = s.incremental[r[4]];
        switch (r[3]) {
            case 0:
                return reply(15, 1, {ch.presence});
            case 1:
                ch.presence = r[5];
                return reply(15, 0, {});
            case 2:
                startReferencing(ch, r[5], le16(r, 6));
                return reply(15, 0, {});
            case 3:
                return reply(15, 1, {pollReferencing(ch)});
            case 5:
                ch.direction = r[5];
                return reply(15, 0, {});
            case 8:
                ch.interpolation = static_cast<std::uint16_t>(r[5] << 8 | r[6]);
                return reply(15, 0, {});
            default:
                return refuse();
        }
    };
    h[32] =
        extend(h[32], [](ModuleState& s, const Bytes& r, bool& handled) -> std::optional<Bytes> {
            if (r.size() < 5 || r[3] != 3) return std::nullopt;
            handled = true;
            return referenceState(s, r);
        });
    h[33] = extend(h[33], acknowledge);
}

// A recording's counts; positions come from the host's configuration.
bool countForm(std::size_t, const std::string& unit, ReplayForm& form) {
    form = ReplayForm::Count;
    return unit == "counts";
}

// ---- LVDT -------------------------------------------------------------------

// A reading as the module carries it: the negated value in 24 bits.
std::uint32_t rawReading(std::int32_t reading) {
    return static_cast<std::uint32_t>(-static_cast<std::int64_t>(reading)) & 0xFFFFFFu;
}

void addLvdt(std::map<int, Handler>& h) {
    h[1] = [](ModuleState& s, const Bytes&) {
        const std::size_t m = channelsOf(s);
        Bytes p(6 * m, 0);
        for (std::size_t c = 0; c < m; ++c) {
            putLe16(p, 2 * c, static_cast<std::uint16_t>(s.lvdt.millivolts[c]));
            putLe32(p, 2 * m + 4 * c, rawReading(s.lvdt.readings[c]));
        }
        return reply(1, static_cast<std::uint8_t>(m), p);
    };
    h[15] = [](ModuleState& s, const Bytes& r) {
        if (r.size() < 13) return refuse();
        LvdtState& l = s.lvdt;
        const std::uint8_t c = r[4] % 8;
        switch (r[3]) {
            case 0:
                return reply(15, 1, {l.presence[c]});
            case 1:
                l.presence[c] = r[5];
                return reply(15, 0, {});
            case 2:
                l.excitationMillivolts = le16(r, 4);
                return reply(15, 0, {});
            case 3: {
                Bytes p(6, 0);
                putLe16(p, 0, l.excitationMillivolts);
                putLe16(p, 2, l.dividerByte);
                putLe16(p, 4, l.prescalerByte);
                return reply(15, 3, p);
            }
            case 5: {
                const std::size_t first = 2 * (r[4] % 4);
                Bytes p(12, 0);
                putLe16(p, 0, static_cast<std::uint16_t>(l.millivolts[first]));
                putLe16(p, 2, static_cast<std::uint16_t>(l.millivolts[first + 1]));
                putLe32(p, 4, rawReading(l.readings[first]));
                putLe32(p, 8, rawReading(l.readings[first + 1]));
                return reply(15, 4, p);
            }
            case 6:
                l.prescalerByte = r[4];
                l.dividerByte = r[5];
                return reply(15, 0, {});
            case 9:
                l.diagnostics = r[4];
                return reply(15, 0, {});
            case 10:
                if (r[6] == 1) {
                    l.teachPollsLeft[c] = 2;
                } else {
                    l.gain[c] = r[5];
                }
                return reply(15, 0, {});
            case 11:
                if (r[5] == 1) {
                    if (l.teachPollsLeft[c] > 0 && --l.teachPollsLeft[c] == 0)
                        l.gain[c] = l.taughtGain;
                    return reply(15, 1, {static_cast<std::uint8_t>(l.teachPollsLeft[c] == 0)});
                }
                return reply(15, 1, {l.gain[c]});
            case 12: {
                Bytes p(2, 0);
                putLe16(p, 0, l.fpgaRevision);
                return reply(15, 1, p);
            }
            case 13:
                l.oversampling = r[5];
                return reply(15, 0, {});
            default:
                return refuse();
        }
    };
}

// A recording's values without a resolution, which are all 0; with one
// they come from the host's configuration.
bool lvdtForm(std::size_t, const std::string& unit, ReplayForm& form) {
    form = ReplayForm::LvdtZero;
    return unit == "counts";
}

// ---- Analog, I/O, pneumatic -------------------------------------------------

void addAnalog(std::map<int, Handler>& h) {
    h[1] = [](ModuleState& s, const Bytes& r) {
        // Big-endian words, little-endian for the alternate read.
        const bool littleEndian = r.size() > 3 && r[3] == 1;
        Bytes p(8, 0);
        for (std::size_t i = 0; i < 4; ++i) {
            if (littleEndian) {
                putLe16(p, 2 * i, s.analog.words[i]);
            } else {
                putBe16(p, 2 * i, s.analog.words[i]);
            }
        }
        return reply(1, 4, p);
    };
    h[15] = [](ModuleState& s, const Bytes&) {
        Bytes p(24, 0);
        for (std::size_t i = 0; i < 12; ++i) putBe16(p, 2 * i, s.analog.diag[i]);
        return reply(15, 12, p);
    };
    h[27] = [](ModuleState& s, const Bytes& r) {
        if (r.size() < 5 || r[3] >= 2 || r[4] > 100) return refuse();
        s.analog.samples[r[3]] = r[4];
        return reply(27, 0, {});
    };
}

// Volts on the even channels, milliamperes on the odd ones.
bool analogForm(std::size_t channel, const std::string& unit, ReplayForm& form) {
    form = channel % 2 == 0 ? ReplayForm::Volts : ReplayForm::Milliamps;
    return unit == (channel % 2 == 0 ? "V" : "mA");
}

void addOutputs(std::map<int, Handler>& h, bool valveOnly) {
    h[1] = [valveOnly](ModuleState& s, const Bytes&) {
        if (valveOnly) return reply(1, 1, {static_cast<std::uint8_t>(s.outputs & 0x08)});
        return reply(1, 2, {s.inputs, s.outputs});
    };
    h[2] = [valveOnly](ModuleState& s, const Bytes& r) {
        if (r.size() < 5 || r[3] == 0 || r[3] > 4 || (valveOnly && r[3] != 4)) return refuse();
        const auto bit = static_cast<std::uint8_t>(1u << (r[3] - 1));
        s.outputs = static_cast<std::uint8_t>(r[4] != 0 ? s.outputs | bit : s.outputs & ~bit);
        return reply(2, 0, {});
    };
}

void addIo(std::map<int, Handler>& h) { addOutputs(h, false); }
void addPneumatic(std::map<int, Handler>& h) { addOutputs(h, true); }

// ---- The rows ---------------------------------------------------------------

// The TTL hardware fixes its channels: 4113 and 4114 count four, 4115
// eight. A replayed analog module reports its four values as channels.
constexpr MODULE_ID kNone = MODULE_ID_NONE;
constexpr SimKind kSimKinds[] = {
    {Kind::Kalix, addKalix, false, {ZEL_4105_01, kNone}, 0, kalixForm},
    {Kind::OneVpp, addOneVpp, false, {ZEL_4107_01, kNone}, 0, countForm},
    {Kind::PowerSupply, nullptr, false, {kNone, kNone}, 0, nullptr},
    {Kind::Io, addIo, false, {kNone, kNone}, 0, nullptr},
    {Kind::Pneumatic, addPneumatic, false, {kNone, kNone}, 0, nullptr},
    {Kind::Analog, addAnalog, false, {ZEL_4111_01, kNone}, 4, analogForm},
    {Kind::Ttl, addTtl, true, {ZEL_4114_01, ZEL_4115_01}, 0, countForm},
    {Kind::Lvdt, addLvdt, false, {ZEL_4116_01, kNone}, 0, lvdtForm},
};

constexpr bool simKindsInOrder() {
    if (std::size(kSimKinds) != std::size(zel::identity::kKinds)) return false;
    int i = 0;
    for (const SimKind& k : kSimKinds) {
        if (static_cast<int>(k.kind) != i++) return false;
    }
    return true;
}
static_assert(simKindsInOrder(), "kSimKinds has one row per Kind, in the order of Kind");

// A kind whose channels are its model's has a count for every model.
constexpr bool modelsFixTheirChannels() {
    for (const zel::identity::Entry& e : zel::identity::kTable) {
        if (kSimKinds[static_cast<int>(e.kind)].modelChannels && e.channels == 0) return false;
    }
    return true;
}
static_assert(modelsFixTheirChannels(), "a kind with model channels has them for every model");

// A kind's replay models are of the kind, fewest channels first, and served
// in forms; only a measuring kind has them.
constexpr bool replayModelsFitTheirKinds() {
    for (const SimKind& k : kSimKinds) {
        const bool served = k.replayModels[0] != MODULE_ID_NONE;
        if (served != (k.replayForm != nullptr)) return false;
        if (served && !zel::identity::kindInfo(k.kind).measuring) return false;
        unsigned fewest = 0;
        for (MODULE_ID id : k.replayModels) {
            if (id == MODULE_ID_NONE) continue;
            if (!zel::identity::isKind(id, k.kind) || zel::identity::channels(id) < fewest)
                return false;
            fewest = zel::identity::channels(id);
        }
    }
    return true;
}
static_assert(replayModelsFitTheirKinds(), "replay models of their row's kind, in channel order");

// The row of an identity's kind; null for 0 and any identity not in the table.
const SimKind* simKindOf(std::uint32_t moduleId) {
    const zel::identity::Entry* e = zel::identity::find(static_cast<MODULE_ID>(moduleId));
    return e != nullptr ? &kSimKinds[static_cast<int>(e->kind)] : nullptr;
}

}  // namespace

void Axis::set(std::int64_t value, double perSecond) {
    count = value;
    countsPerSecond = perSecond;
    setAtUs = nowUs();
}

std::int64_t Axis::now() const {
    if (countsPerSecond == 0.0) return count;
    const double seconds = static_cast<double>(nowUs() - setAtUs) / 1e6;
    return count + static_cast<std::int64_t>(std::llround(countsPerSecond * seconds));
}

void AnalogState::setVolts(int channel, double volts) {
    words[2 * (channel % 2)] = static_cast<std::uint16_t>(std::lround((12.5 - volts) / 0.005));
}

void AnalogState::setMilliamps(int channel, double milliamps) {
    words[2 * (channel % 2) + 1] =
        static_cast<std::uint16_t>(std::lround((milliamps - 4.0) / 0.0032));
}

long long nowUs() { return zel::platform::monotonicMicroseconds(); }

const SimKind& simKind(Kind kind) { return kSimKinds[static_cast<int>(kind)]; }

MODULE_ID replayModel(const SimKind& kind, std::size_t channels) {
    MODULE_ID model = MODULE_ID_NONE;
    for (MODULE_ID id : kind.replayModels) {
        if (id == MODULE_ID_NONE) break;
        model = id;
        const unsigned fixed = zel::identity::channels(id);
        if (fixed == 0 || fixed >= channels) break;
    }
    return model;
}

int channelsOfIdentity(std::uint32_t moduleId, int reported) {
    const SimKind* k = simKindOf(moduleId);
    if (k == nullptr || !k->modelChannels) return reported;
    return zel::identity::channels(static_cast<MODULE_ID>(moduleId));
}

void addKindHandlers(std::uint32_t moduleId, std::map<int, Handler>& handlers) {
    const SimKind* k = simKindOf(moduleId);
    if (k != nullptr && k->addHandlers != nullptr) k->addHandlers(handlers);
}

}  // namespace zelsim
