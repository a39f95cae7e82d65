// The module kinds' rows: objects, snapshot decoders and value units.
#include "modules/module_kinds.h"

#include <algorithm>
#include <iterator>
#include <new>

#include "foundation/result_helpers.h"
#include "modules/zel_1vpp_module.h"
#include "modules/zel_analog_module.h"
#include "modules/zel_io_module.h"
#include "modules/zel_kalix_module.h"
#include "modules/zel_lvdt_module.h"
#include "modules/zel_ttl_module.h"

namespace zel::kinds {
namespace {

using identity::Kind;
constexpr char kMethod[] = "ZelChainSampler::sample";
constexpr unsigned short kCap = kSampleCapacity;

template <class M>
ZelModule* make() {
    return new (std::nothrow) M;
}

unsigned short channelsOf(ZelModule& m) {
    return m.getNumChannels() < kCap ? m.getNumChannels() : kCap;
}

// An encoder channel's positions are in the unit of its record.
unsigned short encoderUnits(ZelModule& m, const char* (&out)[kCap]) {
    auto* device = dynamic_cast<ZelDeviceModule*>(&m);
    const unsigned short n = device != nullptr ? channelsOf(m) : 0;
    for (unsigned short c = 0; c < n; ++c) {
        EncoderInfo info;
        device->getEncoderInfo(&info, c);
        out[c] = encoderUnitName(info.uom, info.encoderType);
    }
    return n;
}

ZelResults decodeKalix(ZelModule& m, ZelbusResponse& answer, COUNT_REQUEST_OPTION /*option*/,
                       Decoded& out) {
    auto* kalix = dynamic_cast<ZelKalixModule*>(&m);
    if (kalix == nullptr) return ZEL_RESULT(ZEL_MODULE_NUMBER_INVALID, kMethod);
    ZelResults r = kalix->positionsFromAnswer(answer, out.values, out.revolutions, kCap);
    if (r.ok()) r = kalix->countsFromAnswer(answer, out.counts, out.revolutions, kCap);
    return r;
}

ZelResults decodeOneVpp(ZelModule& m, ZelbusResponse& answer, COUNT_REQUEST_OPTION /*option*/,
                        Decoded& out) {
    auto* vpp = dynamic_cast<Zel1VppModule*>(&m);
    if (vpp == nullptr) return ZEL_RESULT(ZEL_MODULE_NUMBER_INVALID, kMethod);
    ZelResults r = vpp->positionsFromAnswer(answer, out.values, kCap);
    if (r.ok()) r = m.ZelModule::countsFromAnswer(answer, out.counts, kCap);
    return r;
}

ZelResults decodeTtl(ZelModule& m, ZelbusResponse& answer, COUNT_REQUEST_OPTION /*option*/,
                     Decoded& out) {
    auto* ttl = dynamic_cast<ZelTtlModule*>(&m);
    if (ttl == nullptr) return ZEL_RESULT(ZEL_MODULE_NUMBER_INVALID, kMethod);
    ZelResults r = ttl->positionsFromAnswer(answer, out.values, kCap);
    if (r.ok()) r = ttl->countsFromAnswer(answer, out.counts, kCap);
    return r;
}

ZelResults decodeLvdt(ZelModule& m, ZelbusResponse& answer, COUNT_REQUEST_OPTION /*option*/,
                      Decoded& out) {
    auto* lvdt = dynamic_cast<ZelLvdtModule*>(&m);
    if (lvdt == nullptr) return ZEL_RESULT(ZEL_MODULE_NUMBER_INVALID, kMethod);
    ZelResults r = lvdt->positionsFromAnswer(answer, out.values, kCap);
    long readings[kCap] = {};
    if (r.ok()) r = lvdt->readingsFromAnswer(answer, readings, kCap);
    for (unsigned short c = 0; c < kCap; ++c)
        out.counts[c] = static_cast<unsigned long>(readings[c]);
    return r;
}

// A channel without a resolution gives its raw reading.
unsigned short lvdtUnits(ZelModule& m, const char* (&out)[kCap]) {
    auto* lvdt = dynamic_cast<ZelLvdtModule*>(&m);
    const unsigned short n = lvdt != nullptr ? channelsOf(m) : 0;
    for (unsigned short c = 0; c < n; ++c) {
        double resolution = 0.0;
        LVDT_UOM uom = LVDT_UOM_MILLIMETRE;
        (void)lvdt->getResolution(c, &resolution);  // c is a valid channel
        lvdt->getUom(&uom, c);
        out[c] = resolution == 0.0 ? "counts" : unitName(uom);
    }
    return n;
}

ZelResults decodeAnalog(ZelModule& m, ZelbusResponse& answer, COUNT_REQUEST_OPTION option,
                        Decoded& out) {
    auto* analog = dynamic_cast<ZelAnalogModule*>(&m);
    if (analog == nullptr) return ZEL_RESULT(ZEL_MODULE_NUMBER_INVALID, kMethod);
    return analog->scaledValuesFromAnswer(answer, option, out.values);
}

// Voltage and current of channel 0, then of channel 1.
unsigned short analogUnits(ZelModule& /*module*/, const char* (&out)[kCap]) {
    static constexpr const char* kUnits[] = {"V", "mA", "V", "mA"};
    std::copy(std::begin(kUnits), std::end(kUnits), out);
    return 4;
}

constexpr const char* kAnalogNames[] = {"ch 0 voltage", "ch 0 current", "ch 1 voltage",
                                        "ch 1 current"};

ZelResults lvdtVoltage(ZelModule& m, unsigned short channel, double* volts, long* reading) {
    auto* lvdt = dynamic_cast<ZelLvdtModule*>(&m);
    if (lvdt == nullptr) return ZEL_RESULT(ZEL_MODULE_NUMBER_INVALID, kMethod);
    return lvdt->getVoltage(channel, volts, reading);
}

// One row per kind, in the order of identity::Kind.
constexpr Row kRows[] = {
    {Kind::Kalix, make<ZelKalixModule>, decodeKalix, encoderUnits, nullptr, true, nullptr},
    {Kind::OneVpp, make<Zel1VppModule>, decodeOneVpp, encoderUnits, nullptr, false, nullptr},
    {Kind::PowerSupply, nullptr, nullptr, nullptr, nullptr, false, nullptr},
    {Kind::Io, make<ZelIoModule>, nullptr, nullptr, nullptr, false, nullptr},
    {Kind::Pneumatic, make<ZelPneumaticModule>, nullptr, nullptr, nullptr, false, nullptr},
    {Kind::Analog, make<ZelAnalogModule>, decodeAnalog, analogUnits, kAnalogNames, false, nullptr},
    {Kind::Ttl, make<ZelTtlModule>, decodeTtl, encoderUnits, nullptr, false, nullptr},
    {Kind::Lvdt, make<ZelLvdtModule>, decodeLvdt, lvdtUnits, nullptr, false, lvdtVoltage},
};

constexpr bool rowsFollowTheKinds() {
    if (std::size(kRows) != std::size(identity::kKinds)) return false;
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        const Row& r = kRows[i];
        if (r.kind != identity::kKinds[i].kind) return false;
        // A kind decodes snapshots exactly when it is measuring.
        if ((r.decode != nullptr) != identity::kKinds[i].measuring) return false;
        if ((r.units != nullptr) != identity::kKinds[i].measuring) return false;
    }
    return true;
}
static_assert(rowsFollowTheKinds(), "one row per kind, in the order of identity::kKinds");

}  // namespace

const Row& row(identity::Kind kind) { return kRows[static_cast<int>(kind)]; }

const Row* rowOf(MODULE_ID id) {
    const identity::KindInfo* k = identity::kindOf(id);
    return k != nullptr ? &row(k->kind) : nullptr;
}

std::string valueName(const Row& r, unsigned short index) {
    if (r.valueNames != nullptr) return r.valueNames[index];
    return "ch " + std::to_string(index);
}

ZelModule* create(MODULE_ID id, bool discovered) {
    const Row* r = rowOf(id);
    if (r != nullptr && r->create != nullptr) return r->create();
    if (discovered) return new (std::nothrow) ZelDeviceModule;
    return new (std::nothrow) ZelModule;
}

const char* unitName(UOM uom) {
    switch (uom) {
        case UOM_MILLIMETRE:
            return "mm";
        case UOM_INCH:
            return "in";
        case UOM_DEGREE:
            return "deg";
        default:
            return "counts";
    }
}

const char* encoderUnitName(UOM uom, ENCODER_TYPES_ENUM type) {
    if (uom == UOM_NONE || uom == UOM_COUNTS || type == ENCODER_TYPE_NONE) return "counts";
    if (type == ENCODER_TYPE_ROTARY) return unitName(UOM_DEGREE);
    return unitName(uom == UOM_INCH ? UOM_INCH : UOM_MILLIMETRE);
}

const char* unitName(LVDT_UOM uom) {
    switch (uom) {
        case LVDT_UOM_MILLIMETRE:
            return "mm";
        case LVDT_UOM_INCH:
            return "in";
        case LVDT_UOM_MICROMETRE:
            return "um";
        default:
            return "counts";
    }
}

}  // namespace zel::kinds
