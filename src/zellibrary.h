/// @file
/// Umbrella header of the library: every exported class.
///
/// @defgroup foundation Foundation
/// Results and the response codes (one table), byte and address
/// conversions, the export macros and the version.
///
/// @defgroup transport Transport
/// The exchange with one module over UDP: settings, retries and network
/// delay, the pairing of answers with requests, discovery, network
/// settings and FRAM fields; the command frame, the command codes, the
/// message decoders and the capture of the traffic.
///
/// @defgroup modules Modules
/// The identity table, ZelModule (what every kind answers), ZelDeviceModule
/// (per-channel encoder settings) and one class per module kind.
///
/// @defgroup programming Programming
/// Firmware and bootloader updates from image files.
///
/// @defgroup chain Chain
/// Discovery, one object per module kind, the order of the chain, and one
/// snapshot of many modules.
///
/// @defgroup config Configuration file
/// The XML file that describes a chain: load, read, check, edit and write.
///
/// @defgroup capi C interface
/// The flat C interface: opaque handles, enumerations with fixed values,
/// and one function per operation.
#ifndef ZEL_ZELLIBRARY_H
#define ZEL_ZELLIBRARY_H

#include "chain/zel_chain_sampler.h"
#include "chain/zel_interface.h"
#include "config/zel_config_writer.h"
#include "foundation/common_utils.h"
#include "foundation/zel_results.h"
#include "modules/module_kinds.h"
#include "modules/zel_1vpp_module.h"
#include "modules/zel_analog_module.h"
#include "modules/zel_device_module.h"
#include "modules/zel_io_module.h"
#include "modules/zel_kalix_module.h"
#include "modules/zel_lvdt_module.h"
#include "modules/zel_module.h"
#include "modules/zel_ttl_module.h"
#include "programming/zel_programming.h"
#include "transport/zel_capture.h"
#include "transport/zel_comm.h"
#include "transport/zelbus_frame.h"
#include "zel_version.h"

#endif  // ZEL_ZELLIBRARY_H
