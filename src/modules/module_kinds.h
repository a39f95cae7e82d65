/// @file
/// The module kinds as the modules layer knows them: one row per kind, beside
/// zel::identity::kKinds row for row, with how to make the kind's object, how
/// a snapshot decodes its answer to the counts request and the unit of each
/// value that answer gives. The chain, its sampler and the tools go through
/// these rows, so a new kind adds its class, its identities, one row here and
/// one in kKinds.
#ifndef ZEL_MODULE_KINDS_H
#define ZEL_MODULE_KINDS_H

/// @addtogroup modules
/// @{

#include <string>

#include "foundation/zel_export.h"
#include "modules/module_identity.h"
#include "modules/zel_lvdt_module.h"
#include "modules/zel_module.h"

namespace zel::kinds {

/// Room for the values of one answer to the counts request.
constexpr unsigned short kSampleCapacity = 8;

/// One answer to the counts request, decoded.
struct Decoded {
    double values[kSampleCapacity];         ///< positions, or the analog values
    unsigned long counts[kSampleCapacity];  ///< raw counts (LVDT: signed readings)
    long revolutions[kSampleCapacity];      ///< Kalix: the revolution of each channel
};

/// A kind's rows in the modules layer.
struct Row {
    identity::Kind kind;  ///< the kind, the row of kKinds it goes with
    /// A new object of the kind's class, null when the kind has none (or the
    /// allocation fails).
    ZelModule* (*create)();
    /// Decodes an answer the module's checkAnswer accepted, with the
    /// module's settings, as its own getters do; null for a kind that is not
    /// measuring. Refuses with ZEL_MODULE_NUMBER_INVALID an object of
    /// another class.
    ZelResults (*decode)(ZelModule& module, ZelbusResponse& answer, COUNT_REQUEST_OPTION option,
                         Decoded& out);
    /// The unit of each value decode gives ("mm", "deg", "counts", "V"...),
    /// at most kSampleCapacity; returns how many. Null for a kind that is not
    /// measuring.
    unsigned short (*units)(ZelModule& module, const char* (&out)[kSampleCapacity]);
    /// The name of each value decode gives, for a kind whose values are not
    /// one per channel; null: "ch 0", "ch 1"... in channel order.
    const char* const* valueNames;
    /// Its rotary channels count their turns beside the angle
    /// (Decoded::revolutions).
    bool turns;
    /// The sensor's own voltage at a channel whose values are counts (no
    /// resolution to scale them with), one exchange; null for a kind that
    /// has none.
    ZelResults (*rawVoltage)(ZelModule& module, unsigned short channel, double* volts,
                             long* reading);
};

/// The name of value `index` of a kind's snapshot: its row's name, else
/// "ch " and the channel.
ZEL_API std::string valueName(const Row& row, unsigned short index);

/// The row of a kind.
ZEL_API const Row& row(identity::Kind kind);

/// The row of an identity's kind, null for 0 and any value not in the table.
ZEL_API const Row* rowOf(MODULE_ID id);

/// The object for a module of identity `id`: its kind's class; for a kind
/// without a class of its own, a ZelDeviceModule when the module was
/// discovered, else a plain ZelModule. Null when the allocation fails.
ZEL_API ZelModule* create(MODULE_ID id, bool discovered);

/// The unit name of an encoder channel's unit: "mm", "in", "deg", else
/// "counts".
ZEL_API const char* unitName(UOM uom);

/// The unit name of an LVDT channel's unit: "mm", "in", "um", else "counts".
ZEL_API const char* unitName(LVDT_UOM uom);
/// The unit of an encoder channel's positions: a rotary channel reads
/// degrees whatever its linear unit, a channel without a type or unit
/// reads counts, a linear one millimetres or inches.
ZEL_API const char* encoderUnitName(UOM uom, ENCODER_TYPES_ENUM type);

}  // namespace zel::kinds

/// @}

#endif  // ZEL_MODULE_KINDS_H
