// The units of the values a measuring module gives in an acquisition's
// samples, in the order the engine gives them, from the library's kind
// rows: what zeltool and zelstation tell beside the values.
#ifndef ZEL_TOOLS_ZEL_VALUE_UNITS_H
#define ZEL_TOOLS_ZEL_VALUE_UNITS_H

#include <string>
#include <vector>

#include "modules/module_kinds.h"

inline std::vector<std::string> zelValueUnits(ZelModule& module) {
    const zel::kinds::Row* kind = zel::kinds::rowOf(module.getModuleData().moduleId);
    if (kind == nullptr || kind->units == nullptr) return {};
    const char* units[zel::kinds::kSampleCapacity] = {};
    const unsigned short n = kind->units(module, units);
    return std::vector<std::string>(units, units + n);
}

#endif  // ZEL_TOOLS_ZEL_VALUE_UNITS_H
