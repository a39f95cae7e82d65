// zeltool: the command-line tool. For now one subcommand:
//   zeltool ping [--simulate]
// starts a simulated module on loopback, sends it the module-type command
// (10) through the library's command exchange and prints what went on the
// wire and what came back.
#include <cstdio>
#include <cstring>
#include <string>

#include "sim_segment.h"
#include "foundation/common_utils.h"
#include "transport/zel_comm.h"

namespace {

void printBytes(const char* label, const unsigned char* bytes, int length) {
    std::printf("%s", label);
    for (int i = 0; i < length; ++i) std::printf(" %02X", bytes[i]);
    std::printf("\n");
}

int ping() {
    zelsim::Segment segment;
    segment.addModule(10);
    if (!segment.start()) {
        std::fprintf(stderr, "zeltool: cannot start the simulated module\n");
        return 1;
    }
    const std::string module = "127." + std::to_string(segment.subnet()) + ".0.10";
    std::printf("zeltool: simulated module at %s:27015 (no --local-ip given)\n", module.c_str());

    ZelComm comm;
    if (!comm.initializeComm(module.c_str())) {
        std::fprintf(stderr, "zeltool: cannot open a socket to %s\n", module.c_str());
        return 1;
    }
    unsigned char request[zelbus::kFrameSize] = {};
    zelbus::writeHeader(request, UDP_CMD_GET_MODULE_TYPE, 0, 0);
    ZelbusResponse response{};
    printBytes("request  (get module type):", request, zelbus::frameLength(request));
    ZelResults result = comm.sendCommandWait(request, &response);
    if (!result.ok()) {
        std::fprintf(stderr, "zeltool: %s (%s, code %d)\n", ZelResults::showRespCode(result.code()),
                     result.method(), result.code());
        return 1;
    }
    printBytes("answer   :", response.data, zelbus::frameLength(response.data));
    unsigned char* p = response.data + zelbus::kHeaderSize;
    std::printf("answer type %d (%s): module identity %lu, number %lu, %d channels\n",
                response.command, zelbus::commandName(response.command),
                CommonUtils::uCharsToULong(p), CommonUtils::uCharsToULong(p + 4), p[9]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "ping") == 0) return ping();
    std::fprintf(stderr, "usage: zeltool ping [--simulate]\n");
    return 2;
}
