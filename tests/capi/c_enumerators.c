/* The checked enumerators as the C header alone declares them. */
#include "capi/zel_capi.h"
#include "checked_enumerators.h"

#define ZEL_AS_VALUE(name) (long)(name),
const long zel_c_enumerators[] = {ZEL_CHECKED_ENUMERATORS(ZEL_AS_VALUE)};
const unsigned long zel_c_enumerator_count = sizeof zel_c_enumerators / sizeof zel_c_enumerators[0];
