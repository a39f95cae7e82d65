#!/usr/bin/env bash
# Every name the C header declares resolves in the shared library.
#   dlopen.sh DLOPEN_CHECK LIBRARY SOURCE_DIR
set -euo pipefail
"$(dirname "$0")/capi_names.sh" "$3" | "$1" "$2"
