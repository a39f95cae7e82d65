/* Preprocessed (never compiled) to list the C interface's second names as
 * "name=implementation", for the Windows module-definition file. */
#include "capi/capi_aliases.h"
#define ZEL_DEF_PAIR(name, target) name = target
ZEL_CAPI_MODULE_ALIASES(ZEL_DEF_PAIR)
ZEL_CAPI_KIND_ALIASES(ZEL_DEF_PAIR)
