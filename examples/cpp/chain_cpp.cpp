// A C++ host of the library: creates and orders the chain of a segment,
// prints each module in physical order with the positions of the encoder
// modules, and checks a configuration file.
//
//   chain_cpp LOCAL_IP NETMASK [CONFIG_FILE]
//
// Against the simulator: start `zelsim --chain default`, then run
// `chain_cpp 127.N.0.1 255.255.0.0 examples/config/chain.xml` with the host
// address zelsim prints.
#include <zel/zellibrary.h>

#include <cstdio>
#include <string>

namespace {

int fail(const ZelResults& r) {
    std::fprintf(stderr, "chain_cpp: %s (%d) in %s\n", ZelResults::showRespCode(r.code()), r.code(),
                 r.method());
    return 1;
}

// Each channel's position with the unit the channel is set to.
void printPositions(ZelDeviceModule* module, const double* positions, unsigned short n) {
    for (unsigned short ch = 0; ch < n; ++ch) {
        UOM uom = UOM_COUNTS;
        module->getUom(&uom, ch);
        std::printf("  %.4f %s", positions[ch], zel::kinds::unitName(uom));
    }
}

int checkConfig(const std::string& file) {
    ZelConfigReader config;
    ZEL_XML_RETURN r = config.loadXml(file);
    unsigned short modules = 0;
    if (r == ZEL_XML_OK) r = config.getNumModules(modules);
    if (r != ZEL_XML_OK) {
        std::fprintf(stderr, "chain_cpp: %s: %s\n", file.c_str(),
                     ZelConfigBase::decodeErrorType(r).c_str());
        return 1;
    }
    ZEL_XML_ELEMENTS element = ZEL_XML_BASE_LABEL;
    unsigned short module = 0, channel = 0;
    r = config.validateElements(element, module, channel);
    std::printf("configuration %s: %u modules, check: %s", file.c_str(), modules,
                ZelConfigBase::decodeErrorType(r).c_str());
    if (r != ZEL_XML_OK) {
        std::printf(" at %s, module %u, channel %u",
                    ZelConfigBase::decodeElementType(element).c_str(), module, channel);
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: chain_cpp LOCAL_IP NETMASK [CONFIG_FILE]\n");
        return 2;
    }
    ZelInterface chain;
    ZelResults r = chain.createChain(argv[1], 0, false, argv[2]);
    if (!r.ok()) return fail(r);
    std::printf("%u modules in physical order\n", chain.getNumModules());
    for (unsigned short i = 0; i < chain.getNumModules(); ++i) {
        ZelModule* m = chain.getModule(i);
        const ModuleData& d = m->getModuleData();
        std::printf("%2u  %-15s %-9s %u ch", i, d.ipAddress, ZelModule::showModuleType(d.moduleId),
                    m->getNumChannels());
        double positions[8] = {};
        const unsigned short n = m->getNumChannels() < 8 ? m->getNumChannels() : 8;
        if (ZelTtlModule* ttl = chain.getTtlModule(i)) {
            if (ttl->getPositions(positions, 8, COUNT_REQUEST_NORMAL).ok())
                printPositions(ttl, positions, n);
        } else if (Zel1VppModule* vpp = chain.get1VppModule(i)) {
            if (vpp->getPositions(positions, 8, COUNT_REQUEST_NORMAL).ok())
                printPositions(vpp, positions, n);
        } else if (ZelKalixModule* kalix = chain.getKalixModule(i)) {
            long turns[8] = {};
            if (kalix->getPositions(positions, turns, 8, COUNT_REQUEST_NORMAL).ok()) {
                printPositions(kalix, positions, n);
            }
        }
        std::printf("\n");
    }
    chain.removeConnections();
    return argc > 3 ? checkConfig(argv[3]) : 0;
}
