#!/usr/bin/env bash
# Prints, one per line and sorted, every function name the C header
# declares, as the preprocessor sees the header (its macros expanded).
#   capi_names.sh SOURCE_DIR
set -euo pipefail
src="$1/src"
cc -std=c99 -E -P -I "$src" "$src/capi/zel_capi.h" |
    grep -oE '\bZel[A-Za-z0-9_]*[[:space:]]*\(' | sed -E 's/[[:space:]]*\($//' | sort -u
