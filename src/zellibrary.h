// Umbrella header of the library: every exported class.
#ifndef ZEL_ZELLIBRARY_H
#define ZEL_ZELLIBRARY_H

#include "zel_version.h"
#include "foundation/common_utils.h"
#include "foundation/zel_results.h"
#include "transport/zel_comm.h"
#include "transport/zelbus_frame.h"
#include "modules/zel_module.h"
#include "modules/zel_device_module.h"
#include "modules/zel_kalix_module.h"
#include "modules/zel_1vpp_module.h"
#include "modules/zel_ttl_module.h"
#include "modules/zel_lvdt_module.h"
#include "modules/zel_analog_module.h"
#include "modules/zel_io_module.h"
#include "programming/zel_programming.h"
#include "chain/zel_interface.h"
#include "chain/zel_chain_sampler.h"
#include "transport/zel_capture.h"
#include "config/zel_config_writer.h"

#endif  // ZEL_ZELLIBRARY_H
