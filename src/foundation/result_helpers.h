// Internal helper for producing results: every failing site records its own
// line, so the macro is the one way the library makes a result.
#ifndef ZEL_RESULT_HELPERS_H
#define ZEL_RESULT_HELPERS_H

#include "foundation/zel_results.h"

// A result of `code` made by `method` at the line of the call.
#define ZEL_RESULT(code, method) ZelResults((code), (method), __LINE__)

#endif  // ZEL_RESULT_HELPERS_H
