// zeltool: the command-line tool. For now one subcommand:
//   zeltool ping
// starts a simulated module on loopback, initialises a module object at its
// address through the library's public interface and prints what the module
// reported: identity, model, network record and versions.
#include <cstdio>
#include <cstring>
#include <string>

#include "modules/zel_module.h"
#include "sim_segment.h"

namespace {

int ping() {
    zelsim::Segment segment;
    segment.addModule(10);
    if (!segment.start()) {
        std::fprintf(stderr, "zeltool: cannot start the simulated module\n");
        return 1;
    }
    const std::string address = "127." + std::to_string(segment.subnet()) + ".0.10";
    std::printf("zeltool: simulated module at %s:27015\n", address.c_str());

    ZelModule module;
    ZelResults result = module.initializeModule(address.c_str(), false);
    if (!result.ok()) {
        std::fprintf(stderr, "zeltool: %s (%s, code %d)\n", ZelResults::showRespCode(result.code()),
                     result.method(), result.code());
        return 1;
    }
    const ModuleData d = module.getModuleData();
    std::printf("module     %s (%s), number %lu, %u channels\n", ZelModule::showModuleId(d.moduleId),
                ZelModule::showModuleType(d.moduleId), d.moduleNumber, d.numChannels);
    std::printf("network    %s port %u netmask %s, %s, MAC %s\n", d.ipAddress, d.port, d.netmask,
                d.usingDhcp ? "DHCP" : "static", d.macAddress);
    std::printf("serial     %s, revision %c\n", d.serialNumber, d.revisionChar);
    std::printf("versions   bootloader %s, firmware %s, library %s\n", d.bootloaderVersion,
                d.firmwareVersion, ZelModule::getLibraryVersion());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "ping") == 0) return ping();
    std::fprintf(stderr, "usage: zeltool ping\n");
    return 2;
}
