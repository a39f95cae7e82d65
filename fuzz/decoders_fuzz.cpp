// The decoders of the messages modules send on their own (connect, latch,
// channel status), on a 262-byte record as the library receives them.
// Beyond not crashing: the decoders write nothing past their outputs.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "transport/zel_comm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char record[zelbus::kFrameSize] = {};
    std::memcpy(record, data, size < sizeof(record) ? size : sizeof(record));
    ZelComm::getAsyncMsgType(record);
    ZELBUSConnectResponse connect{};
    (void)ZelComm::decodeConnectMsg(record, &connect);
    unsigned char latch[8] = {};
    (void)ZelComm::decodeLatchMsg(record, latch);
    unsigned short channel = 0, status = 0;
    (void)ZelComm::decodeChannelStatusMsg(record, &channel, &status);
    return 0;
}
