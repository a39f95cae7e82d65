#!/usr/bin/env bash
# The station library exports the C names its headers declare
# (zel_station_capi.h, zel_acquisition_capi.h) and its classes (the recorder, recording and MQTT publisher too),
# and nothing else.
#   station_exports.sh LIBRARY SOURCE_DIR GENERATED_DIR
set -euo pipefail
src="$2/src"
names() { cc -std=c99 -E -P -I "$src" -I "$3" "$1" |
    grep -oE '\bZel[A-Za-z0-9_]*[[:space:]]*\(' | sed -E 's/[[:space:]]*\($//' | sort -u; }
declared=$( (names "$src/station/zel_station_capi.h" "$src" "$3"
    names "$src/station/zel_acquisition_capi.h" "$src" "$3") | sort -u)
exported=$(nm -D --defined-only "$1" | awk '$3 !~ /^_Z/ { print $3 }' | sort -u)
mismatch=$(diff <(printf '%s\n' "$declared") <(printf '%s\n' "$exported") || true)
if [ -n "$mismatch" ]; then
    printf 'C names: header (<) and station library (>) differ:\n%s\n' "$mismatch"
    exit 1
fi
unexpected=$(nm -D --defined-only "$1" | awk '$3 ~ /^_Z/ { print $3 }' | c++filt |
    grep -vE '^(ZelStation|ZelStationStatus|ZelAcquisition|ZelAcquisitionClock|ZelStationRestorer|ZelRecorder|ZelRecording|ZelMqttPublisher)::' |
    grep -vE '^(typeinfo|vtable) (name )?for (ZelStation|ZelAcquisitionClock|ZelModuleRestorer|ZelStationRestorer)$' || true)
if [ -n "$unexpected" ]; then
    printf 'unexpected exports:\n%s\n' "$unexpected"
    exit 1
fi
echo "station exports: $(printf '%s\n' "$exported" | wc -l) C names as declared"
