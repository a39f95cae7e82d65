// Internal helpers of the flat C interface: handle conversions, the result
// mappings, and exporting one implementation under several names.
#ifndef ZEL_CAPI_SUPPORT_H
#define ZEL_CAPI_SUPPORT_H

// The order matters: the C++ declarations first, then the C header (which
// skips what they declared already), then the aliases that rename its macros.
#include <algorithm>
#include <cstring>
#include <string>

// clang-format off
#include "zellibrary.h"
#include "capi/zel_capi.h"
#include "capi/capi_aliases.h"
// clang-format on

namespace zel::capi {

constexpr int kNull = ZEL_NULL_POINTER;
constexpr int kRefused = ZEL_UNKNOWN_ERROR;  // a bool operation said false, or a buffer is short

// Handles carry the object's ZelModule base; every kind derives singly from it.
inline ZelModule* module(ZelModuleHandle h) { return reinterpret_cast<ZelModule*>(h); }
inline ZelModuleHandle handle(ZelModule* m) { return reinterpret_cast<ZelModuleHandle>(m); }
// The handle as a module of that class, or null (a null handle or another kind).
template <typename Kind>
Kind* as(ZelModuleHandle h) {
    return h == nullptr ? nullptr : dynamic_cast<Kind*>(module(h));
}
inline int code(ZelResults r) { return r.getCode(); }

// Runs the body of a C function so that nothing the C++ side throws (memory
// exhausted in a string, a Qt container or a buffer) reaches the host:
// whatever is thrown becomes `failure`.
template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}
// At most size - 1 bytes of the text and a NUL; nothing when size is 0.
inline void copyBounded(char* text, unsigned long size, const std::string& value) {
    if (size == 0) return;
    const std::size_t n = std::min<std::size_t>(value.size(), size - 1);
    std::memcpy(text, value.data(), n);
    text[n] = '\0';
}
// A bool setter: 0 or 38.
inline int accepted(bool ok) { return ok ? 0 : kRefused; }
// A bool getter: 0, or the output set to its empty value and 38.
template <typename T>
int gotOr(bool ok, T* out, T empty) {
    if (ok) return 0;
    *out = empty;
    return kRefused;
}

}  // namespace zel::capi

// Exports `name` as a second name of `target` (defined in the same file).
// A Windows build names the aliases in the module-definition file instead
// ("name=target"): a __stdcall target's symbol carries its argument size,
// which the alias attribute would have to spell out.
#if defined(_WIN32)
#define ZEL_CAPI_ALIAS(name, target)
#else
// `name` is declared, not evaluated: it takes no parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define ZEL_CAPI_ALIAS(name, target) \
    extern "C" __typeof__(target) name __attribute__((alias(#target)));
// NOLINTEND(bugprone-macro-parentheses)
#endif

#endif  // ZEL_CAPI_SUPPORT_H
