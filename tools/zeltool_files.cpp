// zeltool: the subcommands on files: firmware images and configuration files.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image_builder.h"
#include "zeltool.h"

namespace zeltool {

namespace {

constexpr unsigned short kMaxHeaders = 4;

// The header blocks of an image file; 0 when they cannot be read.
unsigned short readHeaders(const std::string& file, ProgramFileHeader* headers) {
    std::memset(headers, 0, sizeof(ProgramFileHeader) * kMaxHeaders);
    if (!ZelProgramming::getProgramFileHeaders(file.c_str(), PROGRAMMING_FIRMWARE, headers, kMaxHeaders)) return 0;
    unsigned short n = 0;
    while (n < kMaxHeaders && headers[n].name[0] != '\0') ++n;
    return n;
}

int noHeaders(const std::string& file) {
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        std::fclose(f);
        return fail(file + ": no readable header blocks");
    }
    return fail(file + ": cannot be opened");
}

int imageInfo(const std::string& file) {
    ProgramFileHeader headers[kMaxHeaders];
    const unsigned short n = readHeaders(file, headers);
    if (n == 0) return noHeaders(file);
    for (unsigned short i = 0; i < n; ++i) {
        const ProgramFileHeader& h = headers[i];
        std::printf("image %u: %s\n  type %s, priority %s, version %s, date %s, dat %s\n"
                    "  %u bytes of data lines, checksum %u\n",
                    i + 1, h.name, h.imageType, h.modulePriority, h.version, h.date, h.datVersion,
                    h.fileSizeBytes, h.checksum);
    }
    return 0;
}

int imageCheck(const std::string& file) {
    ProgramFileHeader headers[kMaxHeaders];
    const unsigned short n = readHeaders(file, headers);
    if (n == 0) return noHeaders(file);
    const bool bootloader = std::strcmp(headers[0].imageType, "Bootloader") == 0;
    ZelModule module;  // the engine checks files without talking to a module
    int status = 0;
    for (unsigned short level = 0; level < (bootloader ? 1 : (n > 1 ? 2 : 1)); ++level) {
        char version[ZEL_HEADER_TEXT_CAPACITY] = {};
        ZelResults r = module.getProgramming()->getProgramVersion(
            file.c_str(), bootloader ? PROGRAMMING_BOOTLOADER : PROGRAMMING_FIRMWARE, version,
            static_cast<PROGRAMMING_PRIORITY_LEVEL>(level));
        const char* what = bootloader ? "bootloader" : (level == 0 ? "firmware, class 1" : "firmware, class 2");
        if (r.ok()) {
            std::printf("%s: %s image %s: valid\n", file.c_str(), what, version);
        } else {
            std::printf("%s: %s image: %s (code %d) in %s\n", file.c_str(), what, ZelResults::showRespCode(r.code()),
                        r.code(), r.method());
            status = 1;
        }
    }
    return status;
}

// image build OUT VERSION [--bootloader]: a synthetic image file for trying
// the update against the simulator (class 1 and class 2 firmware, or a
// bootloader).
int imageBuild(const Options& options) {
    if (options.args.size() < 4) return fail("usage: zeltool image build FILE VERSION [--bootloader]", 2);
    const std::string& file = options.args[2];
    const std::string& version = options.args[3];
    const std::string text =
        options.bootloader
            ? zelimage::buildFile({zelimage::bootloaderImage(version, 4096)})
            : zelimage::buildFile({zelimage::firmwareImage(version, 1, 4096), zelimage::firmwareImage(version, 2, 4096)});
    if (!zelimage::writeFile(file, text)) return fail(file + ": cannot be written");
    std::printf("%s: %s image %s, %zu bytes\n", file.c_str(), options.bootloader ? "bootloader" : "firmware",
                version.c_str(), text.size());
    return 0;
}

int xmlFail(const std::string& file, ZEL_XML_RETURN code) {
    return fail(file + ": " + ZelConfigBase::decodeErrorType(code) + " (code " + std::to_string(code) + ")");
}

// A number operand from 1, or 0 when it is none.
unsigned short numberOperand(const std::string& text) {
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    return (*end == '\0' && n >= 1 && n <= 65535) ? static_cast<unsigned short>(n) : 0;
}

ZEL_XML_ELEMENTS elementOperand(const std::string& text) {
    return ZelConfigBase::encodeQElementType(QString::fromStdString(text));
}

}  // namespace

int image(const Options& options) {
    const std::string verb = options.args.size() > 1 ? options.args[1] : "";
    if (verb == "build") return imageBuild(options);
    if (options.args.size() < 3 || (verb != "info" && verb != "check")) {
        return fail("usage: zeltool image info|check FILE, or image build FILE VERSION [--bootloader]", 2);
    }
    return verb == "info" ? imageInfo(options.args[2]) : imageCheck(options.args[2]);
}

int config(const Options& options) {
    const std::string verb = options.args.size() > 1 ? options.args[1] : "";
    const char* usage =
        "usage: zeltool config validate FILE | show FILE [MODULE [CHANNEL]] | get FILE ELEMENT [MODULE [CHANNEL]]"
        " | set FILE ELEMENT VALUE MODULE [CHANNEL]";
    if (options.args.size() < 3) return fail(usage, 2);
    const std::string& file = options.args[2];
    ZelConfigWriter doc;
    ZEL_XML_RETURN r = doc.loadXml(file);
    if (r != ZEL_XML_OK) return xmlFail(file, r);
    const std::vector<std::string>& a = options.args;

    if (verb == "validate") {
        ZEL_XML_ELEMENTS element = ZEL_XML_BASE_LABEL;
        unsigned short module = 0, channel = 0;
        r = doc.validateElements(element, module, channel);
        if (r == ZEL_XML_OK) {
            unsigned short modules = 0;
            doc.getNumModules(modules);
            std::printf("%s: valid, %u modules\n", file.c_str(), modules);
            return 0;
        }
        // The check names a channel only for channel elements (from 100 on).
        std::printf("%s: %s: element %s", file.c_str(), ZelConfigBase::decodeErrorType(r).c_str(),
                    ZelConfigBase::decodeElementType(element).c_str());
        if (module != 0) std::printf(", module %u", module);
        if (element >= ZEL_XML_CHANNEL_LABEL && channel != 0) std::printf(", channel %u", channel);
        std::printf("\n");
        return 1;
    }
    if (verb == "show") {
        std::string text;
        if (a.size() == 3) {
            r = doc.getAllElements(text);
            if (r != ZEL_XML_OK) return xmlFail(file, r);
        } else {
            const unsigned short module = numberOperand(a[3]);
            const unsigned short channel = a.size() > 4 ? numberOperand(a[4]) : 0;
            if (module == 0 || (a.size() > 4 && channel == 0)) return fail(usage, 2);
            text = a.size() > 4 ? doc.getSpecificChannel(module, channel) : doc.getSpecificModule(module);
            if (text.empty()) return fail(file + ": no such module or channel");
        }
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    if (verb == "get") {
        if (a.size() < 4) return fail(usage, 2);
        const ZEL_XML_ELEMENTS element = elementOperand(a[3]);
        if (element == ZEL_XML_UNKNOWN_ELEMENT) return fail("'" + a[3] + "' is no element of the file format", 2);
        std::string text;
        if (a.size() == 4) {
            r = doc.getElement(element, text);
        } else {
            const unsigned short module = numberOperand(a[4]);
            const unsigned short channel = a.size() > 5 ? numberOperand(a[5]) : 0;
            if (module == 0 || (a.size() > 5 && channel == 0)) return fail(usage, 2);
            r = a.size() > 5 ? doc.getElement(element, text, module, channel) : doc.getElement(element, text, module);
        }
        if (r != ZEL_XML_OK) return xmlFail(file, r);
        std::printf("%s\n", text.c_str());
        return 0;
    }
    if (verb == "set") {
        if (a.size() < 6) return fail(usage, 2);
        const ZEL_XML_ELEMENTS element = elementOperand(a[3]);
        if (element == ZEL_XML_UNKNOWN_ELEMENT) return fail("'" + a[3] + "' is no element of the file format", 2);
        const unsigned short module = numberOperand(a[5]);
        const unsigned short channel = a.size() > 6 ? numberOperand(a[6]) : 0;
        if (module == 0 || (a.size() > 6 && channel == 0)) return fail(usage, 2);
        r = a.size() > 6 ? doc.setElement(element, a[4], module, channel) : doc.setElement(element, a[4], module);
        if (r == ZEL_XML_SAME_DATA) {
            std::printf("%s: %s already holds that value\n", file.c_str(), a[3].c_str());
            return 0;
        }
        if (r != ZEL_XML_OK) return xmlFail(file, r);
        r = doc.writeFile();
        if (r != ZEL_XML_OK) return xmlFail(file, r);
        std::printf("%s: %s set; the earlier file is kept as %s~\n", file.c_str(), a[3].c_str(), file.c_str());
        return 0;
    }
    return fail(usage, 2);
}

}  // namespace zeltool
