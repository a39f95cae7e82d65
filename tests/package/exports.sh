#!/usr/bin/env bash
# The shared library exports the documented classes and nothing else: no
# socket layer, no platform layer, no member marked internal.
set -euo pipefail
symbols=$(nm -DC --defined-only "$1" | awk '{ $1=""; $2=""; print }')
unexpected=$(printf '%s\n' "$symbols" | grep -vE '^ +(ZelResults|CommonUtils|ZelProgramming|AdcConverter|ZelInterface|ZelConfigBase|ZelConfigReader|ZelConfigWriter|ZelComm|ZelModule|ZelDeviceModule|ZelKalixModule|Zel1VppModule|ZelTtlModule|ZelLvdtModule|ZelAnalogModule|ZelIoModule|ZelPneumaticModule)::|^ +(typeinfo|vtable) (name )?for (ZelComm|ZelModule|ZelDeviceModule|ZelKalixModule|Zel1VppModule|ZelTtlModule|ZelLvdtModule|ZelAnalogModule|ZelIoModule|ZelPneumaticModule|ZelInterface)$' || true)
internal=$(printf '%s\n' "$symbols" | grep -E 'sendCommandWait|initializeComm|exchangeWithRetries|openConnection|forceFirmwareReinstall|expectAnswer|directedBroadcast|getUdpData|storeConnectRecord|exchangeExpecting|channelFunction|getProgrammingPriority|readValues|storedEncoderInfo|replaceUom|replaceEncoderType|replaceCountingDirection|incrementalAngle|readReferencingState|moduleSettings|getInfo|getParams|readStatus|readFlags|countsToPosition|applyRotaryFormat|updateResolution|readSignalType|setInterpolation|explicitSettings|ZelLvdtModule::settings|readWords|ZelProgramming::(validateFile|programInit|verifyReboot|programBinary|programFinished|getBlAndFwCompatibilityInModule|exchange|waitSeconds)|zel::image|getClock|switchOutput|readState|loadedDocument|getModuleNodeList|getChannelNodeList|ZelConfigReader::readable|ZelConfigWriter::setIn|ZelInterface::(sendBroadcast|createNewModule|organizeChain|prepare|append|typed)|UdpSocket|zel::platform' || true)
if [ -n "$unexpected$internal" ]; then
    printf 'unexpected exports:\n%s\n%s\n' "$unexpected" "$internal"
    exit 1
fi
echo "exports: $(printf '%s\n' "$symbols" | wc -l) symbols, all documented"
