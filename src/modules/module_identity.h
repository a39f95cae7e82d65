/// @file
/// The module identity table: every MODULE_ID with its ID string, model name,
/// kind, programming priority class and whether it is a base module (a chain
/// head with four extra latch inputs). An identity's value is its ID string
/// with the dash removed, read as a decimal number; 0 is a module answering
/// from its bootloader. ZelModule's identity functions are lookups in this
/// one table.
#ifndef ZEL_MODULE_IDENTITY_H
#define ZEL_MODULE_IDENTITY_H

/// @addtogroup modules
/// @{

#include "modules/module_id_table.h"

/// The 32-bit module identity.
enum MODULE_ID : unsigned int {
    MODULE_ID_NONE = 0,  ///< no identity: a module answering from its bootloader
/// One table entry as the code it becomes here.
#define ZEL_MODULE_ID_ENUMERATOR(name, value, idText, model, kind, priority, base, channels) \
    name = (value),
    ZEL_MODULE_ID_TABLE(ZEL_MODULE_ID_ENUMERATOR)
#undef ZEL_MODULE_ID_ENUMERATOR
};

/// Lookups in the identity table, usable in constant expressions.
namespace zel::identity {

/// The module kinds, one class of the library each (power supplies have none).
enum class Kind { Kalix, OneVpp, PowerSupply, Io, Pneumatic, Analog, Ttl, Lvdt };

/// One identity of the table.
struct Entry {
    MODULE_ID id;            ///< the identity
    const char* idString;    ///< "580313-01"
    const char* model;       ///< "ZEL 4113"
    Kind kind;               ///< the module kind
    unsigned char priority;  ///< programming priority class, 1 or 2
    bool base;               ///< a chain head with four extra latch inputs
    unsigned char channels;  ///< the count the class sets (0: the module reports it)
};

/// One table entry as the code it becomes here.
#define ZEL_MODULE_ID_ENTRY(name, value, idText, model, kind, priority, base, channels) \
    {name, idText, model, Kind::kind, priority, base, channels},

/// Every identity, in the order of the table.
constexpr Entry kTable[] = {ZEL_MODULE_ID_TABLE(ZEL_MODULE_ID_ENTRY)
#undef ZEL_MODULE_ID_ENTRY
};

/// The table's entry of an identity, or null for 0 and any value not in it.
constexpr const Entry* find(MODULE_ID id) {
    for (const Entry& e : kTable) {
        if (e.id == id) return &e;
    }
    return nullptr;
}

/// True when the identity is in the table with this kind.
constexpr bool isKind(MODULE_ID id, Kind kind) {
    const Entry* e = find(id);
    return e != nullptr && e->kind == kind;
}

/// "Unknown" for 0 and for any value not in the table.
constexpr const char* modelName(MODULE_ID id) {
    const Entry* e = find(id);
    return e != nullptr ? e->model : "Unknown";
}

/// The ID string, "Unknown" for 0 and for any value not in the table.
constexpr const char* idString(MODULE_ID id) {
    const Entry* e = find(id);
    return e != nullptr ? e->idString : "Unknown";
}

/// 1 or 2, 0 for an identity without a class (the programming procedure
/// refuses such a module).
constexpr int priorityClass(MODULE_ID id) {
    const Entry* e = find(id);
    return e != nullptr ? e->priority : 0;
}

/// True for a base module (a chain head).
constexpr bool isBase(MODULE_ID id) {
    const Entry* e = find(id);
    return e != nullptr && e->base;
}

/// The channel count the kind's class sets for this model, 0 when the module
/// reports it and for any value not in the table.
constexpr unsigned short channels(MODULE_ID id) {
    const Entry* e = find(id);
    return e != nullptr ? e->channels : 0;
}

/// Groups of channel elements a configuration file holds for a kind (bits
/// of KindInfo::elements); the configuration check requires a group's
/// elements of the kinds that have it.
enum Elements : unsigned {
    kScaledPosition = 1U << 0,  ///< unit, scale, mastering, resolutions, device type
    kRotaryFormat = 1U << 1,    ///< rotary format, error compensation, counting direction
    kOffset = 1U << 2,          ///< an offset added to the value
    kEncoderRecord = 1U << 3,   ///< the encoder's name, ID, serial number, revolutions
    kLineCount = 1U << 4,       ///< line count, signal period, reference mark
    kCalibration = 1U << 5,     ///< instrumentation and actual ranges, calibration times
    kGain = 1U << 6,            ///< the sensor gain code
    kInterpolation = 1U << 7,   ///< the interpolation factor
    kExcitation = 1U << 8,      ///< module: primary excitation voltage and frequency
    /// What a channel of a kind without measuring elements of its own, or of
    /// an identity not in the table, is held to.
    kAnyChannel = kScaledPosition | kRotaryFormat,
};

/// What the library knows of a kind, one row per kind in kKinds. The
/// objects, decoders and units of a kind are in the modules layer's rows
/// (modules/module_kinds.h), which follow this table row for row.
struct KindInfo {
    Kind kind;                   ///< the kind
    const char* name;            ///< "TTL encoder", as tools show it
    bool measuring;              ///< answers the counts request with values a snapshot decodes
    bool encoder;                ///< positions go by each channel's encoder record
    unsigned char sampleValues;  ///< values of a snapshot, 0: one per channel
    bool sampleCounts;           ///< a snapshot holds one count per channel
    unsigned elements;           ///< the Elements groups its channels hold
};

/// Every kind, in the order of Kind.
constexpr KindInfo kKinds[] = {
    {Kind::Kalix, "Kalix encoder", true, true, 0, true,
     kScaledPosition | kRotaryFormat | kEncoderRecord},
    {Kind::OneVpp, "1 Vpp encoder", true, true, 0, true,
     kScaledPosition | kRotaryFormat | kLineCount},
    {Kind::PowerSupply, "power supply", false, false, 0, false, kAnyChannel},
    {Kind::Io, "I/O", false, false, 0, false, 0},
    {Kind::Pneumatic, "pneumatic", false, false, 0, false, 0},
    {Kind::Analog, "analog", true, false, 4, false,
     kScaledPosition | kRotaryFormat | kOffset | kCalibration},
    {Kind::Ttl, "TTL encoder", true, true, 0, true,
     kScaledPosition | kRotaryFormat | kLineCount | kInterpolation},
    {Kind::Lvdt, "LVDT", true, false, 0, true,
     kScaledPosition | kCalibration | kGain | kExcitation},
};

/// The row of a kind.
constexpr const KindInfo& kindInfo(Kind kind) { return kKinds[static_cast<int>(kind)]; }

/// The row of an identity's kind, null for 0 and any value not in the table.
constexpr const KindInfo* kindOf(MODULE_ID id) {
    const Entry* e = find(id);
    return e != nullptr ? &kindInfo(e->kind) : nullptr;
}

/// True when the identity's kind has this property (false for 0 and any
/// value not in the table).
constexpr bool has(MODULE_ID id, bool KindInfo::*property) {
    const KindInfo* k = kindOf(id);
    return k != nullptr && k->*property;
}

/// The Elements groups a configuration file holds for this identity.
constexpr unsigned elementsOf(MODULE_ID id) {
    const KindInfo* k = kindOf(id);
    return k != nullptr ? k->elements : kAnyChannel;
}

/// True when the rows of kKinds are in the order of Kind.
constexpr bool kindsInOrder() {
    int i = 0;
    for (const KindInfo& k : kKinds) {
        if (static_cast<int>(k.kind) != i++) return false;
    }
    return true;
}
static_assert(kindsInOrder(), "kKinds has one row per Kind, in the order of Kind");

}  // namespace zel::identity

/// @}

#endif  // ZEL_MODULE_IDENTITY_H
