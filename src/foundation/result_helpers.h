// Internal helper for producing results: every failing site records its own
// line, so the macro is the one way the library makes a result.
#ifndef ZEL_RESULT_HELPERS_H
#define ZEL_RESULT_HELPERS_H

#include "foundation/zel_results.h"

// A result of `code` made by `method` at the line of the call.
#define ZEL_RESULT(code, method) ZelResults((code), (method), __LINE__)

// Helpers shared by several operations make results in their callers' names:
// they take the operation's method text and, as a last parameter defaulted
// to __builtin_LINE() (evaluated where the call stands), the caller's line,
// so a result points at the operation that asked, not at the helper.

#endif  // ZEL_RESULT_HELPERS_H
