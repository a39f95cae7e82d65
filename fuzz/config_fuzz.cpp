// Configuration files: load, the counts, reads at the three levels, the
// check, an edit and a write. Beyond not crashing: a file the writer
// reports written loads again with the same module and channel counts, and
// a failed write leaves the target untouched (no partial file).
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "config/zel_config_writer.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string in = writeFuzzFile(data, size, ".xml");
    ZelConfigWriter config;
    if (config.loadXml(in) != ZEL_XML_OK) return 0;
    unsigned short modules = 0;
    config.getNumModules(modules);
    std::string text;
    config.getElement(ZEL_XML_BASE_LABEL, text);
    config.getAllElements(text);
    std::vector<unsigned short> channels;
    for (unsigned short m = 1; m <= modules && m <= 16; ++m) {
        unsigned short n = 0;
        config.getNumChannels(m, n);
        channels.push_back(n);
        config.getElement(ZEL_XML_MODULE_ID, text, m);
        config.getSpecificModule(m);
        for (unsigned short c = 1; c <= n && c <= 8; ++c)
            config.getElement(ZEL_XML_UOM, text, m, c);
    }
    ZEL_XML_ELEMENTS element{};
    unsigned short module = 0, channel = 0;
    config.validateElements(element, module, channel);
    config.setElement(ZEL_XML_LABEL, "fuzz", 1);

    const std::string out = fuzzPath("-out.xml");
    std::remove(out.c_str());
    if (config.writeFile(out) != ZEL_XML_OK) return 0;
    ZelConfigReader again;
    if (again.loadXml(out) != ZEL_XML_OK) __builtin_trap();
    unsigned short count = 0;
    again.getNumModules(count);
    if (count != modules) __builtin_trap();
    for (unsigned short m = 1; m <= modules && m <= 16; ++m) {
        unsigned short n = 0;
        again.getNumChannels(m, n);
        if (n != channels[m - 1]) __builtin_trap();
    }
    return 0;
}
