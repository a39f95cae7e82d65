/* The C header alone, compiled with -Wall -Wextra -Werror -pedantic. */
#include "capi/zel_capi.h"

int zel_header_only(void);
int zel_header_only(void) { return ZEL_OK + ZEL_XML_OK + (int)sizeof(ZelModuleHandle); }
