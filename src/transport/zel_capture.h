/// @file
/// ZelCapture: every datagram the library sends and receives (all module
/// objects, discovery and broadcasts included) written to a pcap file, time
/// stamped, as raw IPv4 packets with synthesised headers, for Wireshark. No
/// capture privileges are needed, and it works on a real network.
#ifndef ZEL_ZEL_CAPTURE_H
#define ZEL_ZEL_CAPTURE_H

/// @addtogroup transport
/// @{

#include "foundation/zel_export.h"

/// A process-wide capture of the library's traffic to a pcap file.
class ZEL_API ZelCapture {
  public:
    /// Starts writing to `pcapFile` (replacing a capture already running).
    /// False when the file cannot be created; nothing is captured then.
    static bool start(const char* pcapFile);
    /// Ends the capture and closes the file.
    static void stop();
};

/// @}

#endif  // ZEL_ZEL_CAPTURE_H
