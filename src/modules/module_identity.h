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
#define ZEL_MODULE_ID_ENUMERATOR(name, value, idText, model, kind, priority, base) name = (value),
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
};

/// One table entry as the code it becomes here.
#define ZEL_MODULE_ID_ENTRY(name, value, idText, model, kind, priority, base) \
    {name, idText, model, Kind::kind, priority, base},

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

}  // namespace zel::identity

/// @}

#endif  // ZEL_MODULE_IDENTITY_H
