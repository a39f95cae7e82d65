#!/usr/bin/env bash
# The shared library exports the documented classes and the C names its
# header declares, and nothing else: no socket layer, no platform layer, no
# member marked internal, no C name the header does not declare.
#   exports.sh LIBRARY SOURCE_DIR
set -euo pipefail
here=$(dirname "$0")
c_exported=$(nm -D --defined-only "$1" | awk '$3 !~ /^_Z/ { print $3 }' | sort -u)
c_declared=$("$here/capi_names.sh" "$2")
c_mismatch=$(diff <(printf '%s\n' "$c_declared") <(printf '%s\n' "$c_exported") || true)
if [ -n "$c_mismatch" ]; then
    printf 'C names: header (<) and library (>) differ:\n%s\n' "$c_mismatch"
    exit 1
fi
symbols=$(nm -D --defined-only "$1" | awk '$3 ~ /^_Z/ { print $3 }' | c++filt | sed 's/^/  /')
unexpected=$(printf '%s\n' "$symbols" | grep -vE '^ +(ZelResults|CommonUtils|ZelProgramming|AdcConverter|ZelInterface|ZelChainSampler|ZelCapture|ZelConfigBase|ZelConfigReader|ZelConfigWriter|ZelComm|ZelModule|ZelDeviceModule|ZelKalixModule|Zel1VppModule|ZelTtlModule|ZelLvdtModule|ZelAnalogModule|ZelIoModule|ZelPneumaticModule|zel::kinds)::|^ +(typeinfo|vtable) (name )?for (ZelComm|ZelModule|ZelDeviceModule|ZelKalixModule|Zel1VppModule|ZelTtlModule|ZelLvdtModule|ZelAnalogModule|ZelIoModule|ZelPneumaticModule|ZelInterface)$' || true)
internal=$(printf '%s\n' "$symbols" | grep -E 'sendCommandWait|initializeComm|exchangeWithRetries|openConnection|forceFirmwareReinstall|expectAnswer|directedBroadcast|getUdpData|storeConnectRecord|exchangeExpecting|channelFunction|getProgrammingPriority|readValues|storedEncoderInfo|replaceUom|replaceEncoderType|replaceCountingDirection|incrementalAngle|readReferencingState|moduleSettings|getInfo|getParams|readStatus|readFlags|countsToPosition|applyRotaryFormat|updateResolution|readSignalType|setInterpolation|explicitSettings|ZelLvdtModule::settings|readWords|ZelProgramming::(validateFile|programInit|verifyReboot|programBinary|programFinished|getBlAndFwCompatibilityInModule|exchange|waitSeconds)|zel::image|getClock|switchOutput|readState|loadedDocument|getModuleNodeList|getChannelNodeList|ZelConfigReader::readable|ZelConfigWriter::setIn|ZelInterface::(sendBroadcast|createNewModule|organizeChain|prepare|append|typed)|ZelChainSampler::(prepare|collect|registerSockets|waitOutOwedAnswers|send|accept|decode)|checkAnswer|countsRequest|UdpSocket|zel::platform' || true)
if [ -n "$unexpected$internal" ]; then
    printf 'unexpected exports:\n%s\n%s\n' "$unexpected" "$internal"
    exit 1
fi
echo "exports: $(printf '%s\n' "$c_exported" | wc -l) C names as declared, $(printf '%s\n' "$symbols" | wc -l) class symbols, all documented"
